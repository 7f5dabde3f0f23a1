#include "utils/file_utils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "log_checks.h"
#include "scratch.h"
#include "support/recording_logger.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using namespace log_levels;

class FileUtilsTest : public ::testing::Test {
  protected:
    // A sparse file, so that sizes of gibibytes cost no space.
    std::string fileOfSize(const std::string& name, long long size) {
        const std::string path = dir / name;
        scratch::writeFile(path, "");
        EXPECT_EQ(truncate(path.c_str(), size), 0);
        return path;
    }

    scratch::Dir dir;
    RecordingLogger logger;
};

TEST_F(FileUtilsTest, FileExistsFollowsLinks) {
    scratch::writeFile(dir / "file", "x");
    fs::create_symlink(dir / "file", dir / "link");
    fs::create_symlink(dir / "missing", dir / "dangling");
    const struct {
        std::string path;
        bool expected;
    } cases[] = {{dir / "file", true},
                 {dir.path(), true},
                 {dir / "link", true},
                 {dir / "dangling", false},
                 {dir / "missing", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(fileExists(c.path), c.expected) << c.path;
    }
}

TEST_F(FileUtilsTest, PrintFileContentLogsTheRestOfTheStreamInOneMessage) {
    scratch::writeFile(dir / "empty", "");
    scratch::writeFile(dir / "doc", "{\n  \"a\": 1\n}\n");
    printFileContentByPath(&logger, dir / "doc");
    printFileContentByPath(&logger, dir / "empty");
    std::istringstream partlyRead("skipped|kept");
    partlyRead.seekg(8);
    printFileContent(&logger, partlyRead);
    EXPECT_THAT(logger.entries(), ElementsAre(Logged(ERROR, "printFileContent", "File Content:\n {\n  \"a\": 1\n}\n"),
                                              Logged(ERROR, "printFileContent", "File Content:\n "),
                                              Logged(ERROR, "printFileContent", "File Content:\n kept")));
}

TEST_F(FileUtilsTest, PrintFileContentReportsABadStreamOnly) {
    printFileContentByPath(&logger, dir / "missing");
    std::istringstream failed("text");
    failed.setstate(std::ios::failbit);
    printFileContent(&logger, failed);
    EXPECT_THAT(logger.entries(), ElementsAre(Logged(ERROR, "printFileContent", "Received a Bad Stream"),
                                              Logged(ERROR, "printFileContent", "Received a Bad Stream")));
}

TEST_F(FileUtilsTest, GetFileSizeGivesTheSizeOfFilesBelowTwoGibibytes) {
    const struct {
        const char* name;
        long long size;
    } cases[] = {{"empty", 0}, {"small", 5}, {"largest", INT_MAX}};
    for (const auto& c : cases) {
        EXPECT_EQ(getFileSize(fileOfSize(c.name, c.size), &logger), c.size) << c.name;
    }
    EXPECT_THAT(logger.entries(), IsEmpty());
}

TEST_F(FileUtilsTest, GetFileSizeRefusesSizesThatDoNotFitAndMissingFiles) {
    // Sizes that a 32-bit result would wrap, one of them to a plausible 5.
    for (const long long size : {2147483648LL, 4294967301LL}) {
        EXPECT_EQ(getFileSize(fileOfSize(std::to_string(size), size), &logger), -1) << size;
    }
    EXPECT_EQ(getFileSize(dir / "missing", &logger), -1);
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(ERROR, "getFileSize",
                                   "'" + dir / "2147483648" +
                                       "' file size(2147483648) does not fit the result. Returning invalid file "
                                       "size(-1)"),
                            Logged(ERROR, "getFileSize",
                                   "'" + dir / "4294967301" +
                                       "' file size(4294967301) does not fit the result. Returning invalid file "
                                       "size(-1)"),
                            Logged(ERROR, "getFileSize",
                                   "Unable to Open '" + dir / "missing" + "' file. Returning invalid file size(-1)")));
}

TEST_F(FileUtilsTest, CreateFileCreatesOrTruncates) {
    scratch::writeFile(dir / "old", "content");
    EXPECT_TRUE(createFile(dir / "new"));
    EXPECT_TRUE(createFile(dir / "old"));
    EXPECT_FALSE(createFile(dir / "missing/new"));
    EXPECT_EQ(scratch::readFile(dir / "new"), "");
    EXPECT_EQ(fs::file_size(dir / "old"), 0u);
}

TEST_F(FileUtilsTest, CopyFileCopiesEveryByteAndTruncatesTheDestination) {
    const std::string binary("line\r\n\0\xff end", 12);
    const struct {
        const char* name;
        std::string content;
    } cases[] = {{"binary", binary}, {"empty", ""}};
    for (const auto& c : cases) {
        scratch::writeFile(dir / c.name, c.content);
        scratch::writeFile(dir / "copy", "previous, longer content");
        EXPECT_TRUE(copyFile(dir / c.name, dir / "copy")) << c.name;
        EXPECT_EQ(scratch::readFile(dir / "copy"), c.content) << c.name;
    }
}

TEST_F(FileUtilsTest, CopyFileFailsWithoutTouchingTheDestinationOrWhenAWriteFails) {
    scratch::writeFile(dir / "source", "data");
    scratch::writeFile(dir / "copy", "keep");
    EXPECT_FALSE(copyFile(dir / "missing", dir / "copy"));
    EXPECT_EQ(scratch::readFile(dir / "copy"), "keep");
    EXPECT_FALSE(copyFile(dir / "source", dir / "missing/copy"));
    // Every write to this device fails as on a full partition.
    EXPECT_FALSE(copyFile(dir / "source", "/dev/full"));
}

TEST_F(FileUtilsTest, RemoveFileRemovesFilesAndEmptyDirectories) {
    scratch::writeFile(dir / "file", "x");
    fs::create_directory(dir / "empty");
    EXPECT_TRUE(remove_file(&logger, (dir / "file").c_str()));
    EXPECT_TRUE(remove_file(&logger, (dir / "empty").c_str()));
    EXPECT_TRUE(remove_file(&logger, (dir / "missing").c_str()));
    EXPECT_FALSE(remove_file(&logger, nullptr));
    EXPECT_FALSE(fs::exists(dir / "file"));
    EXPECT_FALSE(fs::exists(dir / "empty"));
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(VERBOSE, "", "remove_file: \"" + dir / "file" + "\" file deletion successful"),
                            Logged(VERBOSE, "", "remove_file: \"" + dir / "empty" + "\" file deletion successful")));
}

TEST_F(FileUtilsTest, RemoveFileReportsWhatCannotBeRemoved) {
    fs::create_directories(dir / "full/inner");
    EXPECT_FALSE(remove_file(&logger, (dir / "full").c_str()));
    EXPECT_TRUE(fs::exists(dir / "full/inner"));
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(FATAL, "",
                                   "remove_file: \"" + dir / "full" + "\" file deletion failed: Directory not empty")));
}

TEST_F(FileUtilsTest, GetEnvValueGivesAnEmptyStringForUnsetAndEmptyVariables) {
    setenv("MORVANE_UTILS_SET", "value", 1);
    setenv("MORVANE_UTILS_EMPTY", "", 1);
    unsetenv("MORVANE_UTILS_UNSET");
    EXPECT_EQ(getEnvValue("MORVANE_UTILS_SET"), "value");
    EXPECT_EQ(getEnvValue("MORVANE_UTILS_EMPTY"), "");
    EXPECT_EQ(getEnvValue("MORVANE_UTILS_UNSET"), "");
}

TEST_F(FileUtilsTest, ReadLineFromFileCountsLinesFromOne) {
    scratch::writeFile(dir / "lines", "first\nsecond\n\nfourth");
    const struct {
        unsigned int line;
        const char* expected;
    } cases[] = {{1, "first"}, {2, "second"}, {3, ""}, {4, "fourth"}, {5, ""}, {1000, ""}, {0, "first"}};
    for (const auto& c : cases) {
        EXPECT_EQ(readLineFromFile(dir / "lines", c.line), c.expected) << c.line;
    }
    EXPECT_EQ(readLineFromFile(dir / "missing", 1), "");
}

TEST_F(FileUtilsTest, ReadLineRefusesAFailedStreamAndClosesOnRequest) {
    scratch::writeFile(dir / "lines", "first\nsecond\n");
    std::fstream file(dir / "lines", std::ios::in | std::ios::out);
    EXPECT_EQ(readLine(file, 2, false), "second");
    EXPECT_EQ(readLine(file, 1, true), "first");
    EXPECT_FALSE(file.is_open());
    std::fstream atEnd(dir / "lines", std::ios::in | std::ios::out);
    atEnd.setstate(std::ios::eofbit);
    EXPECT_EQ(readLine(atEnd, 1, false), "");
}

TEST_F(FileUtilsTest, ReadLineFromFileNeedsAWritableFile) {
    scratch::writeFile(dir / "lines", "first\n");
    chmod((dir / "lines").c_str(), 0444);
    chmod(dir.path().c_str(), 0755);
    const std::string path = dir / "lines";
    // 1: not readable at all; 2: read although the file is read-only.
    const int code = scratch::runUnprivileged([&] {
        if (std::ifstream(path).get() != 'f') {
            return 1;
        }
        return readLineFromFile(path, 1).empty() ? 0 : 2;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(FileUtilsTest, SeekToLinePlacesTheStreamAtTheStartOfTheLine) {
    std::istringstream in("one\ntwo\nthree\n");
    std::string line;
    std::getline(in, line);
    EXPECT_TRUE(std::getline(seekToLine(in, 3), line));
    EXPECT_EQ(line, "three");
    EXPECT_TRUE(std::getline(seekToLine(in, 1), line));
    EXPECT_EQ(line, "one");
}

}  // namespace
