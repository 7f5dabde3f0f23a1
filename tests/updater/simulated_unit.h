#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tool_runner.h"
#include "version_documents.h"

// A fresh simulated unit for each test, its file system at the test unit root, holding the valid document; the
// version files of a test go to `flash`.
class SimulatedUnitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TempDir::removeTree(root);
        for (const char* dir :
             {"", "/data", "/data/tiv", "/data/tiv/swdl", "/var", "/var/volatile", "/var/volatile/tmp"}) {
            mkdir((root + dir).c_str(), 0755);
        }
        writeFile(documentPath, docs::kValid);
        writeFile(flash / "block.json", R"({"Version": "0202"})");
    }
    void TearDown() override { TempDir::removeTree(root); }

    // A run of the real tool, which must end normally and never leave a temporary file beside the document.
    ToolRun run(const std::vector<std::string>& args) {
        const ToolRun result = runTool(MORVANE_TEST_TOOL, args);
        EXPECT_EQ(result.signal, 0) << "the tool was ended by a signal";
        const auto names = TempDir::entries(root + "/data/tiv/swdl");
        EXPECT_TRUE(names.empty() || names == std::vector<std::string>{"VersionInfo.json"})
            << "a temporary file is left";
        return result;
    }

    // The error messages of a run, in order.
    static std::vector<std::string> errors(const ToolRun& run) {
        std::vector<std::string> texts;
        for (const auto& line : logMessages(run.log)) {
            if (line.priority == 'E') {
                texts.push_back(line.text);
            }
        }
        return texts;
    }

    const std::string root = MORVANE_TEST_UNIT_ROOT;
    const std::string documentPath = root + "/data/tiv/swdl/VersionInfo.json";
    TempDir flash;
    const std::string block = flash / "block.json";  // version "0202"
};
