#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "updater/durable_file.h"
#include "updater_fixture.h"

namespace {

const std::string kFreshAfterBlock4System1 = docs::saved(
    R"([{"BlockID": 3, "System0_Version": "----"}, {"BlockID": 4, "System0_Version": "----", "System1_Version": "0202"}, )"
    R"({"BlockID": 5, "System0_Version": "----"}, {"BlockID": 6, "System0_Version": "----"}, )"
    R"({"BlockID": 7, "System0_Version": "----"}, {"BlockID": 8, "System0_Version": "----", "System1_Version": "----"}, )"
    R"({"BlockID": 9, "System0_Version": "----"}])",
    docs::kDefaultGTO, docs::kDefaultAudio);

mode_t permissionsOf(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0;
}

TEST_F(UpdaterTest, MissingOrRejectedDocumentIsSavedAsDefaultsPlusTheUpdate) {
    for (const char* content : {"", R"({"NAD_Version_Info": []})"}) {
        TempDir::removeTree(documentPath);
        if (*content != '\0') {
            writeFile(documentPath, content);
        }
        loadExisting();
        ASSERT_TRUE(updater->updateVersionforBlock(4, 1, versionFile(R"({"Version": "0202"})")));
        ASSERT_TRUE(updater->writeToFile());
        EXPECT_EQ(readFile(documentPath), kFreshAfterBlock4System1);
        EXPECT_EQ(TempDir::entries(dir.path()), (std::vector<std::string>{"VersionInfo.json", "version.json"}));
    }
}

TEST_F(UpdaterTest, SaveRebuildsTheDocumentFromTheModel) {
    // Unknown members and the CMP section are dropped, repeated blocks kept, strings escaped.
    std::string nad = docs::kNADSeven;
    nad.replace(nad.find(R"("BlockID": 5)"), 12, R"("BlockID": 3)");
    nad.replace(nad.find(R"("0200")"), 6, R"("a/b\"c\\d")");
    const std::string content = R"({"Zeta": 1, "CMP_Version_Info": {"IOC": "1", "WUC": "2", "HWVersion": "3"}, )"
                                R"("Audio_DataSet_Version_Info": )" +
                                docs::kAudio + R"(, "GTO_Version_Info": )" + docs::kGTO + R"(, "NAD_Version_Info": )" +
                                nad + "}";
    load(content);
    ASSERT_TRUE(updater->writeToFile());
    std::string expectedNAD = docs::kNADSeven;
    expectedNAD.replace(expectedNAD.find(R"("BlockID": 5)"), 12, R"("BlockID": 3)");
    expectedNAD.replace(expectedNAD.find(R"("0200")"), 6, R"("a\/b\"c\\d")");
    const std::string first = readFile(documentPath);
    EXPECT_EQ(first, docs::saved(expectedNAD, docs::kGTO, docs::kAudio));

    ASSERT_TRUE(updater->writeToFile());
    EXPECT_EQ(readFile(documentPath), first);
}

TEST_F(UpdaterTest, SaveKeepsTheDocumentsPermissionsOrGivesThoseOfAPlainCreate) {
    load(docs::kValid);
    ASSERT_EQ(chmod(documentPath.c_str(), 0604), 0);
    ASSERT_TRUE(updater->writeToFile());
    EXPECT_EQ(permissionsOf(documentPath), 0604u);

    unlink(documentPath.c_str());
    const mode_t previous = umask(027);
    const bool saved = updater->writeToFile();
    umask(previous);
    ASSERT_TRUE(saved);
    EXPECT_EQ(permissionsOf(documentPath), 0640u);
}

TEST_F(UpdaterTest, SymbolicLinkIsKeptAndItsTargetReplaced) {
    mkdir((dir / "real").c_str(), 0755);
    writeFile(dir / "real/VersionInfo.json", docs::kValid);
    ASSERT_EQ(symlink("real/VersionInfo.json", documentPath.c_str()), 0);
    loadExisting();
    ASSERT_TRUE(updater->updateVersionforBlock(3, 0, versionFile(R"({"Version": "new"})")));
    ASSERT_TRUE(updater->writeToFile());

    struct stat status;
    ASSERT_EQ(lstat(documentPath.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_NE(readFile(dir / "real/VersionInfo.json").find(R"({"BlockID": 3, "System0_Version": "new"})"),
              std::string::npos);
    EXPECT_EQ(TempDir::entries(dir / "real"), std::vector<std::string>{"VersionInfo.json"});
}

TEST_F(UpdaterTest, UncreatableDocumentIsReportedAndNotSynced) {
    const std::string path = dir / "missing/VersionInfo.json";
    RAROV_UpdateVersionInfo missing(&logger, path);
    logger.clear();
    EXPECT_FALSE(missing.writeToFile());
    EXPECT_EQ(errors(),
              (std::vector<std::string>{
                  "dumpJSONContent(462): Opening the file stream(" + path + ") failed(No such file or directory)...!",
                  "writeToFile(473): Dumping JSON Content to '" + path + "' file failed"}));
    EXPECT_EQ(logger.entries().size(), 2u) << "nothing else, no sync";
}

// Each step of the save fails in turn: the old document must stay byte for byte, with no temporary file left.
TEST(DurableFileTest, FailureAtAnyStepKeepsTheOldFile) {
    const DurableFileStep steps[] = {DurableFileStep::Open, DurableFileStep::Write, DurableFileStep::Sync,
                                     DurableFileStep::Close, DurableFileStep::Rename};
    for (const DurableFileStep step : steps) {
        TempDir dir;
        const std::string path = dir / "doc.json";
        writeFile(path, "old");
        DurableFileCalls calls = DurableFileCalls::system();
        auto failWith = [](int error) {
            errno = error;
            return -1;
        };
        if (step == DurableFileStep::Open) {
            calls.createTemporary = [&](char*) { return failWith(EMFILE); };
        } else if (step == DurableFileStep::Write) {
            // A short write first, then the disk is full.
            int call = 0;
            calls.write = [&, call](int fd, const void* data, size_t) mutable -> ssize_t {
                return ++call == 1 ? ::write(fd, data, 1) : failWith(ENOSPC);
            };
        } else if (step == DurableFileStep::Sync) {
            calls.fsync = [&](int) { return failWith(EIO); };
        } else if (step == DurableFileStep::Close) {
            calls.close = [&](int fd) {
                ::close(fd);
                return failWith(EIO);
            };
        } else {
            calls.rename = [&](const char*, const char*) { return failWith(EXDEV); };
        }
        const DurableFileResult result = replaceFileDurably(path, "new content", calls);
        EXPECT_EQ(result.failedStep, step);
        EXPECT_NE(result.error, 0);
        EXPECT_EQ(readFile(path), "old");
        EXPECT_EQ(TempDir::entries(dir.path()), std::vector<std::string>{"doc.json"});
    }
}

TEST(DurableFileTest, WritesInPiecesUntilEverythingIsOut) {
    TempDir dir;
    DurableFileCalls calls = DurableFileCalls::system();
    int interrupted = 0;
    calls.write = [&](int fd, const void* data, size_t size) -> ssize_t {
        if (interrupted++ % 2 == 0) {
            errno = EINTR;
            return -1;
        }
        return ::write(fd, data, size > 3 ? 3 : size);
    };
    const std::string content(1000, 'x');
    ASSERT_TRUE(replaceFileDurably(dir / "doc", content, calls));
    EXPECT_EQ(readFile(dir / "doc"), content);
}

TEST(DurableFileTest, FailedDirectorySyncIsReportedAfterTheRename) {
    TempDir dir;
    writeFile(dir / "doc", "old");
    DurableFileCalls calls = DurableFileCalls::system();
    calls.syncDirectory = [](const char*) {
        errno = EIO;
        return -1;
    };
    const DurableFileResult result = replaceFileDurably(dir / "doc", "new", calls);
    EXPECT_EQ(result.failedStep, DurableFileStep::SyncDirectory);
    EXPECT_EQ(readFile(dir / "doc"), "new");
    EXPECT_EQ(TempDir::entries(dir.path()), std::vector<std::string>{"doc"});
}

// Runs a save in a child whose files may not grow past a few bytes, as on a full disk.
TEST_F(UpdaterTest, SaveThatRunsOutOfSpaceFailsAndKeepsTheDocument) {
    load(docs::kValid);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(updater->writeToFile() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(readFile(documentPath), docs::kValid);
    EXPECT_EQ(TempDir::entries(dir.path()), std::vector<std::string>{"VersionInfo.json"});
}

// Real file systems that refuse the save; mounting them needs root.
class MountedSaveTest : public UpdaterTest {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "mounting a small tmpfs needs root";
        }
        mountPoint = dir / "mnt";
        mkdir(mountPoint.c_str(), 0755);
        if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=16k") != 0) {
            GTEST_SKIP() << "this machine does not allow mounting tmpfs: " << strerror(errno);
        }
        mounted = true;
        documentPath = mountPoint + "/VersionInfo.json";
    }
    void TearDown() override {
        if (mounted) {
            umount(mountPoint.c_str());
        }
    }
    std::string mountPoint;
    bool mounted = false;
};

TEST_F(MountedSaveTest, FullFileSystemFailsTheSaveAndKeepsTheDocument) {
    load(docs::kValid);
    // Fill what is left so that the new document cannot be written.
    writeFile(mountPoint + "/filler", std::string(64 * 1024, 'f'));
    EXPECT_FALSE(updater->writeToFile());
    EXPECT_EQ(readFile(documentPath), docs::kValid);
    EXPECT_EQ(TempDir::entries(mountPoint), (std::vector<std::string>{"VersionInfo.json", "filler"}));
}

TEST_F(MountedSaveTest, ReadOnlyFileSystemFailsAtOpening) {
    load(docs::kValid);
    ASSERT_EQ(mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=16k"), 0);
    logger.clear();
    EXPECT_FALSE(updater->writeToFile());
    ASSERT_FALSE(errors().empty());
    EXPECT_EQ(errors().front(),
              "dumpJSONContent(462): Opening the file stream(" + documentPath + ") failed(Read-only file system)...!");
    EXPECT_EQ(readFile(documentPath), docs::kValid);
}

}  // namespace
