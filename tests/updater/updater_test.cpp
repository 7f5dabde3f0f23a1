#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/recording_logger.h"
#include "support/temp_dir.h"
#include "updater/durable_file.h"
#include "updater/update_version_info.h"

namespace {

// The text with the first occurrence of `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// A document with the given sections, empty ones left out, in the order and spacing of the updater's own saves.
std::string document(const std::string& nad, const std::string& gto, const std::string& audio,
                     const std::string& cmp = "") {
    std::string text;
    for (const auto& [key, value] : {std::pair{"Audio_DataSet_Version_Info", audio}, std::pair{"CMP_Version_Info", cmp},
                                     std::pair{"GTO_Version_Info", gto}, std::pair{"NAD_Version_Info", nad}}) {
        text += value.empty() ? "" : (text.empty() ? "{\"" : ", \"") + std::string(key) + "\": " + value;
    }
    return text + "}";
}

const std::string kNADSeven =
    R"([{"BlockID": 3, "System0_Version": "0200"}, {"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"}, )"
    R"({"BlockID": 5, "System0_Version": "0300"}, {"BlockID": 6, "System0_Version": "0300"}, )"
    R"({"BlockID": 7, "System0_Version": "0300"}, {"BlockID": 8, "System0_Version": "0410", "System1_Version": "0410"}, )"
    R"({"BlockID": 9, "System0_Version": "0300"}])";
const std::string kGTO = R"({"Active_System": 1, "System0_Version": "0100", "System1_Version": "0101"})";
const std::string kAudio = R"({"BlockID": 28928, "DataSetName": "SET_A", "Version": "0102"})";
const std::string kValid = document(kNADSeven, kGTO, kAudio);
// What a model with defaults everywhere holds.
const std::string kDefaultNAD = std::regex_replace(kNADSeven, std::regex(R"("\d{4}")"), R"("----")");
const std::string kDefaultGTO = R"({"Active_System": 0, "System0_Version": "----", "System1_Version": "----"})";
const std::string kDefaultAudio = R"({"BlockID": 28928, "DataSetName": "------------", "Version": "----"})";

// Messages with "#" in place of the live source line of their tag.
std::string untagged(const std::string& text) {
    return std::regex_replace(text, std::regex(R"((\w+)\(\d+\)(?=: ))"), "$1(#)");
}

const std::string kRoot = MORVANE_TEST_UNIT_ROOT, kV = kRoot + "/v.json";  // kV: the version file of a tool run
const std::string kRead = "RAROV_UpdateVersionInfo(#): Error in reading the Version file";
const std::string kUnreadable = "RAROV_UpdateVersionInfo(#): Reading the Version file(";
const std::string kOpen = "dumpJSONContent(#): Opening the file stream(";
const std::string kUnknown = " is not present in the set of expected blockID's";
const std::string kComplete = kRoot + "/var/volatile/tmp/CompleteVersionInfo.json";

// Puts content at path; "(none)", "(dir)", "(fifo)" and "(no dir)" stand for nothing there, a directory, a FIFO, and
// not even the directory above.
void put(const std::string& path, const std::string& content) {
    unlink(path.c_str());
    if (content == "(dir)" || content == "(fifo)") {
        (content == "(dir)" ? mkdir : mkfifo)(path.c_str(), 0755);
    } else if (content == "(no dir)") {
        rmdir(path.substr(0, path.rfind('/')).c_str());
    } else if (content != "(none)") {
        writeFile(path, content);
    }
}

// A fresh simulated unit for each test, its file system at the test unit root, holding the valid document. The
// updater under test and the built tool both work on that unit.
class UpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TempDir::removeTree(kRoot);
        std::system(("mkdir -p " + kRoot + "/data/tiv/swdl " + kRoot + "/var/volatile/tmp").c_str());
        writeFile(documentPath, kValid);
    }
    void TearDown() override { TempDir::removeTree(kRoot); }
    void load(const std::string& content) {
        put(documentPath, content);
        logger.clear();
        updater = std::make_unique<RAROV_UpdateVersionInfo>(&logger, documentPath + "");  // a path that dies at once
    }
    // Error messages in order, "(dump)" standing for a dump of the whole document.
    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const auto& entry : logger.entries()) {
            if (const std::string text = untagged(entry.text); entry.level == 'E') {
                texts.push_back(text == "printFileContent(#): File Content:\n " + readFile(documentPath) ? "(dump)"
                                                                                                         : text);
            }
        }
        return texts;
    }

    std::string documentPath = kRoot + "/data/tiv/swdl/VersionInfo.json";
    RecordingLogger logger;
    std::unique_ptr<RAROV_UpdateVersionInfo> updater;
};

// The valid document with one section replaced; the NAD array with its first element replaced or with elements
// following its first six.
const auto withNAD = [](const std::string& nad) { return document(nad, kGTO, kAudio); };
const auto withGTO = [](const std::string& gto) { return document(kNADSeven, gto, kAudio); };
const auto withAudio = [](const std::string& audio) { return document(kNADSeven, kGTO, audio); };
const auto nadWith = [](const std::string& first) { return "[" + first + kNADSeven.substr(kNADSeven.find("}, ") + 1); };
const auto nadSixAnd = [](const std::string& more) { return kNADSeven.substr(0, kNADSeven.rfind(", {")) + more + "]"; };

// Each row: the errors in order and the sections that fall back to defaults: N(AD), G(TO), A(udio).
TEST_F(UpdaterTest, LoadingLogsDumpsAndFallsBackAsTheDocumentDeserves) {
    const std::string dumping = " Information. Dumping the contents...", dump = "(dump)",
                      config = "RAROV_UpdateVersionInfo(#): Invalid Configuration file found. Dumping the contents...",
                      nad = "readVersionInfo_NAD(#): Invalid NAD" + dumping,
                      gto = "readVersionInfo_GTO(#): Invalid GTO" + dumping,
                      audio = "readVersionInfo_AudioDataset(#): Invalid Audio DataSet" + dumping,
                      got = "readVersionInfo_AudioDataset(#): Expected BlockID(7100) but got BlockID(";
    // clang-format off
    const struct {
        std::string content;
        std::vector<std::string> errors;
        std::string defaulted;
    } cases[] = {
        {kValid, {}, ""}, {"(none)", {kRead}, "NGA"}, {"[" + kValid + "]", {kRead}, "NGA"},
        {withNAD(nadSixAnd("")), {config, dump}, "NGA"}, {withGTO(""), {config, dump}, "NGA"},
        {withNAD(nadSixAnd(R"(, {"BlockID": 9}, {"BlockID": 10})")), {config, dump}, "NGA"},
        {withGTO("[" + kGTO + "]"), {config, dump}, "NGA"}, {withAudio("") + "\n// note\n", {audio, dump}, "A"},
        {withAudio(R"({"BlockID": 28928, "Version": "1"})"), {audio, dump}, "A"},
        {withAudio(R"({"BlockID": 28929, "DataSetName": "X", "Version": "1"})"), {got + "7101)", audio, dump}, "A"},
        {withAudio(R"({"BlockID": 28928.5, "DataSetName": "X", "Version": "1"})"), {got + "7100)", audio, dump}, "A"},
        {withGTO(R"({"System0_Version": "7", "System1_Version": "8"})"), {gto, dump}, "G"},
        {withNAD(nadWith(R"({"BlockID": "3", "System0_Version": "1"})")), {nad, dump}, "N"},
        {withNAD(nadWith("3")), {nad, dump}, "N"}, {withNAD(nadSixAnd(R"(, {"BlockID": 9})")), {nad, dump}, "N"},
        {document(nadWith("{}"), R"({"Active_System": 1})", "[]"), {nad, dump, gto, dump, audio, dump}, "NGA"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        load(c.content);
        EXPECT_EQ(errors(), c.errors);
        const auto fallsBack = [&](char section) { return c.defaulted.find(section) != std::string::npos; };
        EXPECT_TRUE(updater->writeToFile());
        EXPECT_EQ(readFile(documentPath),
                  document(fallsBack('N') ? kDefaultNAD : kNADSeven, fallsBack('G') ? kDefaultGTO : kGTO,
                           fallsBack('A') ? kDefaultAudio : kAudio));
    }
}

TEST_F(UpdaterTest, ReturnedVersionsAreThoseLoaded) {
    load(withNAD(replaced(replaced(kNADSeven, "1_Version\": \"0201", "1_Version\": \"B"), ": 5,", ": 12,")));
    // Block 8's copies agree, 4's differ; 12 is held but not a known block (no message), 5 a known one not held.
    const auto v = [&](int block) { return updater->returnVersionInfo(block); };
    EXPECT_EQ((std::vector<std::string>{v(3), v(8), v(4), v(12), v(5)}),
              (std::vector<std::string>{"0200", "0410", "0000", "0000", "0000"}));
    EXPECT_EQ(errors(), std::vector<std::string>{"returnVersionInfo(#): The received blockID: 5" + kUnknown});
    const AudioDataSetVersionInfo audio = updater->returnAudioDataSetVersionInfo();
    EXPECT_EQ(std::to_string(audio.BlockID) + audio.DataSetName + audio.Version, "28928SET_A0102");
    updater->updateVersionforBlock(4, 0, "");
    EXPECT_EQ(logger.entries().at(1).level + untagged(logger.entries().at(1).text),
              "VupdateVersionforBlock(#): Called for blockID = 0x4");
}

// The complete file (the document with its CMP section) is only refreshed by a GTO update, and written by a CMP one.
// Any non-zero id selects slot 1, and is then the active system as far as its low 8 bits go.
TEST_F(UpdaterTest, CompleteFileIsRefreshedByGTOUpdatesAndWrittenByCMPUpdates) {
    const std::string slot1 = replaced(kValid, "0101", "G2"),
                      active0 = replaced(replaced(slot1, ": 1,", ": 0,"), "G2", "G0");
    const auto withCMP = [&](const std::string& cmp) {  // the document on disk, with the CMP section
        return replaced(readFile(documentPath), ", \"GTO", ", \"CMP_Version_Info\": {" + cmp + "}, \"GTO");
    };
    load(kValid);
    EXPECT_FALSE(updater->updateGTOVersionInfo(1, "G2"));
    EXPECT_EQ(readFile(documentPath), slot1);
    EXPECT_EQ(readFile(kComplete), "") << "never created here";
    writeFile(kComplete, "{}");
    EXPECT_TRUE(updater->updateGTOVersionInfo(256, "G0"));
    EXPECT_EQ(readFile(documentPath), active0);
    EXPECT_EQ(readFile(kComplete), withCMP(R"("HWVersion": "----", "IOC": "----", "WUC": "----")"));
    EXPECT_TRUE(updater->updateGTOVersionInfo(0, "Z") && updater->updateCMPVersionInfo("IOC_1", "WUC/2", "HW_3"));
    EXPECT_EQ(untagged(logger.entries().back().text), "runSync(#): Sync Successful") << "a save ends with a sync";
    EXPECT_EQ(readFile(documentPath), replaced(active0, "0100", "Z"));
    EXPECT_EQ(readFile(kComplete), withCMP(R"("HWVersion": "HW_3", "IOC": "IOC_1", "WUC": "WUC\/2")"));
    DocumentLock lock(documentPath);  // kept through other saves, released by the one that borrows it
    EXPECT_TRUE(updater->updateCMPVersionInfo("IOC_1", "WUC/2", "HW_3") && updater->writeToFile() &&
                !DocumentLock(documentPath, 0) && updater->writeToFile(lock) && DocumentLock(documentPath, 0));
    const std::string refreshed = replaced(readFile(kComplete), R"("Z")", R"("Y")");
    put(documentPath, "(dir)");
    EXPECT_FALSE(updater->updateGTOVersionInfo(0, "Y")) << "the document could not be saved";
    EXPECT_EQ(readFile(kComplete), refreshed);
}

// A symbolic link to the document is kept and the file it leads to replaced, keeping its permissions and owner; a
// new document gets the permissions of a plain create.
TEST_F(UpdaterTest, SaveKeepsLinkPermissionsAndOwner) {
    const std::string real = kRoot + "/data/tiv/swdl/real", target = real + "/VersionInfo.json";
    const bool root = geteuid() == 0;
    mkdir(real.c_str(), 0755);
    writeFile(target, kValid);
    ASSERT_TRUE(chmod(target.c_str(), 0604) == 0 && (!root || chown(target.c_str(), 12, 34) == 0));
    put(documentPath, "(none)");
    ASSERT_EQ(symlink("real/VersionInfo.json", documentPath.c_str()), 0);
    updater = std::make_unique<RAROV_UpdateVersionInfo>(&logger, documentPath);
    EXPECT_FALSE(updater->updateGTOVersionInfo(1, "new"));  // saved, without a complete file to refresh
    struct stat status;
    EXPECT_TRUE(lstat(documentPath.c_str(), &status) == 0 && S_ISLNK(status.st_mode));
    EXPECT_EQ(readFile(target), replaced(kValid, "0101", "new"));
    EXPECT_TRUE(stat(target.c_str(), &status) == 0 && (status.st_mode & 07777) == 0604);
    EXPECT_TRUE(!root || (status.st_uid == 12 && status.st_gid == 34)) << "the owner is kept";
    EXPECT_EQ(TempDir::entries(real), std::vector<std::string>{"VersionInfo.json"});

    put(documentPath, "(none)");
    const mode_t previous = umask(027);
    EXPECT_TRUE(updater->writeToFile());
    umask(previous);
    EXPECT_TRUE(stat(documentPath.c_str(), &status) == 0 && (status.st_mode & 07777) == 0640);
    EXPECT_TRUE(status.st_uid == geteuid() && status.st_gid == getegid());
}

// A directory where the document belongs cannot be read, so nothing is saved over it, nor is the complete copy
// written from defaults.
TEST_F(UpdaterTest, UnreadableDocumentIsNeitherReplacedNorCopied) {
    writeFile(kComplete, "{}");
    load("(dir)");
    EXPECT_FALSE(updater->isVersionFileReadable() || updater->writeToFile() || updater->dumpJSONContent(kComplete, 1) ||
                 updater->updateCMPVersionInfo("I", "W", "H") || updater->updateGTOVersionInfo(1, "G"));
    const std::string keep = "(#): Keeping the unreadable Version file(" + documentPath + ") as it is";
    EXPECT_EQ(errors(), (std::vector<std::string>{kUnreadable + documentPath + ") failed(Is a directory)",
                                                  "writeToFile" + keep, "dumpJSONContent" + keep,
                                                  "updateCMPVersionInfo" + keep, "updateGTOVersionInfo" + keep}));
    EXPECT_EQ(readFile(kComplete), "{}");
}

// A link in a sticky world-writable directory (where the complete copy lives) owned by neither the saving user nor
// the directory's owner is not followed, dangling or not, even where the kernel does not protect such links.
TEST_F(UpdaterTest, ForeignLinkInStickyDirectoryIsNotFollowed) {
    const std::string tmp = kRoot + "/var/volatile/tmp", link = tmp + "//CompleteVersionInfo.json";
    const std::string secret = kRoot + "/secret", absent = kRoot + "/absent";
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to save as root beside a link that another user made";
    }
    ASSERT_EQ(chmod(tmp.c_str(), 01777), 0);
    load(kValid);
    for (const std::string& target : {secret, absent}) {
        writeFile(secret, "root only");
        put(link, "(none)");
        std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups ln -s " + target + " " + link).c_str());
        if (struct stat status; lstat(link.c_str(), &status) != 0 || status.st_uid != 65534) {
            GTEST_SKIP() << "the user nobody (65534) cannot make a link in " << tmp;
        }
        EXPECT_FALSE(updater->updateCMPVersionInfo("I", "W", "H"));
        EXPECT_EQ(readFile(secret), "root only");
        EXPECT_EQ(access(absent.c_str(), F_OK), -1);
        EXPECT_EQ(errors().back(), kOpen + link + ") failed(Permission denied)...!");
        ASSERT_EQ(lchown(link.c_str(), 0, 0), 0);  // the directory's owner's links are followed
        EXPECT_TRUE(updater->updateCMPVersionInfo("I", "W", "H"));
        EXPECT_NE(readFile(target), "root only");
    }
}

// Every write is interrupted once and then writes a single byte; the step under test fails. The old file stays byte
// for byte unless only the directory sync failed, after the rename, and no temporary file is ever left.
TEST(DurableFileTest, FailedStepIsReportedAndLeavesNoTemporaryFile) {
    using Step = DurableFileStep;
    for (const Step step :
         {Step::None, Step::Open, Step::Write, Step::Sync, Step::Close, Step::Rename, Step::SyncDirectory}) {
        TempDir dir;
        // Only the third is named and made as a temporary file of the target, v, that no live save holds locked; a
        // complete save removes it.
        std::vector<std::string> names{".v.Ab-123", ".v.AbC12",  ".v.AbC123", ".v.Live12",
                                       ".v.dir123", ".v.lnk123", ".v.lock",   "v"};
        const std::string made =
            "printf old >v && touch .v.Ab-123 .v.AbC12 .v.AbC123 .v.Live12 .v.lock && mkdir "
            ".v.dir123 && ln -s v .v.lnk123";
        std::system(("cd " + dir.path() + " && " + made).c_str());
        const int live = open((dir / ".v.Live12").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(live, LOCK_EX), 0);
        const DurableFileCalls& real = DurableFileCalls::system();
        const auto fails = [step](Step at, int error = EIO) {
            if (step != at) {
                return false;
            }
            errno = error;
            return true;
        };
        DurableFileCalls calls;
        int reused = -1;  // takes the number of the temporary file's descriptor once that is closed
        calls.createTemporary = [&](char* path) {
            EXPECT_EQ(std::string(path).rfind(dir.path() + "/", 0), 0u) << path << " is not beside the target";
            return fails(Step::Open) ? -1 : real.createTemporary(path);
        };
        calls.write = [&, n = 0](int fd, const void* data, size_t) mutable -> ssize_t {
            if (++n % 2 == 1) {  // every other write is cut short by a signal
                errno = EINTR;
                return -1;
            }
            return n > 2 && fails(Step::Write, ENOSPC) ? -1 : real.write(fd, data, 1);
        };
        calls.fsync = [&](int fd) { return fails(Step::Sync) ? -1 : real.fsync(fd); };
        calls.close = [&](int fd) {
            if (real.close(fd) != 0) {
                return -1;
            }
            reused = dup(2);
            return reused < 0 || fails(Step::Close) ? -1 : 0;
        };
        calls.rename = [&](const char* a, const char* b) { return fails(Step::Rename) ? -1 : real.rename(a, b); };
        calls.syncDirectory = [&](const char* d) { return fails(Step::SyncDirectory) ? -1 : real.syncDirectory(d); };

        const DurableFileResult result = replaceFileDurably(dir / "v", "new", calls);
        EXPECT_EQ(result.failedStep, step);
        EXPECT_EQ(result.error, step == Step::None ? 0 : step == Step::Write ? ENOSPC : EIO);
        EXPECT_EQ(readFile(dir / "v"), step == Step::None || step == Step::SyncDirectory ? "new" : "old");
        names.erase(names.begin() + 2, names.begin() + (step == Step::None ? 3 : 2));
        EXPECT_EQ(TempDir::entries(dir.path()), names);
        EXPECT_TRUE(reused < 0 || close(reused) == 0) << "the save closed a descriptor no longer its own";
        close(live);
    }
    EXPECT_EQ(DurableFileCalls::system().syncDirectory((kRoot + "/none").c_str()), -1) << "a directory not there";
}

// A file that already holds the text is only synced, itself and its directory: no temporary file, no rename, the
// same inode. A file that differs in its last byte or by one byte more is replaced; a failed sync is reported.
TEST(DurableFileTest, UnchangedContentIsOnlySynced) {
    // Each row: the old content, the new one, and the calls made: t(emporary file), f(sync), s (fdatasync), r(ename),
    // d(irectory sync); where "s" is the only call, the fdatasync fails.
    // clang-format off
    const std::string cases[][3] = {{"same", "same", "sd"}, {"", "", "sd"}, {"same!", "same", "tfrd"},
                                    {"samf", "same", "tfrd"}, {"same", "same", "s"}};
    // clang-format on
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "v", c[0]);
        struct stat before, after;
        ASSERT_EQ(stat((dir / "v").c_str(), &before), 0);
        const DurableFileCalls& real = DurableFileCalls::system();
        std::string calls;
        DurableFileCalls counted = real;
        counted.createTemporary = [&](char* path) { return calls += "t", real.createTemporary(path); };
        counted.rename = [&](const char* a, const char* b) { return calls += "r", real.rename(a, b); };
        const bool fails = c[2] == "s";
        counted.fsync = [&](int fd) { return calls += "f", real.fsync(fd); };
        counted.dataSync = [&](int fd) { return calls += "s", fails ? (errno = EIO, -1) : real.fsync(fd); };
        counted.syncDirectory = [&](const char* d) { return calls += "d", real.syncDirectory(d); };
        EXPECT_EQ(replaceFileDurably(dir / "v", c[1], counted).error, fails ? EIO : 0);
        EXPECT_EQ(calls, c[2]);
        EXPECT_TRUE(stat((dir / "v").c_str(), &after) == 0 && (after.st_ino == before.st_ino) == (calls.size() < 3) &&
                    readFile(dir / "v") == c[1]);
    }
}

// One holder at a time, beside the file the path leads to; a bounded wait. Whatever stands in the way is refused, so
// that runs never overlap; only where no save could succeed either is the lock merely unavailable.
TEST(DocumentLockTest, LockIsExclusiveBoundedAndRefusedWhereRunsCouldOverlap) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "real").c_str(), 0755) | symlink("real/v", (dir / "v").c_str()), 0);
    DocumentLock first(dir / "v");
    EXPECT_TRUE(first && first.path() == dir / "real/.v.lock");
    EXPECT_EQ(DocumentLock(dir / "real/v", 30).state(), DocumentLock::State::TimedOut);
    using State = DocumentLock::State;
    // Each row: shell commands run in a fresh directory d holding the document v, whether another user (nobody, in
    // the document's group) then takes the lock, and what it gets.
    // clang-format off
    const std::tuple<const char*, bool, State, int> cases[] = {
        {"rm -r d", false, State::Unavailable, ENOENT}, {"ln -s missing d/.v.lock", false, State::Refused, ELOOP},
        {"mkdir d/.v.lock", false, State::Refused, EISDIR}, {"mkfifo d/.v.lock", false, State::Refused, EINVAL},
        {"chmod 777 d", false, State::Refused, EPERM}, {"chmod 1777 d", false, State::Held, 0},
        {"chmod 1777 d; touch d/.v.lock; chown 65534 d/.v.lock", false, State::Refused, EPERM},
        // A lock file an earlier run left as root's alone is opened up to the document's writers by the next run.
        {"chmod 600 d/.v.lock; chgrp 65534 d d/v; chmod 775 d; chmod 664 d/v", true, State::Held, 0},
        {"chgrp 65534 d d/v; chmod 640 d/v", true, State::Held, 0},  // may only read it: read-only suffices
    };
    // clang-format on
    for (const auto& [setup, asOther, state, error] : cases) {
        TempDir::removeTree(dir / "d");
        const std::string commands = "cd " + dir.path() + " && chmod 755 . && mkdir d && touch d/v && ";
        ASSERT_EQ(std::system((commands + (asOther ? "touch d/.v.lock && " : "") + setup).c_str()), 0) << setup;
        DocumentLock(dir / "d/v", 0);  // a run as root comes first
        const pid_t child = fork();
        if (child == 0) {
            const bool as = !asOther || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
            const DocumentLock lock(dir / "d/v", 0);
            _exit(as ? static_cast<int>(lock.state()) * 64 + lock.error() : 255);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(state) * 64 + error) << setup;
    }
}

const std::string kPath = kRoot + "/data/tiv//swdl//VersionInfo.json";  // as the tool names it
const std::vector<std::string> k30 = {"3", "0", kV};
const char kUsage[] = "main(#): Usage: morvane BlockID SystemID Path_to_VersionFile DataSetName[Optional] \nExiting";
const std::string kFailed = "main(#): Updating Version Information failed";
const std::string kBlock = "updateVersionforBlock(#): The received blockID: ";
const std::string kSystem = "assignVersionInfo(#): Invalid SystemID = ";
const std::string kBadNumber = "': expected a decimal number in the signed 32-bit range";
const std::string kInvalid = "getLatestVersionString(#): Invalid Config file and completeVersionFilePath = " + kV;
const auto kEmpty = "updateVersionforBlock(#): The Version Information file " + kV + " contains an empty version";
const auto kAudioEmpty = replaced(kEmpty, "updateVersionforBlock(#)", "updateAudioDatasetVersionInfo(#)");
const auto kNoString = "getLatestVersionString(#): There is no valid version string";
const std::vector<std::string> kNoVersion = {kInvalid, kEmpty, kFailed};
const auto kNotSaved = "writeToFile(#): Dumping JSON Content to '" + kPath + "' file failed";

const std::string kTenMegabytes(10 << 20, 'v');
const std::string kBlock4 = replaced(kValid, "1_Version\": \"0201", "1_Version\": \"0202");
const std::string kDefaults3 = document(replaced(kDefaultNAD, "----", "0202"), kDefaultGTO, kDefaultAudio);
const auto saved = [](const std::string& text) { return replaced(kValid, "0200", text); };
const auto audio = [](const std::string& name) { return replaced(replaced(kValid, "SET_A", name), "0102", "0202"); };
const auto version = [](const std::string& text) { return R"({"Version": ")" + text + "\"}"; };

// Unknown members and the CMP section are dropped, repeated blocks kept (only the first one updated), strings escaped.
const std::string kRepeated = replaced(kNADSeven, R"("BlockID": 5)", R"("BlockID": 3)");
const std::string kOddStrings =
    R"({"Zeta": 1, )" +
    document(replaced(kRepeated, "0410", R"(a/b\"c\\d)"), kGTO, kAudio, R"({"IOC": "1"})").substr(1);
const std::string kOddStringsSaved =
    document(replaced(replaced(kRepeated, "0410", R"(a\/b\"c\\d)"), "0200", "0202"), kGTO, kAudio);
const std::string kOddBytes = replaced(kValid, R"("0410")", std::string("\"\xFF\xFE\xC3\x28\0\x01\"", 8));
const std::string kOddBytesSaved = replaced(saved("0202"), R"("0410")", "\"\xFF\xFE\xC3\x28\\u0000\\u0001\"");

// Out-of-range numbers are clamped to the unsigned 32-bit range and keep their low 8 bits, fractions are cut, a
// mistyped System1_Version is taken as empty; none of this rejects the document.
const std::string kOddNumbers = document(
    R"([{"BlockID": 259, "System0_Version": "a"}, {"BlockID": 4.9, "System0_Version": "b", "System1_Version": 5}, )"
    R"({"BlockID": -2, "System0_Version": "c", "System1_Version": "c1"}, {"BlockID": 8, "System0_Version": "d"}, )"
    R"({"BlockID": 1e12, "System0_Version": "e"}, {"BlockID": 1e308, "System0_Version": "f", "Extra": 1}, {"BlockID": 3, "System0_Version": "g"}])",
    replaced(kGTO, R"("Active_System": 1)", R"("Active_System": 123456789012345678901234567890)"), kAudio);
const std::string kOddNumbersSaved = document(
    R"([{"BlockID": 3, "System0_Version": "0202"}, {"BlockID": 4, "System0_Version": "b", "System1_Version": ""}, )"
    R"({"BlockID": 0, "System0_Version": "c"}, {"BlockID": 8, "System0_Version": "d", "System1_Version": ""}, )"
    R"({"BlockID": 255, "System0_Version": "e"}, {"BlockID": 255, "System0_Version": "f"}, {"BlockID": 3, "System0_Version": "g"}])",
    replaced(kGTO, R"("Active_System": 1)", R"("Active_System": 255)"), kAudio);

// Each row runs the real tool as its callers start it (through the cross build's emulator where there is one) on the
// document and version file given, and lists its exit status, error messages in order and the document after.
TEST_F(UpdaterTest, EveryToolRunEndsWithItsStatusMessagesAndDocument) {
    // clang-format off
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> errors;
        std::string after = kValid, document = kValid, version = R"({"Version": "0202"})";
    } cases[] = {
        {{"4", "1", kV}, 0, {}, kBlock4}, {{" 4", "257", kV}, 0, {}, kBlock4},  // blanks skipped; 257: slot 1
        {{"3", "1", kV}, 1, {kSystem + "1", kFailed}},  // a block held once has no slot 1 to save
        {{"abc", "xyz", kV, "SET_B"}, 0, {}, audio("SET_B")}, {{"0", "0", kV, ""}, 0, {}, audio("")},
        {{}, 1, {kUsage, kFailed}}, {{"4", "1", kV, "SET", "extra"}, 1, {kUsage, kFailed}},
        {{"4", "-1", kV}, 1, {kSystem + "255", kFailed}}, {{"4", "2", kV}, 1, {kSystem + "2", kFailed}},
        {{"2", "0", kV}, 1, {kBlock + "2" + kUnknown, kFailed}},
        {{"-1", "0", kV}, 1, {kBlock + "-1" + kUnknown, kFailed}},
        {{"259", "0", kV}, 1, {kBlock + "259" + kUnknown, kFailed}}, {{"4abc", "+1", kV}, 0, {}, kBlock4},
        {{"abc", "0", kV}, 1, {"main(#): Invalid BlockID 'abc" + kBadNumber}},
        {{"4", "x", kV}, 1, {"main(#): Invalid SystemID 'x" + kBadNumber}},
        {{"99999999999", "0", kV}, 1, {"main(#): Invalid BlockID '99999999999" + kBadNumber}},
        // What stands where the document belongs.
        {k30, 0, {kRead}, kDefaults3, "(none)"}, {k30, 0, {kRead}, kDefaults3, kTenMegabytes},
        {k30, 1, {kUnreadable + kPath + ") failed(Is a directory)"}, "", "(dir)"},
        {k30, 1, {kUnreadable + kPath + ") failed(Invalid argument)"}, "(fifo)", "(fifo)"},
        {k30, 1, {kRead, kOpen + kPath + ") failed(No such file or directory)...!", kNotSaved}, "", "(no dir)"},
        {k30, 0, {}, kValid, kValid, version("0200")}, {k30, 0, {}, kOddStringsSaved, kOddStrings}, {k30, 0, {}, kOddBytesSaved, kOddBytes},
        {k30, 0, {}, kOddNumbersSaved, kOddNumbers}, {k30, 0, {kRead}, kDefaults3, "{\xC3\x28\xFF\xFE: 1}"},
        {k30, 0, {kRead}, kDefaults3, R"({"NAD_Version_Info": )" + std::string(1000000, '[')},
        // What the version file holds.
        {k30, 1, kNoVersion, kValid, kValid, "(none)"}, {k30, 1, kNoVersion, kValid, kValid, "(dir)"},
        {k30, 1, kNoVersion, kValid, kValid, R"({"Version": 1e99999})"},
        {k30, 1, kNoVersion, kValid, kValid, std::string("\0{\"Version\": \"1\"}", 17)},
        {k30, 1, {kEmpty, kFailed}, kValid, kValid, version("")}, {k30, 1, kNoVersion, kValid, kValid, "(fifo)"},
        {k30, 1, {kNoString, kEmpty, kFailed}, kValid, kValid, "{\"Version\": 12}"},
        {k30, 0, {}, saved("\xC3\x28\xFF\xFE\xED\xA0\x80"), kValid, version("\xC3\x28\xFF\xFE\xED\xA0\x80")},
        {k30, 0, {}, saved("1\\u0000\\u001f\\n2"), kValid, version(std::string("1\0\x1F\n2", 5))},
        {k30, 0, {}, saved(kTenMegabytes), kValid, version(kTenMegabytes)},
        {{"0", "0", kV, "SET_B"}, 1, {kInvalid, kAudioEmpty, kFailed}, kValid, kValid, "(none)"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " on " + c.document.substr(0, 60));
        SetUp();
        put(documentPath, c.document);
        put(kV, c.version);
        std::string command = "exec " MORVANE_TEST_EMULATOR " " MORVANE_TEST_TOOL;
        for (const auto& arg : c.args) {
            command += " '" + arg + "'";
        }
        struct stat before, file;
        stat(documentPath.c_str(), &before);
        const int status = std::system((command + " </dev/null >/dev/null 2>" + kRoot + "/log").c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
#ifdef MORVANE_TEST_TOOL_LOG
        // The log's error messages, without the log library's columns; a message keeps its line breaks.
        const std::string log =
            std::regex_replace(readFile(kRoot + "/log"), std::regex(R"(VERSION_UPDATER [VDIW] .*\n)"), "");
        std::string expected;
        for (const auto& text : c.errors) {
            expected += text + "\n";
        }
        EXPECT_EQ(untagged(std::regex_replace(log, std::regex(R"(VERSION_UPDATER E \S+ \S+ +\d+ +\d+ )"), "")),
                  expected);
#endif
        const bool locked = access((kRoot + "/data/tiv/swdl/.VersionInfo.json.lock").c_str(), F_OK) == 0;
        EXPECT_LE(TempDir::entries(kRoot + "/data/tiv/swdl").size(), locked ? 2u : 1u) << "a temporary file is left";
        EXPECT_TRUE(c.status != 0 || c.after != c.document ||
                    (stat(documentPath.c_str(), &file) == 0 && file.st_ino == before.st_ino))
            << "a document that did not change was written again";
        EXPECT_TRUE(c.after == "(fifo)" ? stat(documentPath.c_str(), &file) == 0 && S_ISFIFO(file.st_mode)
                                        : readFile(documentPath) == c.after)
            << "the document differs from the one expected";
        if (c.status == 0) {
            load(readFile(documentPath));
            EXPECT_TRUE(logger.entries().empty()) << "a saved document loads cleanly";
        }
    }
}

}  // namespace
