#include <string>
#include <vector>

#include "updater_fixture.h"

namespace {

using docs::document;

const std::string kReadError = "RAROV_UpdateVersionInfo(75): Error in reading the Version file";
const std::string kConfigError =
    "RAROV_UpdateVersionInfo(88): Invalid Configuration file found. Dumping the contents...";
const std::string kNADError = "readVersionInfo_NAD(135): Invalid NAD Information. Dumping the contents...";
const std::string kGTOError = "readVersionInfo_GTO(162): Invalid GTO Information. Dumping the contents...";
const std::string kAudioError =
    "readVersionInfo_AudioDataset(201): Invalid Audio DataSet Information. Dumping the contents...";

struct LoadCase {
    const char* name;
    std::string content;
    std::vector<std::string> errors;  // in order, without the dumps
    size_t dumps;
    std::string model;  // the saved model, CMP included
};

void PrintTo(const LoadCase& c, std::ostream* out) {
    *out << c.name;
}

class LoadingTest : public UpdaterTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadingTest, LogsAndFallsBackAsTheDocumentDeserves) {
    const LoadCase& c = GetParam();
    load(c.content);
    EXPECT_EQ(errors(), c.errors);
    EXPECT_EQ(dumps(), c.dumps);
    EXPECT_EQ(model(), c.model);
}

std::string nadWith(const std::string& firstElement) {
    // The valid NAD array with its first element replaced.
    const std::string rest = docs::kNADSeven.substr(docs::kNADSeven.find("}, ") + 3);
    return "[" + firstElement + ", " + rest;
}

const std::string kNADAsLoaded = docs::kNADSeven;
const std::string kCMP = docs::kDefaultCMP;

INSTANTIATE_TEST_SUITE_P(
    Documents, LoadingTest,
    ::testing::Values(
        LoadCase{"Valid", docs::kValid, {}, 0, docs::saved(kNADAsLoaded, docs::kGTO, docs::kAudio, kCMP)},
        LoadCase{
            "Empty", "", {kReadError}, 0, docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"TopLevelArray",
                 "[" + docs::kValid + "]",
                 {kReadError},
                 0,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"NotJson",
                 "version 1.2",
                 {kReadError},
                 0,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"SixNADRecords",
                 document(docs::kNADSeven.substr(0, docs::kNADSeven.rfind(", {")) + "]", docs::kGTO, docs::kAudio),
                 {kConfigError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"EightNADRecords",
                 document(docs::kNADSeven.substr(0, docs::kNADSeven.size() - 1) +
                              R"(, {"BlockID": 10, "System0_Version": "1"}])",
                          docs::kGTO, docs::kAudio),
                 {kConfigError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"NoGTO",
                 document(docs::kNADSeven, "", docs::kAudio),
                 {kConfigError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"GTOIsAnArray",
                 document(docs::kNADSeven, "[" + docs::kGTO + "]", docs::kAudio),
                 {kConfigError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"NoAudio",
                 document(docs::kNADSeven, docs::kGTO, ""),
                 {kAudioError},
                 1,
                 docs::saved(kNADAsLoaded, docs::kGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"AudioIsAString",
                 document(docs::kNADSeven, docs::kGTO, "\"x\""),
                 {kAudioError},
                 1,
                 docs::saved(kNADAsLoaded, docs::kGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"AudioWithoutName",
                 document(docs::kNADSeven, docs::kGTO, R"({"BlockID": 28928, "Version": "1"})"),
                 {kAudioError},
                 1,
                 docs::saved(kNADAsLoaded, docs::kGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"AudioOtherBlock",
                 document(docs::kNADSeven, docs::kGTO, R"({"BlockID": 28929, "DataSetName": "X", "Version": "1"})"),
                 {"readVersionInfo_AudioDataset(194): Expected BlockID(7100) but got BlockID(7101)", kAudioError},
                 1,
                 docs::saved(kNADAsLoaded, docs::kGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"AudioBlockWithFraction",
                 document(docs::kNADSeven, docs::kGTO, R"({"BlockID": 28928.5, "DataSetName": "X", "Version": "1"})"),
                 {"readVersionInfo_AudioDataset(194): Expected BlockID(7100) but got BlockID(7100)", kAudioError},
                 1,
                 docs::saved(kNADAsLoaded, docs::kGTO, docs::kDefaultAudio, kCMP)},
        LoadCase{"GTOWithoutActiveSystem",
                 document(docs::kNADSeven, R"({"System0_Version": "7", "System1_Version": "8"})", docs::kAudio),
                 {kGTOError},
                 1,
                 docs::saved(kNADAsLoaded, docs::kDefaultGTO, docs::kAudio, kCMP)},
        LoadCase{"NADBlockIDIsAString",
                 document(nadWith(R"({"BlockID": "3", "System0_Version": "1"})"), docs::kGTO, docs::kAudio),
                 {kNADError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kGTO, docs::kAudio, kCMP)},
        LoadCase{"NADElementNotAnObject",
                 document(nadWith("3"), docs::kGTO, docs::kAudio),
                 {kNADError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kGTO, docs::kAudio, kCMP)},
        LoadCase{"LastNADElementWithoutSystem0",
                 document(docs::kNADSeven.substr(0, docs::kNADSeven.rfind(", {")) + R"(, {"BlockID": 9}])", docs::kGTO,
                          docs::kAudio),
                 {kNADError},
                 1,
                 docs::saved(docs::kDefaultNAD, docs::kGTO, docs::kAudio, kCMP)},
        LoadCase{"EverySectionBad",
                 document(nadWith("{}"), R"({"Active_System": 1})", R"({"BlockID": 1})"),
                 {kNADError, kGTOError, kAudioError},
                 3,
                 docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP)}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST_F(UpdaterTest, MissingDocumentGivesDefaultsWithoutDump) {
    loadExisting();
    EXPECT_EQ(errors(), std::vector<std::string>{kReadError});
    EXPECT_EQ(dumps(), 0u);
    EXPECT_EQ(model(), docs::saved(docs::kDefaultNAD, docs::kDefaultGTO, docs::kDefaultAudio, kCMP));
}

TEST_F(UpdaterTest, NADRecordsAreTakenAsTheyStand) {
    // Missing or mistyped System1_Version is accepted as empty; ids are narrowed, not checked against the table.
    const std::string nad =
        R"([{"BlockID": 259, "System0_Version": "a"}, {"BlockID": 4.9, "System0_Version": "b", "System1_Version": 5}, )"
        R"({"BlockID": -2, "System0_Version": "c", "System1_Version": "c1"}, {"BlockID": 4, "System0_Version": "d", "System1_Version": "d1"}, )"
        R"({"BlockID": 1e12, "System0_Version": "e"}, {"BlockID": 8, "System0_Version": "f"}, {"BlockID": 200, "System0_Version": "g", "Extra": 1}])";
    load(document(nad, docs::kGTO, docs::kAudio));
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(
        model(),
        docs::saved(
            R"([{"BlockID": 3, "System0_Version": "a"}, {"BlockID": 4, "System0_Version": "b", "System1_Version": ""}, )"
            R"({"BlockID": 0, "System0_Version": "c"}, {"BlockID": 4, "System0_Version": "d", "System1_Version": "d1"}, )"
            R"({"BlockID": 255, "System0_Version": "e"}, {"BlockID": 8, "System0_Version": "f", "System1_Version": ""}, )"
            R"({"BlockID": 200, "System0_Version": "g"}])",
            docs::kGTO, docs::kAudio, kCMP));
}

TEST_F(UpdaterTest, ActiveSystemKeepsTheLowEightBits) {
    load(document(docs::kNADSeven, R"({"Active_System": 258.7, "System0_Version": "x", "System1_Version": "y"})",
                  docs::kAudio));
    EXPECT_EQ(model(),
              docs::saved(docs::kNADSeven, R"({"Active_System": 2, "System0_Version": "x", "System1_Version": "y"})",
                          docs::kAudio, kCMP));
}

TEST_F(UpdaterTest, DumpCopiesTheWholeFileIntoTheLog) {
    const std::string content = document(docs::kNADSeven, docs::kGTO, "") + "\n// trailing note\n";
    load(content);
    ASSERT_EQ(dumps(), 1u);
    for (const auto& entry : logger.entries()) {
        if (entry.format == kDumpFormat) {
            EXPECT_NE(entry.text.find(":\n " + content), std::string::npos) << entry.text;
        }
    }
}

}  // namespace
