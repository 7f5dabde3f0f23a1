#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/recording_logger.h"
#include "support/temp_dir.h"
#include "updater/update_version_info.h"
#include "version_documents.h"

struct ToolRun {
    int exitStatus = -1;  // -1 when the tool did not exit normally
    int signal = 0;
    std::string log;  // what the log library wrote to standard error
};

// A fresh simulated unit for each test, its file system at the test unit root, holding the valid document; version
// files and other scratch files go to `dir`. The updater under test and the built tool both work on that unit.
class UpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TempDir::removeTree(root);
        for (const char* dir :
             {"", "/data", "/data/tiv", "/data/tiv/swdl", "/var", "/var/volatile", "/var/volatile/tmp"}) {
            mkdir((root + dir).c_str(), 0755);
        }
        writeFile(documentPath, docs::kValid);
        writeFile(block, R"({"Version": "0202"})");
    }
    void TearDown() override { TempDir::removeTree(root); }

    void load(const std::string& content) {
        writeFile(documentPath, content);
        loadExisting();
    }
    void loadExisting() {
        logger.clear();
        updater = std::make_unique<RAROV_UpdateVersionInfo>(&logger, documentPath);
    }

    // The whole model, CMP section included, saved beside the document.
    std::string model() {
        EXPECT_TRUE(updater->dumpJSONContent(dir / "model.json", true));
        return readFile(dir / "model.json");
    }

    std::string versionFile(const std::string& content) {
        writeFile(dir / "version.json", content);
        return dir / "version.json";
    }

    // Error messages in order, without the dumps of the document.
    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const auto& entry : logger.entries()) {
            if (entry.level == 'E' && entry.format != kDumpFormat) {
                texts.push_back(entry.text);
            }
        }
        return texts;
    }

    // A run of the real tool as its callers start it (through the cross build's emulator where there is one), which
    // must end normally and never leave a temporary file beside the document.
    ToolRun run(const std::vector<std::string>& args) {
        std::string command = "exec " MORVANE_TEST_EMULATOR " " MORVANE_TEST_TOOL;
        for (const auto& arg : args) {
            command += " '" + arg + "'";
        }
        const int status = std::system((command + " </dev/null >/dev/null 2>" + dir / "log").c_str());
        const ToolRun result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
                             readFile(dir / "log")};
        EXPECT_EQ(result.signal, 0) << "the tool was ended by a signal";
        const auto names = TempDir::entries(root + "/data/tiv/swdl");
        EXPECT_TRUE(names.empty() || names == std::vector<std::string>{"VersionInfo.json"})
            << "a temporary file is left";
        return result;
    }

    // The error messages of a run, in order, without the library's tag, time and process columns. A line that does
    // not start a message continues the previous one (a message with line breaks inside).
    static std::vector<std::string> errors(const ToolRun& run) {
        static const std::regex start(
            R"(^VERSION_UPDATER ([VDIWEF]) \d\d-\d\d \d\d:\d\d:\d\d(?:\.\d+)? +\d+ +\d+ (.*)$)");
        std::vector<std::string> texts;
        bool inError = false;
        std::istringstream lines(run.log);
        for (std::string line; std::getline(lines, line);) {
            std::smatch match;
            if (std::regex_match(line, match, start)) {
                inError = match[1] == "E";
                if (inError) {
                    texts.push_back(match[2]);
                }
            } else if (inError) {
                texts.back() += "\n" + line;
            }
        }
        return texts;
    }

    static constexpr const char* kDumpFormat = "%s(%s): File Content:\n %s";

    const std::string root = MORVANE_TEST_UNIT_ROOT;
    std::string documentPath = root + "/data/tiv/swdl/VersionInfo.json";
    TempDir dir;
    const std::string block = dir / "block.json";  // version "0202"
    RecordingLogger logger;
    std::unique_ptr<RAROV_UpdateVersionInfo> updater;
};
