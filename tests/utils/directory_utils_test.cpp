#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "log_checks.h"
#include "scratch.h"
#include "support/recording_logger.h"
#include "utils/file_utils.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

using namespace log_levels;

class DirectoryUtilsTest : public ::testing::Test {
  protected:
    scratch::Dir dir;
    RecordingLogger logger;
};

TEST_F(DirectoryUtilsTest, DirectoryExistsOnlyForWhatOpensAsADirectory) {
    scratch::writeFile(dir / "file", "");
    fs::create_symlink(dir.path(), dir / "link");
    EXPECT_TRUE(directoryExists(dir.path()));
    EXPECT_TRUE(directoryExists(dir / "link"));
    EXPECT_FALSE(directoryExists(dir / "file"));
    EXPECT_FALSE(directoryExists(dir / "missing"));
}

TEST_F(DirectoryUtilsTest, CreateDirectoryAcceptsAnythingAlreadyThere) {
    scratch::writeFile(dir / "file", "");
    EXPECT_TRUE(createDirectory(dir / "new", &logger));
    EXPECT_TRUE(createDirectory(dir / "new", &logger));
    EXPECT_TRUE(createDirectory(dir / "file", &logger));
    EXPECT_FALSE(createDirectory(dir / "missing/new", &logger));
    EXPECT_TRUE(fs::is_directory(dir / "new"));
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(ERROR, "createDirectory", "\"" + dir / "file" + "\" directory already exist\n"),
                            Logged(ERROR, "createDirectory",
                                   "createDirectory: Directory creation(" + dir / "missing/new" +
                                       ") failed due to :No such file or directory\n")));
}

TEST_F(DirectoryUtilsTest, CreateSymlinkKeepsTheTargetTextAndAcceptsAnExistingLink) {
    scratch::writeFile(dir / "target", "");
    fs::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_TRUE(createSymlink(dir / "target", dir / "link", &logger));
    EXPECT_TRUE(createSymlink(dir / "target", dir / "dangling", &logger));
    EXPECT_EQ(fs::read_symlink(dir / "link"), dir / "target");
    EXPECT_EQ(fs::read_symlink(dir / "dangling"), dir / "gone");
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(INFO, "createSymlink", "\"" + dir / "dangling" + "\" symlink alread exist\n")));
}

TEST_F(DirectoryUtilsTest, CreateSymlinkNeedsAnExistingTargetAndLinkDirectory) {
    scratch::writeFile(dir / "target", "");
    EXPECT_FALSE(createSymlink(dir / "missing", dir / "link", &logger));
    EXPECT_FALSE(createSymlink(dir / "target", dir / "missing/link", &logger));
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(ERROR, "createSymlink", "The source file \"" + dir / "missing" + "\" doesn't exist"),
                            Logged(ERROR, "createSymlink",
                                   "Symlink creation(" + dir / "missing/link" +
                                       ") failed due to: No such file or directory\n")));
}

TEST_F(DirectoryUtilsTest, ChangeDirectoryMovesTheProcessOrReportsWhyNot) {
    const fs::path saved = fs::current_path();
    EXPECT_TRUE(changeDirectory(&logger, dir.path()));
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()));
    EXPECT_FALSE(changeDirectory(&logger, dir / "missing"));
    fs::current_path(saved);
    EXPECT_THAT(logger.entries(), ElementsAre(Logged(ERROR, "changeDirectory",
                                                     "'chdir' to '" + dir / "missing" +
                                                         "' directory failed dur to 'No such file or directory'")));
}

TEST_F(DirectoryUtilsTest, NumberofFilesinDirectoryCountsRegularFilesOnly) {
    scratch::writeFile(dir / "a", "");
    scratch::writeFile(dir / "b", "");
    fs::create_directory(dir / "sub");
    scratch::writeFile(dir / "sub/nested", "");
    fs::create_symlink(dir / "a", dir / "link");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(NumberofFilesinDirectory(&logger, dir.path(), false), 2);
    EXPECT_EQ(NumberofFilesinDirectory(&logger, dir.path(), true), 4);
    EXPECT_THAT(logger.entries(), IsEmpty());
}

TEST_F(DirectoryUtilsTest, NumberofFilesinDirectoryGivesZeroForWhatItCannotRead) {
    scratch::writeFile(dir / "file", "");
    for (const std::string& path : {std::string(), dir / "missing", dir / "file"}) {
        EXPECT_EQ(NumberofFilesinDirectory(&logger, path, true), 0) << path;
    }
    EXPECT_THAT(
        logger.entries(),
        ElementsAre(Logged(ERROR, "NumberofFilesinDirectory", "Received directory path is empty\n"),
                    Logged(ERROR, "NumberofFilesinDirectory", "Directory '" + dir / "missing" + "' doesn't exist"),
                    Logged(ERROR, "NumberofFilesinDirectory", "opendir returned an error: Not a directory\n")));
}

TEST_F(DirectoryUtilsTest, DeleteDirectoryContentsRemovesATreeButNothingLinksPointTo) {
    fs::create_directories(dir / "outside/kept_dir");
    scratch::writeFile(dir / "outside/kept_file", "precious");
    scratch::writeFile(dir / "outside/kept_dir/inner", "precious too");
    for (const bool removeItself : {false, true}) {
        const std::string tree = dir / "tree";
        fs::create_directories(tree + "/a/b/c");
        scratch::writeFile(tree + "/top", "");
        scratch::writeFile(tree + "/a/b/c/deep", "");
        fs::create_symlink(dir / "outside/kept_file", tree + "/a/to_file");
        fs::create_symlink(dir / "outside/kept_dir", tree + "/a/b/to_dir");
        fs::create_symlink(dir / "outside/gone", tree + "/dangling");
        EXPECT_TRUE(deleteDirectoryContents(&logger, tree, removeItself));
        EXPECT_EQ(fs::exists(tree), !removeItself);
        EXPECT_TRUE(removeItself || fs::is_empty(tree));
    }
    EXPECT_EQ(scratch::readFile(dir / "outside/kept_file"), "precious");
    EXPECT_EQ(scratch::readFile(dir / "outside/kept_dir/inner"), "precious too");
    EXPECT_THAT(logger.entries(), IsEmpty());
}

TEST_F(DirectoryUtilsTest, DeleteDirectoryContentsLeavesSpecialFilesAndKeepsTheirDirectory) {
    fs::create_directory(dir / "tree");
    ASSERT_EQ(mkfifo((dir / "tree/fifo").c_str(), 0600), 0);
    EXPECT_TRUE(deleteDirectoryContents(&logger, dir / "tree", true));
    EXPECT_TRUE(fs::exists(dir / "tree/fifo"));
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(VERBOSE, "", "remove_dir: nothing to delete\n"),
                            Logged(ERROR, "deleteDirectoryContents",
                                   "Error(Directory not empty) in deleting " + dir / "tree" + " directory")));
}

TEST_F(DirectoryUtilsTest, DeleteDirectoryContentsOfWhatIsNotADirectory) {
    scratch::writeFile(dir / "file", "");
    EXPECT_FALSE(deleteDirectoryContents(&logger, "", true));
    EXPECT_TRUE(deleteDirectoryContents(&logger, dir / "missing", true));
    EXPECT_FALSE(deleteDirectoryContents(&logger, dir / "file", true));
    EXPECT_TRUE(fs::exists(dir / "file"));
    EXPECT_THAT(
        logger.entries(),
        ElementsAre(Logged(FATAL, "", "remove_dir: Path is empty\n"),
                    Logged(WARN, "", "Folder doesn't exist to delete but we can still proceed with next step\n"),
                    Logged(FATAL, "", "remove_dir: opendir returned an error: Not a directory\n")));
}

TEST_F(DirectoryUtilsTest, DeleteDirectoryContentsGoesOnPastEveryEntryItCannotRemove) {
    const std::string tree = dir / "tree";
    fs::create_directories(tree + "/locked");
    fs::create_directories(tree + "/unreadable");
    fs::create_directories(tree + "/unsearchable");
    scratch::writeFile(tree + "/removable", "");
    scratch::writeFile(tree + "/locked/file", "");
    fs::create_symlink(tree + "/removable", tree + "/locked/link");
    scratch::writeFile(tree + "/unsearchable/file", "");
    chmod(dir.path().c_str(), 0755);
    chmod(tree.c_str(), 0777);
    chmod((tree + "/locked").c_str(), 0555);
    chmod((tree + "/unreadable").c_str(), 0333);
    chmod((tree + "/unsearchable").c_str(), 0444);
    FileLogger shared(dir / "log");
    EXPECT_EQ(scratch::runUnprivileged([&] { return deleteDirectoryContents(&shared, tree, false) ? 0 : 1; }), 0);
    EXPECT_FALSE(fs::exists(tree + "/removable"));
    EXPECT_TRUE(fs::exists(tree + "/locked/file"));
    const std::string denied = "Permission denied";
    EXPECT_THAT(
        shared.entries(),
        UnorderedElementsAre(
            Logged(ERROR, "deleteDirectoryContents",
                   "Removing '" + tree + "/locked/file' file failed due to '" + denied + "'"),
            Logged(ERROR, "deleteDirectoryContents",
                   "Unlinking '" + tree + "/locked/link' file failed due to '" + denied + "'"),
            Logged(ERROR, "deleteDirectoryContents",
                   "Error(Directory not empty) in deleting " + tree + "/locked directory"),
            Logged(FATAL, "", "remove_dir: opendir returned an error: " + denied + "\n"),
            Logged(ERROR, "deleteDirectoryContents", "Removing '" + tree + "/unreadable' folder failed"),
            Logged(FATAL, "",
                   "remove_dir: lstat() failed for " + tree + "/unsearchable/file file due to: " + denied + "\n"),
            Logged(ERROR, "deleteDirectoryContents",
                   "Error(Directory not empty) in deleting " + tree + "/unsearchable directory")));
}

TEST_F(DirectoryUtilsTest, ListFilesinDirectorySortsNamesByteWise) {
    for (const char* name : {"b", "a", "ab", "B", ".hidden", "\xc3\xa9t\xc3\xa9", "~tilde"}) {
        scratch::writeFile(dir / name, "");
    }
    fs::create_directory(dir / "sub");
    fs::create_symlink(dir / "gone", dir / "link");
    EXPECT_THAT(listFilesinDirectory(dir.path(), &logger),
                ElementsAre(".hidden", "B", "a", "ab", "b", "link", "sub", "~tilde", "\xc3\xa9t\xc3\xa9"));
    EXPECT_THAT(listFilesinDirectory(dir / "sub", &logger), IsEmpty());
    EXPECT_THAT(logger.entries(), IsEmpty());
}

TEST_F(DirectoryUtilsTest, ListFilesinDirectoryGivesNothingForWhatItCannotOpen) {
    EXPECT_THAT(listFilesinDirectory(dir / "missing", &logger), IsEmpty());
    EXPECT_THAT(logger.entries(), ElementsAre(Logged(ERROR, "listFilesinDirectory",
                                                     "Opendir returned an error(No such file or directory) for (" +
                                                         dir / "missing" + ")")));
}

}  // namespace
