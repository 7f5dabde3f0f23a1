#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tool_runner.h"

namespace {

const std::string kUsage =
    "main(58): Usage: morvane BlockID SystemID Path_to_VersionFile DataSetName[Optional] \nExiting";
const std::string kFailed = "main(69): Updating Version Information failed";

std::vector<std::string> errorTexts(const std::string& log) {
    std::vector<std::string> texts;
    for (const auto& line : logMessages(log)) {
        if (line.priority == 'E') {
            texts.push_back(line.text);
        }
    }
    return texts;
}

TEST(RunFrameTest, WrongArgumentCountLogsUsageThenFailureAndExitsOne) {
    const std::vector<std::vector<std::string>> cases = {{}, {"4"}, {"4", "1"}, {"4", "1", "v.json", "n", "x"}};
    for (const auto& args : cases) {
        const ToolRun run = runTool(MORVANE_TEST_TOOL, args);
        EXPECT_EQ(run.exitStatus, 1) << run.log;
        const auto errors = errorTexts(run.log);
        ASSERT_GE(errors.size(), 2u) << run.log;
        EXPECT_EQ(errors[errors.size() - 2], kUsage);
        EXPECT_EQ(errors.back(), kFailed);
    }
}

TEST(RunFrameTest, UnreadableNumbersEndTheRunWithOneMessage) {
    const std::vector<std::vector<std::string>> cases = {
        {"abc", "1", "v.json"}, {"", "1", "v.json"}, {"99999999999", "1", "v.json"}, {"4", "x", "v.json"}};
    for (const auto& args : cases) {
        const ToolRun run = runTool(MORVANE_TEST_TOOL, args);
        EXPECT_EQ(run.exitStatus, 1) << run.log;
        EXPECT_EQ(run.signal, 0);
        const auto errors = errorTexts(run.log);
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors.back().find(args[0] == "4" ? "Invalid SystemID" : "Invalid BlockID"), std::string::npos)
            << errors.back();
    }
}

}  // namespace
