#include "utils/process_utils.h"

#include <chrono>

#include "helpers.h"

useconds_t childPollPauseMicros = 0;

namespace {

using Runner = UtilsTest;
using Commands = UtilsTest;
const std::string kCaptured = "I monitorChildAndCaptureOutput(#): ", kMonitor = "E monitorChildAndCaptureOutput(#): ";
const std::string kPipeFailure = "E Command_Executer(#): ::pipe failed due to: Too many open files";

// Runs program with argv {program, "-c", script}: no terminating null pointer, which the runner must not need.
int run(quarn_logger* logger, const std::string& script, const std::string& program = "/bin/sh") {
    int pfd[2] = {-1, -1};
    EXPECT_EQ(pipe(pfd), 0);
    std::vector<const char*> argv = {program.c_str(), "-c", script.c_str()};
    const int code = forkAndExec(logger, pfd, program, argv);
    EXPECT_EQ(argv.size(), 3u) << "the caller's vector changed";
    return code;
}

// Bash text by which a child drops its output and every descriptor it inherited, the pipe's write end among them
// (bash, unlike dash, can close one above 9), then stays, silent, until the test creates path.
std::string closeOutputAndWaitFor(const std::string& path) {
    return "exec >&- 2>&-; for fd in $(seq 3 63); do eval \"exec $fd>&-\"; done; until [ -e " + path +
           " ]; do sleep 0.01; done";
}

TEST_F(Runner, GivesTheExitCodeOrMinusOneForASignalAndLeavesNoPipeEndOpen) {
    const std::pair<const char*, int> cases[] = {
        {"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}, {"kill -KILL $$", -1}, {"kill -TERM $$", -1}};
    // Once the output has ended, the child's end is collected without waiting out the pause.
    childPollPauseMicros = 60000000;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [script, code] : cases) {
        const int before = lowestFreeDescriptor();
        EXPECT_EQ(run(&logger, script), code) << script;
        EXPECT_EQ(lowestFreeDescriptor(), before) << script;
    }
    childPollPauseMicros = 0;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(logger.logs(), Logs{});
}

TEST_F(Runner, ProgramThatCannotBeStartedEndsTheChildWithOneAndItsReason) {
    EXPECT_EQ(run(&logger, "", dir / "missing"), 1);
    EXPECT_EQ(run(&logger, "", "/dev/null"), 1);
    EXPECT_EQ(logger.logs(), (Logs{"E forkAndExec(#): child process execve failed :No such file or directory\n",
                                   "E forkAndExec(#): child process execve failed :Permission denied\n"}));
}

TEST_F(Runner, EachOutputLineOfEitherStreamIsOneInfoMessageOfAtMost255Characters) {
    const std::string a(255, 'a'), b(255, 'b'), c(90, 'c');
    // The child closes its output, so that its unfinished last line is read, and ends once that line is logged. The
    // logger holds the parent until then, so that it cannot spend its poll budget meanwhile.
    logger.onMessage = [&](const std::string& text) {
        if (text.find(": tail") != std::string::npos) {
            writeFile(dir / "stop", "");
            siginfo_t ended{};
            waitid(P_ALL, 0, &ended, WEXITED | WNOWAIT);
        }
    };
    const std::string script = "echo first; echo second >&2; echo " + a + b + c + "; printf tail; ";
    EXPECT_EQ(run(&logger, script + closeOutputAndWaitFor(dir / "stop"), "/bin/bash"), 0);
    EXPECT_EQ(logger.logs(), (Logs{kCaptured + "first\n", kCaptured + "second\n", kCaptured + a, kCaptured + b,
                                   kCaptured + c + "\n", kCaptured + "tail"}));
}

// This build pauses 0 microseconds between polls, so the budget of 10001 polls is spent in moments.
TEST_F(Runner, ChildThatClosedItsOutputButRunsOnIsAbandonedNeitherKilledNorReaped) {
    EXPECT_EQ(run(&logger, closeOutputAndWaitFor(dir / "stop"), "/bin/bash"), -1);
    EXPECT_EQ(logger.logs(), Logs{kMonitor + "timeout happened while waiting for the child process to complete\n"});
    writeFile(dir / "stop", "");
    EXPECT_EQ(waitForExit(-1), 0);
}

TEST_F(Runner, PollBudgetAllowsExactly10000ReadsOfARunningChild) {
    // Far more than the pipe holds: the child is still running at every poll and has a line ready for every read.
    EXPECT_EQ(run(&logger, "i=0; while [ $i -lt 30000 ]; do echo line $i; i=$((i+1)); done"), -1);
    waitForExit(-1);
    const Logs logged = logger.logs();
    ASSERT_EQ(logged.size(), 10001u);
    EXPECT_EQ(logged[9999], kCaptured + "line 9999\n");
    EXPECT_EQ(logged[10000], kMonitor + "timeout happened while waiting for the child process to complete\n");
}

TEST_F(Runner, FailedForkIsReportedAndClosesBothPipeEnds) {
    // Without root, a process limit of 0 makes every fork fail.
    const int code = runUnprivileged([&] {
        const rlimit none{0, 0};
        const int before = lowestFreeDescriptor();
        const bool failed = setrlimit(RLIMIT_NPROC, &none) == 0 && run(&logger, "exit 0") == -1;
        return failed && lowestFreeDescriptor() == before ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(logger.logs(), Logs{"E forkAndExec(#): Fork failed: Resource temporarily unavailable\n"});
}

TEST_F(Commands, FixedCommandsRunTheirProgramAndReportAFailedStartOrAnInvalidSlot) {
    const auto sync = [](quarn_logger* l) { return runSync(l), 1; };  // its outcome shows in the log only
    // The stand-ins for bootctl and sync come first on PATH (this build also runs the stand-in in place of
    // /usr/sbin/bootctl); they note their calls and end with the given exit code or signal. With no end the program
    // cannot be started at all.
    const std::string path = std::getenv("PATH");
    setenv("PATH", (MORVANE_TEST_STAND_IN_DIR ":" + path).c_str(), 1);
    setenv("STAND_IN_RECORD", (dir / "calls").c_str(), 1);
    const std::tuple<std::function<int(quarn_logger*)>, const char*, int, Logs, const char*> cases[] = {
        {sync, "9", 1, {"V runSync(#): Sync Successful"}, "sync \n"},
        {sync, "", 1, {kPipeFailure, "E runSync(#): Sync Failed"}, ""},
        {runBootCtl_X, "9", 1, {"V runBootCtl_X(#): bootctl -x successful"}, "bootctl -x\n"},
        {runBootCtl_X, "", 0, {kPipeFailure, "E runBootCtl_X(#): bootctl -x failed."}, ""},
        {getCurrentSystem, "0", 0, {}, "bootctl -i\n"},
        {getCurrentSystem, "1", 1, {}, "bootctl -i\n"},
        {getCurrentSystem, "2", -1, {"E getCurrentSystem(#): Invalid System ID = 2 received"}, "bootctl -i\n"},
        {getCurrentSystem, "signal", -1, {"E getCurrentSystem(#): Invalid System ID = -1 received"}, "bootctl -i\n"},
        {getCurrentSystem, "", -1, {kPipeFailure, "E getCurrentSystem(#): Invalid System ID = -1 received"}, ""}};
    std::string expectedCalls;
    for (const auto& [command, end, result, logged, called] : cases) {
        logger.clear();
        setenv("STAND_IN_EXIT", end, 1);
        const auto giveBack = starveDescriptors(*end == '\0');
        const int got = command(&logger);
        giveBack();
        EXPECT_EQ(got, result) << called << end;
        EXPECT_EQ(logger.logs(), logged) << called << end;
        expectedCalls += called;
    }
    EXPECT_EQ(readFile(dir / "calls"), expectedCalls);
    setenv("PATH", path.c_str(), 1);
    unsetenv("STAND_IN_RECORD");
    unsetenv("STAND_IN_EXIT");
}

TEST_F(Commands, ExtractionsUnpackWhatTheyAreAskedForAndTryThreeTimesToStart) {
    shell("mkdir -p src/sub; printf alpha >src/a.txt; printf beta >src/sub/b.txt; tar -czf a.tgz -C src a.txt sub");
    const std::string retry = "/bin/tar Command Execution Failed: ", once = retry + "1 retry\n";
    const std::string printed[] = {"", once, "", once + retry + "2 retry\n" + retry + "3 retry\n"};
    // The archive tool ending with an error (a missing archive or member) still counts as carried out.
    const std::tuple<std::string, std::string, int, std::string> cases[] = {
        {"a.tgz", "", 0, "alpha|beta"}, {"a.tgz", "sub/b.txt", 0, "|beta"}, {"a.tgz", "no_such_member", 0, "|"},
        {"missing.tgz", "", 0, "|"},    {"a.tgz", "", 1, "alpha|beta"},     {"a.tgz", "a.txt", 1, "alpha|"},
        {"a.tgz", "", 3, "|"},          {"a.tgz", "a.txt", 3, "|"}};
    for (const auto& [archive, member, failedStarts, contents] : cases) {
        shell("rm -rf out; mkdir out");
        testing::internal::CaptureStdout();
        const auto giveBack = starveDescriptors(failedStarts > 0);
        // Reporting the last failed start of the row gives the next attempt room for its pipe.
        int failed = 0;
        logger.onMessage = [&, starts = failedStarts](const std::string&) {
            if (++failed == starts) {
                giveBack();
            }
        };
        const bool result = member.empty() ? extractArchive(&logger, dir / archive, dir / "out")
                                           : extractArchiveEntry(&logger, dir / archive, member, dir / "out");
        giveBack();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), printed[failedStarts]) << member;
        EXPECT_EQ(result, failedStarts < 3) << member;
        EXPECT_EQ(readFile(dir / "out/a.txt") + "|" + readFile(dir / "out/sub/b.txt"), contents) << member;
    }
}

}  // namespace
