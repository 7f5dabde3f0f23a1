#include <string>
#include <vector>

#include "updater_fixture.h"

namespace {

using namespace docs;

struct Update {
    int blockID;
    std::uint8_t systemID;
    const char* dataSet = nullptr;  // set: an audio data set update instead of a block update
};

bool apply(RAROV_UpdateVersionInfo& updater, const Update& u, const std::string& file) {
    return u.dataSet ? updater.updateAudioDatasetVersionInfo(file, u.dataSet)
                     : updater.updateVersionforBlock(u.blockID, u.systemID, file);
}

const std::string kBlock = "updateVersionforBlock(272): The received blockID: ";
const std::string kUnknown = " is not present in the set of expected blockID's";
const std::string kInvalid = "getLatestVersionString(352): Invalid Config file and completeVersionFilePath = %P";
const std::string kEmpty = "updateVersionforBlock(265): The Version Information file %P contains an empty version";

// Each row: the update, its version file (empty: none at all), its errors in order ("%P" standing for the path; none
// for an accepted update) and the change it makes to the model.
TEST_F(UpdaterTest, UpdateLogsInOrderAndChangesOnlyWhatItMay) {
    const std::string one = R"({"Version": "A/1"})", audio = R"(SET_A", "Version": "0102)";
    const struct {
        const char* name;
        Update update;
        std::string versionFile;
        std::vector<std::string> errors;
        std::string from = "", to = "";
    } cases[] = {
        {"Slot0", {4, 0}, R"({"Version": "A/1", "x": 1})", {}, R"("0201", "S)", R"("A\/1", "S)"},
        {"Slot1", {4, 1}, one, {}, R"(1_Version": "0201")", R"(1_Version": "A\/1")"},
        {"Slot1OfASingleCopyBlockSucceedsUnstored", {3, 1}, one, {}},
        {"AudioWithName", {0, 0, "SET_B"}, one, {}, audio, R"(SET_B", "Version": "A\/1)"},
        {"AudioWithEmptyName", {0, 0, ""}, one, {}, audio, R"(", "Version": "A\/1)"},
        {"UnknownBlock", {2, 0}, "", {kBlock + "2" + kUnknown}},
        {"BlockBeyondEightBits", {259, 0}, one, {kBlock + "259" + kUnknown}},
        {"NegativeBlock", {-1, 0}, one, {kBlock + "-1" + kUnknown}},
        {"MissingVersionFile", {4, 0}, "", {kInvalid, kEmpty}},
        {"VersionFileNotJson", {4, 0}, "Version=1", {kInvalid, kEmpty}},
        {"VersionIsANumber",
         {4, 0},
         R"({"Version": 12})",
         {"getLatestVersionString(345): There is no valid version string", kEmpty}},
        {"VersionIsEmpty", {4, 0}, R"({"Version": ""})", {kEmpty}},
        {"SystemTwo", {4, 2}, one, {"assignVersionInfo(230): Invalid SystemID = 2"}},
        {"SystemFromMinusOne", {4, 255}, one, {"assignVersionInfo(230): Invalid SystemID = 255"}},
        {"AudioWithoutVersionFile",
         {0, 0, "SET_B"},
         "",
         {kInvalid, "updateAudioDatasetVersionInfo(319): The Version Information file %P contains an empty version"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        load(kValid);
        const std::string path = c.versionFile.empty() ? dir / "missing.json" : versionFile(c.versionFile);
        EXPECT_EQ(apply(*updater, c.update, path), c.errors.empty());
        std::vector<std::string> expected = c.errors;
        for (std::string& text : expected) {
            text = replaced(text, "%P", path);
        }
        EXPECT_EQ(errors(), expected);
        EXPECT_EQ(model(), replaced(document(kNADSeven, kGTO, kAudio, kDefaultCMP), c.from, c.to));
    }
    load(kValid);
    updater->updateVersionforBlock(4, 0, "");
    EXPECT_EQ(logger.entries().front().text, "updateVersionforBlock(245): Called for blockID = 0x4");
    EXPECT_EQ(logger.entries().front().level, 'V');
}

TEST_F(UpdaterTest, ReturnedVersionsAreThoseLoaded) {
    load(document(replaced(replaced(kNADSeven, R"("System1_Version": "0201")", R"("System1_Version": "B")"),
                           R"("BlockID": 5)", R"("BlockID": 12)"),
                  kGTO, kAudio));
    EXPECT_EQ(updater->returnVersionInfo(3), "0200");
    EXPECT_EQ(updater->returnVersionInfo(8), "0410");   // both copies agree
    EXPECT_EQ(updater->returnVersionInfo(4), "0000");   // copies differ
    EXPECT_EQ(updater->returnVersionInfo(12), "0000");  // held, but not a known block: no message
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(updater->returnVersionInfo(5), "0000");
    EXPECT_EQ(errors(), std::vector<std::string>{"returnVersionInfo(503): The received blockID: 5" + kUnknown});
    const AudioDataSetVersionInfo audio = updater->returnAudioDataSetVersionInfo();
    EXPECT_EQ(audio.BlockID, 0x7100);
    EXPECT_EQ(audio.DataSetName + " " + audio.Version, "SET_A 0102");
}

}  // namespace
