#pragma once

#include <string>

// Pieces of version documents and the text the updater writes back, for the updater's tests.
namespace docs {

// The text with the first occurrence of `from` replaced by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

inline const std::string kNADSeven =
    R"([{"BlockID": 3, "System0_Version": "0200"}, {"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"}, )"
    R"({"BlockID": 5, "System0_Version": "0300"}, {"BlockID": 6, "System0_Version": "0300"}, )"
    R"({"BlockID": 7, "System0_Version": "0300"}, {"BlockID": 8, "System0_Version": "0410", "System1_Version": "0410"}, )"
    R"({"BlockID": 9, "System0_Version": "0300"}])";
inline const std::string kGTO = R"({"Active_System": 1, "System0_Version": "0100", "System1_Version": "0101"})";
inline const std::string kAudio = R"({"BlockID": 28928, "DataSetName": "SET_A", "Version": "0102"})";

inline std::string document(const std::string& nad, const std::string& gto, const std::string& audio) {
    std::string text = "{";
    const char* separator = "";
    if (!audio.empty()) {
        text += std::string(separator) + R"("Audio_DataSet_Version_Info": )" + audio;
        separator = ", ";
    }
    if (!gto.empty()) {
        text += std::string(separator) + R"("GTO_Version_Info": )" + gto;
        separator = ", ";
    }
    if (!nad.empty()) {
        text += std::string(separator) + R"("NAD_Version_Info": )" + nad;
    }
    return text + "}";
}

inline const std::string kValid = document(kNADSeven, kGTO, kAudio);

// What a model with defaults everywhere writes, NAD records first.
inline const std::string kDefaultNAD =
    R"([{"BlockID": 3, "System0_Version": "----"}, {"BlockID": 4, "System0_Version": "----", "System1_Version": "----"}, )"
    R"({"BlockID": 5, "System0_Version": "----"}, {"BlockID": 6, "System0_Version": "----"}, )"
    R"({"BlockID": 7, "System0_Version": "----"}, {"BlockID": 8, "System0_Version": "----", "System1_Version": "----"}, )"
    R"({"BlockID": 9, "System0_Version": "----"}])";
inline const std::string kDefaultGTO = R"({"Active_System": 0, "System0_Version": "----", "System1_Version": "----"})";
inline const std::string kDefaultAudio = R"({"BlockID": 28928, "DataSetName": "------------", "Version": "----"})";
inline const std::string kDefaultCMP = R"({"HWVersion": "----", "IOC": "----", "WUC": "----"})";

// The saved text of a model, CMP section included when given.
inline std::string saved(const std::string& nad, const std::string& gto, const std::string& audio,
                         const std::string& cmp = "") {
    std::string text = R"({"Audio_DataSet_Version_Info": )" + audio;
    if (!cmp.empty()) {
        text += R"(, "CMP_Version_Info": )" + cmp;
    }
    return text + R"(, "GTO_Version_Info": )" + gto + R"(, "NAD_Version_Info": )" + nad + "}";
}

}  // namespace docs
