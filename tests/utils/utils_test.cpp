#include <dirent.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <chrono>
#include <functional>
#include <numeric>
#include <regex>
#include <stdexcept>

#include "support/recording_logger.h"
#include "support/temp_dir.h"
#include "utils/file_utils.h"
#include "utils/process_utils.h"
#include "utils/system_calls.h"

namespace {

namespace fs = std::filesystem;
using Logs = std::vector<std::string>;
using namespace std::string_literals;

const std::regex kMessage("([^\\x00]*)\\x00");       // as the log file holds them
const std::regex kLineTag("^(\\w+)\\([0-9]+\\): ");  // a source line, which any edit above it moves
const std::string kCaptured = "I monitorChildAndCaptureOutput(#): ";
const std::string kTimeout =
    "E monitorChildAndCaptureOutput(#): timeout happened while waiting for the child process to complete\n";

// The utilities' calls as these tests put them in place: no pause between the runner's polls, the stand-in for the
// boot-control program, sleeps recorded and not slept, a read of one descriptor that fails once after some have gone
// through, and listings that leave entry types unreported (as some file systems do) or fail once (as an I/O error
// would).
struct TestCalls : UtilsCalls {
    TestCalls() : UtilsCalls(UtilsCalls::system()) {
        childPollPauseMicros = 0;
        bootctlProgram = MORVANE_TEST_STAND_IN_DIR "/bootctl";
        nanosleep = [this](const timespec* request, timespec*) {
            sleeps.emplace_back(request->tv_sec, request->tv_nsec);
            return 0;
        };
        read = [this](int fd, void* buffer, size_t size) -> ssize_t {
            if (fd == breakingRead.first && breakingRead.second-- == 0) {
                errno = EIO;
                return -1;
            }
            return ::read(fd, buffer, size);
        };
        readdir = [this](DIR* directory) -> dirent* {
            if (listingFails) {
                listingFails = false;
                errno = EIO;
                return nullptr;
            }
            dirent* entry = ::readdir(directory);
            if (entry != nullptr && typesHidden) {
                entry->d_type = DT_UNKNOWN;
            }
            return entry;
        };
    }

    std::vector<std::pair<long, long>> sleeps;
    std::pair<int, int> breakingRead{-1, 0};  // the descriptor, and how many reads of it go through before one fails
    bool typesHidden = false, listingFails = false;
    UtilsCallsInPlace inPlace{*this};
};

// A scratch directory for each test, and the logger: each message goes as "<level letter> <text>" to a file of its
// own in one write, so that what a forked child logs reaches the test too. The scratch directory reads "~" there, a
// line tag "#".
struct Utils : ::testing::Test, RecordingLogger {
    void record(const Entry& entry) override {
        const std::string text = std::regex_replace(entry.text, std::regex(dir.path()), "~");
        log_ << entry.level + (" " + std::regex_replace(text, kLineTag, "$1(#): ")) + '\0' << std::flush;
    }
    // Everything logged so far, by any process.
    Logs logs() const {
        const std::string all = readFile(logDir / "log");
        return {std::sregex_token_iterator(all.begin(), all.end(), kMessage, 1), {}};
    }
    void expectLogs(const Logs& expected) { EXPECT_EQ(logs(), expected); }

    // Sets up files for a test with shell commands run in its directory.
    void shell(const std::string& s) { ASSERT_EQ(std::system(("set -e; cd " + dir.path() + "; " + s).c_str()), 0); }
    // Runs program with argv {program, "-c", script}: no terminating null pointer, which the runner must not need.
    // The pipe's ends do not outlive an exec, so a child that closes its output ends the stream.
    int run(const std::string& script, const std::string& program = "/bin/sh") {
        const int before = lowestFree();
        int pfd[2];
        std::vector<const char*> argv = {program.c_str(), "-c", script.c_str()};
        const int code = pipe2(pfd, O_CLOEXEC) == 0 ? forkAndExec(this, pfd, program, argv) : -2;
        EXPECT_EQ(lowestFree(), before) << "a pipe end is left open";
        return code;
    }
    static int lowestFree() {
        const int fd = dup(0);
        close(fd);
        return fd;
    }
    // What f gives with that many descriptors to spare (with none, pipe() fails with EMFILE).
    static int withSpare(int spare, const std::function<int()>& f) {
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        const rlimit few{static_cast<rlim_t>(lowestFree() + spare), saved.rlim_max};
        setrlimit(RLIMIT_NOFILE, &few);
        const int result = f();
        setrlimit(RLIMIT_NOFILE, &saved);
        return result;
    }
    // The exit code of the child pid (-1: any child), or -1 when it did not end on its own.
    static int waitExit(pid_t pid) {
        int status = -1;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The exit code of f run in a child of its own.
    static int inChild(const std::function<int()>& f) {
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(f());
        }
        return waitExit(pid);
    }
    // Root overrides permissions, so it becomes nobody; false if that failed.
    static bool asNobody() { return geteuid() || !(setgroups(0, nullptr) || setgid(65534) || setuid(65534)); }

    TempDir dir, logDir;
    std::ofstream log_{logDir / "log", std::ios::app};  // opened before a child drops its rights
    TestCalls calls;
};

TEST_F(Utils, RunnerGivesTheExitCodeOrMinusOneForASignalAFailedForkOrOneForAFailedExecOnAPipeOnlyTheChildHolds) {
    calls.childPollPauseMicros =
        60000000;  // once the output has ended, the child's end is collected without this pause
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ((std::vector<int>{0, 255, -1, 1}),
              (std::vector<int>{run("exit 0"), run("exit 255"), run("kill -TERM $$"), run("", dir / "missing")}));
    calls.childPollPauseMicros = 0;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    // Without root, a process limit of 0 makes every fork fail; run() checks the pipe's ends.
    const rlimit none{0, 0};
    EXPECT_EQ(inChild([&] { return asNobody() && !setrlimit(RLIMIT_NPROC, &none) && run("") == -1 && !HasFailure(); }),
              1);
    // The pipe reaches the child only as its output, even on descriptors 0 and 1: the child lists its other
    // descriptors on it, which a program another thread starts would inherit as well.
    std::vector<const char*> argv = {
        "/bin/sh", "-c", "cd /proc/$$/fd; for f in *; do [ $f -le 2 ] || [ ! $f -ef 1 ] || echo $f; done; echo out"};
    EXPECT_EQ(Command_Executer(this, argv[0], argv), 0);
    EXPECT_EQ(inChild([&] { return close(0) || close(1) ? 1 : Command_Executer(this, argv[0], argv); }), 0);
    expectLogs({"E forkAndExec(#): child process execve failed :No such file or directory\n",
                "E forkAndExec(#): Fork failed: Resource temporarily unavailable\n", kCaptured + "out\n",
                kCaptured + "out\n"});
}

TEST_F(Utils, RunnerCopiesEachLineOfBothStreamsAndAbandonsAChildThatClosedItsOutputButRunsOn) {
    // This build pauses 0 microseconds between polls, so the budget of 10001 polls is spent in moments.
    const std::string a(255, 'a'), b(255, 'b'), c(90, 'c'), stop = dir / "stop";
    const std::string script = "echo first; echo second >&2; echo " + a + b + c + "; printf '\\000z\\nend\\ntail'; ";
    EXPECT_EQ(run(script + "exec >&- 2>&-; until [ -e " + stop + " ]; do sleep 0.01; done"), -1);
    expectLogs({kCaptured + "first\n", kCaptured + "second\n", kCaptured + a, kCaptured + b, kCaptured + c + "\n",
                kCaptured, kCaptured + "end\n", kCaptured + "tail", kTimeout});  // a line that begins with a zero byte
    EXPECT_EQ(run(script + "exit 4"), 4);
    const Logs logged = logs();  // what is still in the pipe when the child has ended is read as well
    EXPECT_EQ(Logs(logged.begin(), logged.begin() + 8), Logs(logged.begin() + 9, logged.end()));
    writeFile(stop, "");
    EXPECT_EQ(waitExit(-1), 0) << "neither killed nor reaped";
}

// The child's end is the runner's end, whatever descendant keeps the output open (here one that lives as long as the
// test's directory).
TEST_F(Utils, RunnerReturnsAtTheChildsEndWhileADescendantKeepsItsOutputOpen) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("(while [ -d " + dir.path() + " ]; do sleep 0.1; done) & sleep 0.3; printf 'late\\nend'; exit 4"), 4);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    expectLogs({kCaptured + "late\n", kCaptured + "end"});
}

TEST_F(Utils, FixedCommandsRunTheirProgramAndReportAFailedStartOrAnInvalidSlot) {
    // Stand-ins for bootctl and sync come first on PATH (and these tests run one in place of /usr/sbin/bootctl); they
    // log their call with level S and exit with STAND_IN_EXIT. Without a code, no descriptor is left for the pipe.
    setenv("PATH", (MORVANE_TEST_STAND_IN_DIR ":" + std::string(std::getenv("PATH"))).c_str(), 1);
    setenv("STAND_IN_LOG", (logDir / "log").c_str(), 1);
    const auto sync = [](quarn_logger* logger) { return runSync(logger), 1; };  // its outcome shows in the log only
    const std::string failed = "E Command_Executer(#): ::pipe failed due to: Too many open files";
    const std::string x = "E runBootCtl_X(#): bootctl -x failed.", id = "E getCurrentSystem(#): Invalid System ID = ";
    // clang-format off
    const std::tuple<std::function<int(quarn_logger*)>, const char*, int, Logs> cases[] = {
        {sync, "9", 1, {"S sync ", "V runSync(#): Sync Successful"}}, {getCurrentSystem, "1", 1, {"S bootctl -i"}},
        {sync, "", 1, {failed, "E runSync(#): Sync Failed"}}, {runBootCtl_X, "", 0, {failed, x}},
        {runBootCtl_X, "9", 1, {"S bootctl -x", "V runBootCtl_X(#): bootctl -x successful"}},
        {runBootCtl_X, "126", 0, {"S bootctl -x", x}}, {runBootCtl_X, "127", 0, {"S bootctl -x", x}},
        {getCurrentSystem, "2", -1, {"S bootctl -i", id + "2 received"}},
        {getCurrentSystem, "", -1, {failed, id + "-1 received"}}};
    // clang-format on
    for (const auto& [command, end, result, logged] : cases) {
        writeFile(logDir / "log", "");
        setenv("STAND_IN_EXIT", end, 1);
        const int got = *end ? command(this) : withSpare(0, [&] { return command(this); });
        EXPECT_EQ(std::make_pair(result, logged), std::make_pair(got, logs())) << end;
    }
}

TEST_F(Utils, ExtractionsSucceedOnlyWhenTarDoesAndRetryOnlyARunThatDidNotEndNeverBesideOneStillRunning) {
    shell(
        "mkdir -p src/sub out; printf alpha >src/a.txt; printf beta >src/sub/b.txt; "
        "tar -czf a.tgz -C src a.txt sub; head -c 30 a.tgz >cut.tgz");
    const std::string out = dir / "out", archive = dir / "a.tgz", retry = "/bin/tar Command Execution Failed: ";
    EXPECT_TRUE(extractArchiveEntry(this, archive, "sub/b.txt", out));
    EXPECT_EQ(readFile(dir / "out/a.txt") + "|" + readFile(dir / "out/sub/b.txt"), "|beta");
    // tar's failures (a missing member, a missing or truncated archive), each with every line tar wrote logged; and
    // names tar would read as an option or as its standard input, which are not passed to it.
    const std::string option = "--to-command=touch " + dir / "ran";
    const std::pair<std::string, std::string> failing[] = {{dir / "a.tgz", "missing"},
                                                           {dir / "missing.tgz", ""},
                                                           {dir / "cut.tgz", ""},
                                                           {dir / "a.tgz", option},
                                                           {"-", ""},
                                                           {option, "a.txt"}};
    for (const auto& [archive, member] : failing) {
        const std::string refused = archive[0] == '-'  ? "Archive '" + archive
                                    : member[0] == '-' ? "Archive member '" + member
                                                       : "";
        // "said": what tar itself writes, as the log would show it
        shell(!refused.empty() ? ": >said"
                               : "/bin/tar -xvzf " + archive + " -C $PWD/out " + member +
                                     " 2>&1 | sed 's/^/I monitorChildAndCaptureOutput(#): /' >said");
        writeFile(logDir / "log", "");
        const bool extracted =
            member.empty() ? extractArchive(this, archive, out) : extractArchiveEntry(this, archive, member, out);
        const Logs logged = logs();
        const std::string why = refused.empty() ? "E extractWithRetries(#): /bin/tar failed with exit status 2"
                                : member.empty()
                                    ? "E extractArchive(#): " + refused + "' begins with '-'; not extracted"
                                    : "E extractArchiveEntry(#): " + refused + "' begins with '-'; not extracted";
        EXPECT_EQ(std::accumulate(logged.begin(), logged.end(), std::to_string(extracted)),
                  "0" + std::regex_replace(readFile(dir / "said") + why, std::regex(dir.path()), "~"));
    }
    EXPECT_FALSE(fs::exists(dir / "ran"));
    // A tar the runner's wait left running keeps other extractions out of its directory until it has ended. It writes
    // 14000 lines, which tar's and gzip's buffering let through, and waits for the rest from a FIFO kept open.
    shell(
        "touch f; head -c 600000 /dev/urandom >r; (yes f | head -14000; echo r) | tar -czf many.tgz -T -; mkfifo "
        "slow.tgz; (cat many.tgz; for i in $(seq 9999); do [ -e r ] && [ ! -e stop ] && sleep 0.01 || break; done) "
        ">slow.tgz &");
    writeFile(logDir / "log", "");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(extractArchive(this, dir / "slow.tgz", out) || extractArchiveEntry(this, archive, "a.txt", out));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), retry + "1 retry\n");
    // The poll budget: exactly 10000 reads of a child still running, then the time-out.
    const std::string refused =
        "E extractWithRetries(#): An earlier /bin/tar may still be extracting into '~/out'; not started again";
    const Logs logged = logs();
    ASSERT_EQ(logged.size(), 10003u);
    EXPECT_EQ(Logs(logged.end() - 4, logged.end()), (Logs{kCaptured + "f\n", kTimeout, refused, refused}));
    writeFile(dir / "stop", "");  // the rest of the archive never comes
    siginfo_t ended;
    EXPECT_EQ(waitid(P_ALL, 0, &ended, WEXITED | WNOWAIT), 0);  // left for the extraction to collect
    EXPECT_TRUE(extractArchive(this, archive, out) && readFile(dir / "out/a.txt") == "alpha");
    // Runs that could not start are tried three times.
    testing::internal::CaptureStdout();
    const int started = withSpare(0, [&] { return extractArchive(this, archive, out); });
    EXPECT_EQ(testing::internal::GetCapturedStdout() + std::to_string(started),
              retry + "1 retry\n" + retry + "2 retry\n" + retry + "3 retry\n0");
}

TEST_F(Utils, ReadersPrintTheRestOfAStreamOrWhyNotAndCountLinesFromOneGivingEmptyPastTheEnd) {
    writeFile(dir / "lines", "first\nsecond\n\nfourth");
    for (const std::string& path : {dir / "lines", dir / "missing", dir.path()}) {  // a directory cannot be read
        printFileContentByPath(this, path);
    }
    std::istringstream partlyRead("skipped|kept");
    printFileContent(this, partlyRead.seekg(8));
    const std::string p = "E printFileContent(#): ";
    expectLogs({p + "File Content:\n first\nsecond\n\nfourth", p + "Received a Bad Stream",
                p + "Reading the stream failed(Is a directory)", p + "File Content:\n kept"});
    const std::pair<unsigned int, const char*> cases[] = {{0, "first"}, {1, "first"},  {2, "second"},
                                                          {3, ""},      {4, "fourth"}, {5, ""}};
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(readLineFromFile(dir / "lines", line), expected) << line;
    }
    EXPECT_EQ(readLineFromFile(dir / "missing", 1), "") << "a stream that has failed is not rewound";
    std::fstream file(dir / "lines", std::ios::in | std::ios::out);
    EXPECT_TRUE(readLine(file, 2, false) == "second" && readLine(file, 1, true) == "first" && !file.is_open());
}

TEST_F(Utils, GetFileSizeGivesMinusOneForAMissingFileAndSizesThatDoNotFit) {
    // Sparse files; the last would wrap to a plausible 5 in a 32-bit result. There is no file "-1".
    shell("for size in 5 2147483647 2147483648 4294967301; do truncate -s $size $size; done");
    for (const long long size : {-1LL, 5LL, 2147483647LL, 2147483648LL, 4294967301LL}) {
        EXPECT_EQ(getFileSize(dir / std::to_string(size), this), size < 2147483648LL ? size : -1);
    }
    const std::string refused = " does not fit the result. Returning invalid file size(-1)";
    expectLogs({"E getFileSize(#): Unable to Open '~/-1' file. Returning invalid file size(-1)",
                "E getFileSize(#): '~/2147483648' file size(2147483648)" + refused,
                "E getFileSize(#): '~/4294967301' file size(4294967301)" + refused});
}

TEST_F(Utils, CreateAndCopyReplaceTheDestinationAndFailWithoutTouchingIt) {
    shell("echo content >old; echo content >copy");
    EXPECT_TRUE(createFile(dir / "old") && !createFile(dir / "missing/new"));
    EXPECT_TRUE(copyFile(dir / "old", dir / "copy") && readFile(dir / "copy").empty()) << "both are emptied";
    const std::string binary = "\0\r\n\xff"s + std::string(9000, 's');  // several reads long
    writeFile(dir / "source", binary);
    EXPECT_TRUE(copyFile(dir / "source", dir / "copy") && readFile(dir / "copy") == binary);
    shell("ln source hard; ln -s source soft; mkfifo fifo");
    EXPECT_FALSE(copyFile(dir / "missing", dir / "copy") || copyFile(dir.path(), dir / "copy"));
    EXPECT_FALSE(copyFile(dir / "fifo", dir / "copy") || copyFile(dir / "source", dir / "fifo")) << "waits for nobody";
    for (const char* same : {"source", "./source", "hard", "soft"}) {
        EXPECT_FALSE(copyFile(dir / "source", dir / same)) << same;
    }
    EXPECT_EQ(readFile(dir / "copy") + readFile(dir / "source"), binary + binary);
    calls.breakingRead = {lowestFree(), 1};
    EXPECT_FALSE(copyFile(dir / "source", dir / "copy")) << "a read failed in the middle of the source";
    EXPECT_FALSE(copyFile(dir / "source", dir / "missing/copy") || copyFile(dir / "source", "/dev/full"));
}

TEST_F(Utils, GetFileCrcIsTheCrc32OfTheWholeFileOrZeroWithoutOne) {
    shell("head -c 12305 /dev/urandom >image; touch empty; printf 123456789 >check; mkfifo fifo");
    EXPECT_EQ(getFileCrc(dir / "check", this), 0xcbf43926u);  // the check value of CRC-32
    EXPECT_EQ(getFileCrc(dir / "missing", this) + getFileCrc(dir / "fifo", this) + getFileCrc("/dev/null", this), 0u);
    calls.breakingRead = {lowestFree(), 1};
    EXPECT_EQ(getFileCrc(dir / "image", this) + getFileCrc(dir.path(), this), 0u) << "a read fails";
    const std::string size = "D getFileCrc(#): Opened device for hash calculation has size: ",
                      failed = "E getFileCrc(#): Reading the image for checksum calculation failed(";
    expectLogs({size + "9", "D getFileCrc(#): Calculated Checksum: cbf43926",
                "E getFileCrc(#): image for checksum calculation could not be opened",
                "E getFileCrc(#): image for checksum calculation could not be opened", size + "0",
                "D getFileCrc(#): Calculated Checksum: 0", size + "12305", failed + "Input/output error)", size + "-1",
                failed + "Is a directory)"});
    const std::string image = readFile(dir / "image");  // several reads and a short one
    EXPECT_EQ(getFileCrc(dir / "image", this), crc32(0, reinterpret_cast<const Bytef*>(image.data()), image.size()));
    EXPECT_EQ(getFileCrc(dir / "empty", this), 0u);
}

TEST_F(Utils, DirectoryHelpersCreateListCountAndReportWhatFails) {
    shell("mkdir sub; touch b a ab B .hidden \303\251t\303\251 '~tilde' sub/f; ln -s no dangling; mkfifo fifo");
    EXPECT_TRUE(createDirectory(dir / "new", this) && createDirectory(dir / "new", this));
    EXPECT_FALSE(createDirectory(dir / "a", this) || createDirectory(dir / "dangling", this));
    EXPECT_TRUE(createSymlink(dir / "a", dir / "link", this) && createSymlink(dir / "new", dir / "dangling", this) &&
                createSymlink("../a", dir / "sub/up", this) && fs::read_symlink(dir / "sub/up") == "../a");
    const fs::path cwd = fs::current_path();  // a relative target is looked for beside the link, not here
    EXPECT_TRUE(changeDirectory(this, dir.path()) && !createSymlink("b", dir / "sub/b", this));
    fs::current_path(cwd);
    EXPECT_FALSE(createDirectory(dir / "a/new", this) || createSymlink(dir / "missing", dir / "link2", this) ||
                 createSymlink(dir / "a", dir / "a/link", this) || changeDirectory(this, dir / "a"));
    EXPECT_EQ(fs::read_symlink(dir / "link"), dir / "a");
    EXPECT_EQ(listFilesinDirectory(dir.path(), this), (Logs{".hidden", "B", "a", "ab", "b", "dangling", "fifo", "link",
                                                            "new", "sub", "~tilde", "\303\251t\303\251"}));
    for (const bool hidden : {true, false}) {  // as some file systems leave entry types unreported
        calls.typesHidden = hidden;
        EXPECT_EQ(NumberofFilesinDirectory(this, dir.path(), false), 7);
        EXPECT_EQ(NumberofFilesinDirectory(this, dir.path(), true), 9);
    }
    for (const std::string& path : {std::string(), dir / "missing", dir / "a"}) {
        EXPECT_EQ(NumberofFilesinDirectory(this, path, true), 0) << path;
    }
    EXPECT_TRUE(listFilesinDirectory(dir / "missing", this).empty() && fileExists(dir / "link") &&
                directoryExists(dir / "sub"));
    EXPECT_FALSE(fileExists(dir / "dangling") || directoryExists(dir / "link") || directoryExists(dir / "missing"));
    const std::string made = "E createDirectory(#): ", link = "E createSymlink(#): ",
                      n = "E NumberofFilesinDirectory(#): ";
    // clang-format off
    expectLogs({made + "\"~/a\" directory already exist\n", made + "\"~/dangling\" directory already exist\n",
        "I createSymlink(#): \"~/dangling\" symlink alread exist\n", link + "The source file \"b\" doesn't exist",
        made + "createDirectory: Directory creation(~/a/new) failed due to :Not a directory\n",
        link + "The source file \"~/missing\" doesn't exist",
        link + "Symlink creation(~/a/link) failed due to: Not a directory\n",
        "E changeDirectory(#): 'chdir' to '~/a' directory failed dur to 'Not a directory'",
        n + "Received directory path is empty\n", n + "Directory '~/missing' doesn't exist",
        n + "opendir returned an error: Not a directory\n",
        "E listFilesinDirectory(#): Opendir returned an error(No such file or directory) for (~/missing)"});
    // clang-format on
}

TEST_F(Utils, RemovalsDeleteWhatTheyMayButNothingALinkPointsToAndReportTheRest) {
    shell("touch f; mkdir -p e full/inner out/dir; echo precious >out/file; echo too >out/dir/inner");
    for (const char* name : {"f", "e", "missing"}) {
        EXPECT_TRUE(remove_file(this, (dir / name).c_str()) && !fs::exists(dir / name)) << name;
    }
    EXPECT_FALSE(remove_file(this, (dir / "full").c_str()) || remove_file(this, nullptr));
    for (const bool removeItself : {false, true}) {
        // Links to a file and a directory outside the tree, absolute and relative, and one to nothing.
        shell("mkdir -p t/a/b; touch t/a/b/c; ln -s $PWD/out/file t/a/f; ln -s ../../../out/dir t/a/b/d; ln -s no t/x");
        EXPECT_TRUE(deleteDirectoryContents(this, dir / "t", removeItself));
        EXPECT_TRUE(removeItself ? !fs::exists(dir / "t") : fs::is_empty(dir / "t")) << removeItself;
    }
    // A subdirectory swapped for a link out of the tree just before the walk opens it is not followed.
    shell("mkdir -p t/a; touch t/a/c");
    calls.beforeOpeningDirectory = [this](const std::string& path) {
        path == dir / "t/a" ? shell("mv t/a t/moved; ln -s ../out t/a") : void();
    };
    EXPECT_FALSE(deleteDirectoryContents(this, dir / "t", true));
    calls.beforeOpeningDirectory = nullptr;
    // Paths beyond PATH_MAX are no limit; running out of descriptors leaves what is left and says so.
    shell(
        "mkdir -p deep/1/2/3; n=$(printf %0200d 0); mkdir long; cd long; "
        "for i in $(seq 22); do mkdir $n; cd -P $n; done");
    EXPECT_TRUE(deleteDirectoryContents(this, dir / "long", true) && !fs::exists(dir / "long"));
    EXPECT_FALSE(withSpare(2, [&] { return deleteDirectoryContents(this, dir / "deep", false); }));
    calls.listingFails = true;
    EXPECT_FALSE(deleteDirectoryContents(this, dir / "deep", false));
    EXPECT_EQ(readFile(dir / "out/file") + readFile(dir / "out/dir/inner"), "precious\ntoo\n");
    EXPECT_FALSE(deleteDirectoryContents(this, "", true) || deleteDirectoryContents(this, dir / "out/file", true));
    EXPECT_TRUE(deleteDirectoryContents(this, dir / "missing", true));
    const std::string walker = "E deleteDirectoryContents(#): ", opendir = "F remove_dir: opendir returned an error: ",
                      removing = walker + "Removing '~/", left = walker + "Error(Directory not empty) in deleting ~/";
    // clang-format off
    expectLogs({"V remove_file: \"~/f\" file deletion successful", "V remove_file: \"~/e\" file deletion successful",
                "F remove_file: \"~/full\" file deletion failed: Directory not empty", opendir + "Not a directory\n",
                removing + "t/a' folder failed", left + "t directory", opendir + "Too many open files\n",
                removing + "deep/1/2' folder failed", left + "deep/1 directory", removing + "deep/1' folder failed",
                "F remove_dir: readdir returned an error for ~/deep: Input/output error\n",
                "F remove_dir: Path is empty\n", opendir + "Not a directory\n",
                "W Folder doesn't exist to delete but we can still proceed with next step\n"});
    // clang-format on
}

TEST_F(Utils, DeleteDirectoryContentsGoesOnPastEveryEntryItCannotRemove) {
    shell(
        "mkdir locked noread nosearch special; touch removable locked/file nosearch/file; mkfifo special/fifo; "
        "ln -s ../removable locked/link; chmod 777 .; chmod 555 locked; chmod 333 noread; chmod 444 nosearch");
    EXPECT_EQ(inChild([this] { return asNobody() ? deleteDirectoryContents(this, dir.path(), false) : 125; }), 0);
    EXPECT_TRUE(!fs::exists(dir / "removable") && fs::exists(dir / "locked/file") && fs::exists(dir / "special/fifo"));
    const std::string e = "E deleteDirectoryContents(#): ", denied = "' file failed due to 'Permission denied'",
                      left = "Error(Directory not empty) in deleting ~/", failed = "' folder failed";
    // clang-format off
    EXPECT_THAT(logs(), ::testing::UnorderedElementsAreArray(Logs{
        e + "Removing '~/locked/file" + denied, e + "Unlinking '~/locked/link" + denied, e + left + "locked directory",
        e + "Removing '~/locked" + failed, "F remove_dir: opendir returned an error: Permission denied\n",
        e + "Removing '~/noread" + failed, e + left + "nosearch directory", e + "Removing '~/nosearch" + failed,
        "F remove_dir: lstat() failed for ~/nosearch/file file due to: Permission denied\n",
        "V remove_dir: nothing to delete\n", e + left + "special directory", e + "Removing '~/special" + failed}));
    // clang-format on
}

TEST(Conversions, TextToBytesReadsHexPairsOrDelimitedDecimalFieldsAndThrowsForFieldsWithoutDigits) {
    const std::pair<std::string, std::vector<uint8_t>> hex[] = {
        {"", {}}, {"0aff1", {10, 255, 1}}, {"zz", {0}}, {"FFfe", {255, 254}}, {"1z", {1}}, {"z1", {0}}};
    for (const auto& [text, bytes] : hex) {
        EXPECT_EQ(hexStringToBytes(text), bytes) << text;
    }
    const std::tuple<const char*, char, std::vector<uint8_t>> decimal[] = {
        {"10.0.255", '.', {10, 0, 255}}, {"1..2", '.', {1, 2}}, {"300", '.', {44}}, {".5", '.', {5}},
        {" 7,+8", ',', {7, 8}},          {"9x.1", '.', {9, 1}}, {"-1", '.', {255}}};
    for (const auto& [text, delimiter, bytes] : decimal) {
        EXPECT_EQ(splitToBytes(text, delimiter), bytes) << text;
    }
    for (const char* text : {"1.2.", "", "a.1", "1.b", "."}) {
        EXPECT_THROW(splitToBytes(text, '.'), std::invalid_argument) << text;
    }
    EXPECT_THROW(splitToBytes("1.99999999999", '.'), std::out_of_range);
    EXPECT_EQ(toHexString(0) + "|" + toHexString(0x100), "0|100");
}

TEST(Conversions, ExtractNumberReadsTheFirstDecimalNumberWhateverLocaleTheEnvironmentNames) {
    const std::pair<std::string, unsigned> cases[] = {
        {"Version 12.3", 12}, {"v0042b", 42},   {"abc", 0}, {"4294967295", 4294967295u},
        {"4294967296", 0},    {"ab\0 12"s, 12}, {"-5", 5},  {"7", 7},
        {"12\0 34"s, 12},     {"ab7", 7},       {"", 0}};
    // An environment naming an unknown locale must not turn the lookup into an exception.
    for (const char* locale : {"C", "xx_NOWHERE.UTF-8"}) {
        setenv("LC_ALL", locale, 1);
        EXPECT_EQ(getEnvValue("LC_ALL"), locale);
        for (const auto& [text, number] : cases) {
            EXPECT_EQ(extractNumber(text), number) << text << " in " << locale;
        }
    }
    unsetenv("LC_ALL");
    EXPECT_EQ(getEnvValue("LC_ALL"), "");
}

TEST(Conversions, SleepMillisecondsSplitsIntoSecondsAndNanosecondsAndSkipsNonPositivePauses) {
    TestCalls calls;
    for (const int milliseconds : {1500, 1, 999, 1000, 0, -20}) {
        sleepMilliseconds(milliseconds);
    }
    EXPECT_EQ(calls.sleeps, (decltype(calls.sleeps){{1, 500000000}, {0, 1000000}, {0, 999000000}, {1, 0}}));
}

}  // namespace
