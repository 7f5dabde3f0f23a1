#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/recording_logger.h"
#include "support/temp_dir.h"
#include "updater/update_version_info.h"
#include "version_documents.h"

// A version document in a scratch directory and an updater loaded from it.
class UpdaterTest : public ::testing::Test {
  protected:
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
            if (entry.level == RecordingLogger::ERROR && entry.format != kDumpFormat) {
                texts.push_back(entry.text);
            }
        }
        return texts;
    }

    static constexpr const char* kDumpFormat = "%s(%s): File Content:\n %s";

    TempDir dir;
    std::string documentPath = dir / "VersionInfo.json";
    RecordingLogger logger;
    std::unique_ptr<RAROV_UpdateVersionInfo> updater;
};
