#include <string>
#include <vector>

#include "simulated_unit.h"

namespace {

// Runs the built tool on a simulated unit whose file system starts at the test unit root.
class ToolRunTest : public SimulatedUnitTest {
  protected:
    void SetUp() override {
        SimulatedUnitTest::SetUp();
        writeFile(flash / "block.json", R"({"Version": "0202"})");
        writeFile(flash / "empty.json", R"({"Version": ""})");
    }

    ToolRun run(const std::vector<std::string>& args) { return runTool(MORVANE_TEST_TOOL, args); }

    static std::string nadWithBlock4(const std::string& system0, const std::string& system1) {
        return docs::replaced(
            docs::kNADSeven, R"({"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"})",
            R"({"BlockID": 4, "System0_Version": ")" + system0 + R"(", "System1_Version": ")" + system1 + "\"}");
    }
};

const std::string kFailed = "main(69): Updating Version Information failed";

TEST_F(ToolRunTest, BlockUpdateIsStoredAndTheRunSucceeds) {
    // SystemID 257 is slot 1; blanks before and text after the BlockID are ignored.
    const std::vector<std::vector<std::string>> forms = {
        {"4", "1", flash / "block.json"}, {" 4", "257", flash / "block.json"}, {"4abc", "+1", flash / "block.json"}};
    for (const auto& args : forms) {
        SetUp();
        const ToolRun result = run(args);
        EXPECT_EQ(result.exitStatus, 0) << result.log;
        EXPECT_TRUE(errors(result).empty()) << result.log;
        EXPECT_EQ(readFile(document), docs::saved(nadWithBlock4("0201", "0202"), docs::kGTO, docs::kAudio));
    }
}

TEST_F(ToolRunTest, AudioUpdateIgnoresBlockAndSystem) {
    const ToolRun result = run({"abc", "xyz", flash / "block.json", "SET_B"});
    EXPECT_EQ(result.exitStatus, 0) << result.log;
    EXPECT_EQ(readFile(document), docs::saved(docs::kNADSeven, docs::kGTO,
                                              R"({"BlockID": 28928, "DataSetName": "SET_B", "Version": "0202"})"));
}

// Every refused run logs why, ends with 1 and leaves the document as it was. An expected message ending in "*" is
// matched by its start (the line tag of the argument check is the source's own).
TEST_F(ToolRunTest, RefusedRunsLogWhyAndLeaveTheDocumentUntouched) {
    const std::string usage =
        "main(58): Usage: morvane BlockID SystemID Path_to_VersionFile DataSetName[Optional] \nExiting";
    const std::string empty = flash / "empty.json";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> errors;
    } cases[] = {
        {{}, {usage, kFailed}},
        {{"4", "1", flash / "block.json", "SET", "extra"}, {usage, kFailed}},
        {{"4", "-1", flash / "block.json"}, {"assignVersionInfo(230): Invalid SystemID = 255", kFailed}},
        {{"2", "0", flash / "block.json"},
         {"updateVersionforBlock(272): The received blockID: 2 is not present in the set of expected blockID's",
          kFailed}},
        {{"4", "0", empty},
         {"updateVersionforBlock(265): The Version Information file " + empty + " contains an empty version", kFailed}},
        {{"abc", "0", flash / "block.json"}, {"main(*"}},
        {{"", "0", flash / "block.json"}, {"main(*"}},
        {{"99999999999", "0", flash / "block.json"}, {"main(*"}},
        {{"4", "x", flash / "block.json"}, {"main(*"}},
    };
    for (const auto& c : cases) {
        const ToolRun result = run(c.args);
        EXPECT_EQ(result.exitStatus, 1) << result.log;
        const auto texts = errors(result);
        ASSERT_EQ(texts.size(), c.errors.size()) << result.log;
        for (size_t i = 0; i < texts.size(); ++i) {
            const std::string& expected = c.errors[i];
            if (expected.back() == '*') {
                EXPECT_EQ(texts[i].substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1));
            } else {
                EXPECT_EQ(texts[i], expected);
            }
        }
        EXPECT_EQ(readFile(document), docs::kValid);
    }
}

TEST_F(ToolRunTest, MissingDocumentIsCreatedFromDefaults) {
    unlink(document.c_str());
    const ToolRun result = run({"8", "0", flash / "block.json"});
    EXPECT_EQ(result.exitStatus, 0) << result.log;
    EXPECT_EQ(errors(result),
              std::vector<std::string>{"RAROV_UpdateVersionInfo(75): Error in reading the Version file"});
    EXPECT_NE(readFile(document).find(R"({"BlockID": 8, "System0_Version": "0202", "System1_Version": "----"})"),
              std::string::npos);
}

TEST_F(ToolRunTest, FailedSaveEndsWithOneWithoutTheUpdateFailedLine) {
    // A directory where the document should be: loading fails, and so does replacing it.
    unlink(document.c_str());
    mkdir(document.c_str(), 0755);
    const ToolRun result = run({"4", "1", flash / "block.json"});
    EXPECT_EQ(result.exitStatus, 1) << result.log;
    const auto texts = errors(result);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(),
              "writeToFile(473): Dumping JSON Content to '" + root + "/data/tiv//swdl//VersionInfo.json' file failed");
    EXPECT_EQ(TempDir::entries(root + "/data/tiv/swdl"), std::vector<std::string>{"VersionInfo.json"});
}

}  // namespace
