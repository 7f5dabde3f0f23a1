#pragma once

#include <regex>
#include <string>
#include <utility>

// Pieces of version documents and the text the updater writes back, for the updater's tests.
namespace docs {

// The text with the first occurrence of `from` replaced by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// A document with the given sections, empty ones left out. The updater saves its sections in this order, in this
// spacing, so the same text is what a save must produce.
inline std::string document(const std::string& nad, const std::string& gto, const std::string& audio,
                            const std::string& cmp = "") {
    std::string text;
    for (const auto& [key, value] : {std::pair{"Audio_DataSet_Version_Info", audio}, std::pair{"CMP_Version_Info", cmp},
                                     std::pair{"GTO_Version_Info", gto}, std::pair{"NAD_Version_Info", nad}}) {
        if (!value.empty()) {
            text += (text.empty() ? "{\"" : ", \"") + std::string(key) + "\": " + value;
        }
    }
    return text + "}";
}

inline const std::string kNADSeven =
    R"([{"BlockID": 3, "System0_Version": "0200"}, {"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"}, )"
    R"({"BlockID": 5, "System0_Version": "0300"}, {"BlockID": 6, "System0_Version": "0300"}, )"
    R"({"BlockID": 7, "System0_Version": "0300"}, {"BlockID": 8, "System0_Version": "0410", "System1_Version": "0410"}, )"
    R"({"BlockID": 9, "System0_Version": "0300"}])";
inline const std::string kGTO = R"({"Active_System": 1, "System0_Version": "0100", "System1_Version": "0101"})";
inline const std::string kAudio = R"({"BlockID": 28928, "DataSetName": "SET_A", "Version": "0102"})";
inline const std::string kValid = document(kNADSeven, kGTO, kAudio);

// What a model with defaults everywhere holds.
inline const std::string kDefaultNAD = std::regex_replace(kNADSeven, std::regex(R"("\d{4}")"), R"("----")");
inline const std::string kDefaultGTO = R"({"Active_System": 0, "System0_Version": "----", "System1_Version": "----"})";
inline const std::string kDefaultAudio = R"({"BlockID": 28928, "DataSetName": "------------", "Version": "----"})";
inline const std::string kDefaultCMP = R"({"HWVersion": "----", "IOC": "----", "WUC": "----"})";
// The defaults once block 4, slot 1 holds "0202": what a unit's first update saves.
inline const std::string kDefaultsAndBlock4 = document(
    replaced(kDefaultNAD, R"("System1_Version": "----")", R"("System1_Version": "0202")"), kDefaultGTO, kDefaultAudio);

}  // namespace docs
