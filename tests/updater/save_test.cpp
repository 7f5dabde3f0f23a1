#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "updater/durable_file.h"
#include "updater_fixture.h"

namespace {

using namespace docs;

const auto permissionsOf = [](const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0u;
};
const auto failWith = [](int error) { return errno = error, -1; };

TEST_F(UpdaterTest, SaveRebuildsTheDocumentFromTheModel) {
    // Unknown members and the CMP section are dropped, repeated blocks kept (only the first one updated), strings
    // escaped, and a second save gives the same bytes.
    const std::string nad = replaced(kNADSeven, R"("BlockID": 5)", R"("BlockID": 3)");
    load(R"({"Zeta": 1, )" +
         document(replaced(nad, "0410", R"(a/b\"c\\d)"), kGTO, kAudio, R"({"IOC": "1"})").substr(1));
    ASSERT_TRUE(updater->updateVersionforBlock(3, 0, versionFile(R"({"Version": "new"})")));
    ASSERT_TRUE(updater->writeToFile());
    const std::string first = readFile(documentPath);
    EXPECT_EQ(first, document(replaced(replaced(nad, "0410", R"(a\/b\"c\\d)"), "0200", "new"), kGTO, kAudio));
    ASSERT_TRUE(updater->writeToFile());
    EXPECT_EQ(readFile(documentPath), first);
}

TEST_F(UpdaterTest, SaveReplacesTheLinkedFileKeepingLinkAndPermissions) {
    const std::string real = root + "/data/tiv/swdl/real", target = real + "/VersionInfo.json";
    mkdir(real.c_str(), 0755);
    writeFile(target, kValid);
    ASSERT_EQ(chmod(target.c_str(), 0604), 0);
    ASSERT_EQ(unlink(documentPath.c_str()), 0);
    ASSERT_EQ(symlink("real/VersionInfo.json", documentPath.c_str()), 0);
    loadExisting();
    ASSERT_TRUE(updater->updateVersionforBlock(3, 0, versionFile(R"({"Version": "new"})")));
    ASSERT_TRUE(updater->writeToFile());

    struct stat status;
    EXPECT_TRUE(lstat(documentPath.c_str(), &status) == 0 && S_ISLNK(status.st_mode));
    EXPECT_EQ(readFile(target), replaced(kValid, "0200", "new"));
    EXPECT_EQ(permissionsOf(target), 0604u);
    EXPECT_EQ(TempDir::entries(real), std::vector<std::string>{"VersionInfo.json"});
}

TEST_F(UpdaterTest, NewDocumentGetsThePermissionsOfAPlainCreate) {
    unlink(documentPath.c_str());
    loadExisting();
    const mode_t previous = umask(027);
    const bool saved = updater->writeToFile();
    umask(previous);
    ASSERT_TRUE(saved);
    EXPECT_EQ(permissionsOf(documentPath), 0640u);
}

// Every write is interrupted once and then writes a single byte; the step under test fails. The old file stays byte
// for byte unless only the directory sync failed, after the rename, and no temporary file is ever left.
TEST(DurableFileTest, FailedStepIsReportedAndLeavesNoTemporaryFile) {
    using Step = DurableFileStep;
    for (const Step step :
         {Step::None, Step::Open, Step::Write, Step::Sync, Step::Close, Step::Rename, Step::SyncDirectory}) {
        TempDir dir;
        writeFile(dir / "doc.json", "old");
        // Only the second is named and made as a temporary file of this target; a complete save removes it.
        std::vector<std::string> names{".doc.json.AbC12", ".doc.json.AbC123", ".doc.json.dir123", ".doc.json.lnk123"};
        writeFile(dir / names[0], "");
        writeFile(dir / names[1], "left by a killed save");
        mkdir((dir / names[2]).c_str(), 0755);
        symlink("doc.json", (dir / names[3]).c_str());
        const DurableFileCalls real = DurableFileCalls::system();
        const auto fails = [step](Step at) { return step == at && (errno = EIO); };
        DurableFileCalls calls;
        calls.createTemporary = [&](char* path) {
            EXPECT_EQ(std::string(path).rfind(dir.path() + "/", 0), 0u) << path << " is not beside the target";
            return fails(Step::Open) ? -1 : real.createTemporary(path);
        };
        calls.write = [&, n = 0](int fd, const void* data, size_t) mutable -> ssize_t {
            if (++n % 2 == 1) {
                return failWith(EINTR);
            }
            return step == Step::Write && n > 2 ? failWith(ENOSPC) : real.write(fd, data, 1);
        };
        calls.fsync = [&](int fd) { return fails(Step::Sync) ? -1 : real.fsync(fd); };
        calls.close = [&](int fd) { return real.close(fd) == 0 && !fails(Step::Close) ? 0 : -1; };
        calls.rename = [&](const char* from, const char* to) {
            return fails(Step::Rename) ? -1 : real.rename(from, to);
        };
        calls.syncDirectory = [&](const char* path) {
            return fails(Step::SyncDirectory) ? -1 : real.syncDirectory(path);
        };

        const DurableFileResult result = replaceFileDurably(dir / "doc.json", "new content", calls);
        EXPECT_EQ(result.failedStep, step);
        EXPECT_EQ(result.error != 0, step != Step::None);
        EXPECT_EQ(readFile(dir / "doc.json"),
                  step == Step::None || step == Step::SyncDirectory ? "new content" : "old");
        names.push_back("doc.json");
        names.erase(names.begin() + 1, names.begin() + (step == Step::None ? 2 : 1));
        EXPECT_EQ(TempDir::entries(dir.path()), names);
    }
}

// A directory where the document belongs cannot be read, so nothing is saved over it; a save to it is refused at
// once, as opening it for writing would be.
TEST_F(UpdaterTest, DirectoryInPlaceOfTheDocumentIsNeitherReadNorReplaced) {
    unlink(documentPath.c_str());
    mkdir(documentPath.c_str(), 0755);
    loadExisting();
    EXPECT_FALSE(updater->isVersionFileReadable() || updater->writeToFile() ||
                 updater->dumpJSONContent(documentPath, false));
    EXPECT_EQ(errors(),
              (std::vector<std::string>{
                  "RAROV_UpdateVersionInfo(89): Reading the Version file(" + documentPath + ") failed(Is a directory)",
                  "writeToFile(312): Keeping the unreadable Version file(" + documentPath + ") as it is",
                  "dumpJSONContent(462): Opening the file stream(" + documentPath + ") failed(Is a directory)...!"}));
}

// A small file system that fills up and is then made read-only; mounting it needs root.
TEST_F(UpdaterTest, FullOrReadOnlyFileSystemFailsTheSaveAndKeepsTheDocument) {
    const std::string mountPoint = dir / "mnt";
    mkdir(mountPoint.c_str(), 0755);
    if (geteuid() != 0 || mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=16k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root: " << strerror(errno);
    }
    const struct Unmount {
        std::string at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{mountPoint};
    documentPath = mountPoint + "/VersionInfo.json";
    load(kValid);
    writeFile(mountPoint + "/filler", std::string(64 * 1024, 'f'));
    EXPECT_FALSE(updater->writeToFile());
    EXPECT_EQ(TempDir::entries(mountPoint), (std::vector<std::string>{"VersionInfo.json", "filler"}));

    ASSERT_EQ(mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=16k"), 0);
    logger.clear();
    EXPECT_FALSE(updater->writeToFile());
    EXPECT_EQ(errors().at(0),
              "dumpJSONContent(462): Opening the file stream(" + documentPath + ") failed(Read-only file system)...!");
    EXPECT_EQ(readFile(documentPath), kValid);
}

}  // namespace
