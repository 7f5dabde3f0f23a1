#include <string>
#include <vector>

#include "updater_fixture.h"

namespace {

std::string nadWithBlock4(const std::string& system0, const std::string& system1) {
    return docs::replaced(
        docs::kNADSeven, R"({"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"})",
        R"({"BlockID": 4, "System0_Version": ")" + system0 + R"(", "System1_Version": ")" + system1 + "\"}");
}

TEST_F(UpdaterTest, BlockUpdateStoresTheVersionInTheSelectedSlot) {
    const struct {
        std::uint8_t systemID;
        std::string nad;
    } cases[] = {{0, nadWithBlock4("1.2.3", "0201")}, {1, nadWithBlock4("0201", "1.2.3")}};
    for (const auto& c : cases) {
        load(docs::kValid);
        EXPECT_TRUE(updater->updateVersionforBlock(4, c.systemID, versionFile(R"({"Version": "1.2.3", "x": 1})")));
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ(logger.entries().front().text, "updateVersionforBlock(245): Called for blockID = 0x4");
        EXPECT_EQ(logger.entries().front().level, RecordingLogger::VERBOSE);
        EXPECT_EQ(model(), docs::saved(c.nad, docs::kGTO, docs::kAudio, docs::kDefaultCMP));
    }
}

struct RejectedUpdate {
    const char* name;
    int blockID;
    std::uint8_t systemID;
    std::string versionFileContent;   // empty: no version file at all
    std::vector<std::string> errors;  // "%P" stands for the version file's path
};

void PrintTo(const RejectedUpdate& c, std::ostream* out) {
    *out << c.name;
}

class RejectedUpdateTest : public UpdaterTest, public ::testing::WithParamInterface<RejectedUpdate> {};

TEST_P(RejectedUpdateTest, LogsInOrderAndLeavesTheModelAlone) {
    const RejectedUpdate& c = GetParam();
    load(docs::kValid);
    const std::string before = model();
    logger.clear();
    const std::string path = c.versionFileContent.empty() ? dir / "missing.json" : versionFile(c.versionFileContent);

    EXPECT_FALSE(updater->updateVersionforBlock(c.blockID, c.systemID, path));

    std::vector<std::string> expected;
    for (std::string text : c.errors) {
        const auto at = text.find("%P");
        if (at != std::string::npos) {
            text.replace(at, 2, path);
        }
        expected.push_back(text);
    }
    EXPECT_EQ(errors(), expected);
    EXPECT_EQ(model(), before);
}

const std::string kEmpty = "updateVersionforBlock(265): The Version Information file %P contains an empty version";

INSTANTIATE_TEST_SUITE_P(
    Cases, RejectedUpdateTest,
    ::testing::Values(
        RejectedUpdate{
            "UnknownBlock",
            2,
            0,
            "",
            {"updateVersionforBlock(272): The received blockID: 2 is not present in the set of expected blockID's"}},
        RejectedUpdate{
            "BlockBeyondEightBits",
            259,
            0,
            R"({"Version": "1"})",
            {"updateVersionforBlock(272): The received blockID: 259 is not present in the set of expected blockID's"}},
        RejectedUpdate{
            "NegativeBlock",
            -1,
            0,
            R"({"Version": "1"})",
            {"updateVersionforBlock(272): The received blockID: -1 is not present in the set of expected blockID's"}},
        RejectedUpdate{"MissingVersionFile",
                       4,
                       0,
                       "",
                       {"getLatestVersionString(352): Invalid Config file and completeVersionFilePath = %P", kEmpty}},
        RejectedUpdate{"VersionFileNotJson",
                       4,
                       0,
                       "Version=1",
                       {"getLatestVersionString(352): Invalid Config file and completeVersionFilePath = %P", kEmpty}},
        RejectedUpdate{"VersionIsANumber",
                       4,
                       0,
                       R"({"Version": 12})",
                       {"getLatestVersionString(345): There is no valid version string", kEmpty}},
        RejectedUpdate{"VersionIsEmpty", 4, 0, R"({"Version": ""})", {kEmpty}},
        RejectedUpdate{"SystemTwo", 4, 2, R"({"Version": "1"})", {"assignVersionInfo(230): Invalid SystemID = 2"}},
        RejectedUpdate{
            "SystemFromMinusOne", 4, 255, R"({"Version": "1"})", {"assignVersionInfo(230): Invalid SystemID = 255"}}),
    [](const ::testing::TestParamInfo<RejectedUpdate>& info) { return std::string(info.param.name); });

TEST_F(UpdaterTest, OnlyTheFirstRecordOfARepeatedBlockIsUpdated) {
    std::string nad = docs::kNADSeven;
    nad.replace(nad.find(R"("BlockID": 5)"), 12, R"("BlockID": 4)");
    load(docs::document(nad, docs::kGTO, docs::kAudio));
    ASSERT_TRUE(updater->updateVersionforBlock(4, 0, versionFile(R"({"Version": "new"})")));
    const std::string saved = model();
    EXPECT_NE(saved.find(R"({"BlockID": 4, "System0_Version": "new", "System1_Version": "0201"})"), std::string::npos);
    EXPECT_NE(saved.find(R"({"BlockID": 4, "System0_Version": "0300", "System1_Version": ""})"), std::string::npos);
}

TEST_F(UpdaterTest, SystemOneOfASingleCopyBlockSucceedsButIsNotWritten) {
    load(docs::kValid);
    const std::string before = model();
    EXPECT_TRUE(updater->updateVersionforBlock(3, 1, versionFile(R"({"Version": "9"})")));
    EXPECT_EQ(model(), before);
}

TEST_F(UpdaterTest, AudioUpdateStoresVersionAndNameUnchanged) {
    const struct {
        std::string name;
        std::string audio;
    } cases[] = {{"SET_B", R"({"BlockID": 28928, "DataSetName": "SET_B", "Version": "A\/1"})"},
                 {"", R"({"BlockID": 28928, "DataSetName": "", "Version": "A\/1"})"}};
    for (const auto& c : cases) {
        load(docs::kValid);
        EXPECT_TRUE(updater->updateAudioDatasetVersionInfo(versionFile(R"({"Version": "A/1"})"), c.name));
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ(model(), docs::saved(docs::kNADSeven, docs::kGTO, c.audio, docs::kDefaultCMP));
    }
}

TEST_F(UpdaterTest, FailedAudioUpdateKeepsTheRecord) {
    load(docs::kValid);
    const std::string before = model();
    logger.clear();
    const std::string path = dir / "missing.json";
    EXPECT_FALSE(updater->updateAudioDatasetVersionInfo(path, "SET_B"));
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "getLatestVersionString(352): Invalid Config file and completeVersionFilePath = " + path,
                            "updateAudioDatasetVersionInfo(319): The Version Information file " + path +
                                " contains an empty version"}));
    EXPECT_EQ(model(), before);
}

TEST_F(UpdaterTest, ReturnVersionInfoReportsOneVersionPerBlock) {
    std::string nad = nadWithBlock4("A", "B");
    nad.replace(nad.find(R"("BlockID": 5)"), 12, R"("BlockID": 12)");
    load(docs::document(nad, docs::kGTO, docs::kAudio));
    logger.clear();
    EXPECT_EQ(updater->returnVersionInfo(3), "0200");
    EXPECT_EQ(updater->returnVersionInfo(8), "0410");   // both copies agree
    EXPECT_EQ(updater->returnVersionInfo(4), "0000");   // copies differ
    EXPECT_EQ(updater->returnVersionInfo(12), "0000");  // held, but not a known block: no message
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(updater->returnVersionInfo(5), "0000");
    EXPECT_EQ(errors(),
              std::vector<std::string>{
                  "returnVersionInfo(503): The received blockID: 5 is not present in the set of expected blockID's"});
}

TEST_F(UpdaterTest, AudioRecordIsReturnedAsACopy) {
    loadExisting();
    AudioDataSetVersionInfo info = updater->returnAudioDataSetVersionInfo();
    EXPECT_EQ(info.BlockID, 0x7100);
    EXPECT_EQ(info.Version, "----");
    EXPECT_EQ(info.DataSetName, "------------");
    info.Version = "changed";
    EXPECT_EQ(updater->returnAudioDataSetVersionInfo().Version, "----");
}

}  // namespace
