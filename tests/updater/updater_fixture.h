#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

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

    // The whole model, as the updater writes it with the CMP section, saved beside the document.
    std::string model() {
        const std::string path = dir / "model.json";
        EXPECT_TRUE(updater->dumpJSONContent(path, true));
        return readFile(path);
    }

    std::string versionFile(const std::string& content, const std::string& name = "version.json") {
        writeFile(dir / name, content);
        return dir / name;
    }

    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const auto& entry : logger.entries()) {
            if (entry.level == RecordingLogger::ERROR && entry.format != kDumpFormat) {
                texts.push_back(entry.text);
            }
        }
        return texts;
    }
    size_t dumps() const { return logger.countFormat(kDumpFormat); }

    static constexpr const char* kDumpFormat = "%s(%s): File Content:\n %s";

    TempDir dir;
    std::string documentPath = dir / "VersionInfo.json";
    RecordingLogger logger;
    std::unique_ptr<RAROV_UpdateVersionInfo> updater;
};
