#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "updater_fixture.h"

namespace {

using namespace docs;

const std::string kRead = "RAROV_UpdateVersionInfo(75): Error in reading the Version file";
const std::string kConfig = "RAROV_UpdateVersionInfo(88): Invalid Configuration file found. Dumping the contents...";
const std::string kNAD = "readVersionInfo_NAD(135): Invalid NAD Information. Dumping the contents...";
const std::string kGTOBad = "readVersionInfo_GTO(162): Invalid GTO Information. Dumping the contents...";
const std::string kAudioBad =
    "readVersionInfo_AudioDataset(201): Invalid Audio DataSet Information. Dumping the contents...";
const std::string kAbsent = "(no document on disk)";

// The valid document with one section replaced; the NAD array with its first element replaced or with elements
// following its first six.
const auto withNAD = [](const std::string& nad) { return document(nad, kGTO, kAudio); };
const auto withGTO = [](const std::string& gto) { return document(kNADSeven, gto, kAudio); };
const auto withAudio = [](const std::string& audio) { return document(kNADSeven, kGTO, audio); };
const auto nadWith = [](const std::string& first) { return "[" + first + kNADSeven.substr(kNADSeven.find("}, ") + 1); };
const auto nadSixAnd = [](const std::string& more) { return kNADSeven.substr(0, kNADSeven.rfind(", {")) + more + "]"; };
const auto audioBlock = [](const std::string& id) {
    return R"({"BlockID": )" + id + R"(, "DataSetName": "X", "Version": "1"})";
};
const std::string kGot = "readVersionInfo_AudioDataset(194): Expected BlockID(7100) but got BlockID(";

// Each row: the errors in order (dumps left out), the number of dumps, and the sections that fall back to defaults:
// N(AD), G(TO), A(udio).
TEST_F(UpdaterTest, LoadingLogsDumpsAndFallsBackAsTheDocumentDeserves) {
    const struct {
        const char* name;
        std::string content;
        std::vector<std::string> errors;
        size_t dumps;
        const char* defaulted;
    } cases[] = {
        {"Valid", kValid, {}, 0, ""},
        {"Missing", kAbsent, {kRead}, 0, "NGA"},
        {"Empty", "", {kRead}, 0, "NGA"},
        {"TopLevelArray", "[" + kValid + "]", {kRead}, 0, "NGA"},
        {"NotJson", "version 1.2", {kRead}, 0, "NGA"},
        {"SixNADRecords", withNAD(nadSixAnd("")), {kConfig}, 1, "NGA"},
        {"EightNADRecords", withNAD(nadSixAnd(R"(, {"BlockID": 9}, {"BlockID": 10})")), {kConfig}, 1, "NGA"},
        {"NoGTO", withGTO(""), {kConfig}, 1, "NGA"},
        {"GTOIsAnArray", withGTO("[" + kGTO + "]"), {kConfig}, 1, "NGA"},
        {"NoAudioTrailingNote", withAudio("") + "\n// note\n", {kAudioBad}, 1, "A"},
        {"AudioIsAString", withAudio("\"x\""), {kAudioBad}, 1, "A"},
        {"AudioWithoutName", withAudio(R"({"BlockID": 28928, "Version": "1"})"), {kAudioBad}, 1, "A"},
        {"AudioOtherBlock", withAudio(audioBlock("28929")), {kGot + "7101)", kAudioBad}, 1, "A"},
        {"AudioBlockWithFraction", withAudio(audioBlock("28928.5")), {kGot + "7100)", kAudioBad}, 1, "A"},
        {"GTOWithoutActiveSystem", withGTO(R"({"System0_Version": "7", "System1_Version": "8"})"), {kGTOBad}, 1, "G"},
        {"NADBlockIDIsAString", withNAD(nadWith(R"({"BlockID": "3", "System0_Version": "1"})")), {kNAD}, 1, "N"},
        {"NADElementNotAnObject", withNAD(nadWith("3")), {kNAD}, 1, "N"},
        {"LastNADElementWithoutSystem0", withNAD(nadSixAnd(R"(, {"BlockID": 9})")), {kNAD}, 1, "N"},
        {"EverySectionBad",
         document(nadWith("{}"), R"({"Active_System": 1})", R"({"BlockID": 1})"),
         {kNAD, kGTOBad, kAudioBad},
         3,
         "NGA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.content == kAbsent ? (void)unlink(documentPath.c_str()) : writeFile(documentPath, c.content);
        loadExisting();
        EXPECT_EQ(errors(), c.errors);
        EXPECT_EQ(logger.countFormat(kDumpFormat), c.dumps);
        for (const auto& entry : logger.entries()) {
            if (entry.format == kDumpFormat) {
                EXPECT_NE(entry.text.find(":\n " + c.content), std::string::npos) << "the dump holds the whole file";
            }
        }
        const auto fallsBack = [&](char section) { return std::strchr(c.defaulted, section) != nullptr; };
        EXPECT_EQ(model(), document(fallsBack('N') ? kDefaultNAD : kNADSeven, fallsBack('G') ? kDefaultGTO : kGTO,
                                    fallsBack('A') ? kDefaultAudio : kAudio, kDefaultCMP));
    }
}

}  // namespace
