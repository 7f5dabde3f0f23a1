#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "log_checks.h"
#include "scratch.h"
#include "support/recording_logger.h"
#include "utils/process_utils.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

using namespace log_levels;

// Runs a shell script with a pipe of its own, as Command_Executer would.
int runShell(quarn_logger* logger, const std::string& script) {
    int pfd[2] = {-1, -1};
    EXPECT_EQ(pipe(pfd), 0);
    std::vector<const char*> argv = {"/bin/sh", "-c", script.c_str(), nullptr};
    return forkAndExec(logger, pfd, "/bin/sh", argv);
}

// Shell text that keeps a child alive, silent, until the test creates path.
std::string waitFor(const std::string& path) {
    return "while [ ! -e '" + path + "' ]; do sleep 0.01; done";
}

// Waits for the one child that a test left behind and gives its wait status.
int reapLeftChild() {
    int status = -1;
    waitpid(-1, &status, 0);
    return status;
}

TEST(ExitCodes, NormalExitGivesItsCodeAndDeathBySignalGivesMinusOne) {
    const struct {
        const char* script;
        int expected;
    } cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}, {"kill -KILL $$", -1}, {"kill -TERM $$", -1}};
    for (const auto& c : cases) {
        RecordingLogger logger;
        EXPECT_EQ(runShell(&logger, c.script), c.expected) << c.script;
        EXPECT_THAT(logger.entries(), IsEmpty()) << c.script;
    }
}

TEST(ExitCodes, BothPipeEndsAreClosedOnceTheChildIsReaped) {
    const int before = scratch::lowestFreeDescriptor();
    RecordingLogger logger;
    runShell(&logger, "exit 0");
    EXPECT_EQ(scratch::lowestFreeDescriptor(), before);
}

TEST(ExitCodes, ArgumentVectorWithoutTerminatorStillRunsUnchanged) {
    RecordingLogger logger;
    int pfd[2] = {-1, -1};
    ASSERT_EQ(pipe(pfd), 0);
    std::vector<const char*> argv = {"/bin/sh", "-c", "exit 4"};
    EXPECT_EQ(forkAndExec(&logger, pfd, "/bin/sh", argv), 4);
    EXPECT_EQ(argv.size(), 3u);
}

TEST(MissingPrograms, ChildLogsTheExecFailureAndEndsWithOne) {
    scratch::Dir dir;
    scratch::writeFile(dir / "not_executable", "#!/bin/sh\n");
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {{dir / "missing", "No such file or directory"}, {dir / "not_executable", "Permission denied"}};
    for (const auto& c : cases) {
        FileLogger logger(c.path + ".log");
        int pfd[2] = {-1, -1};
        ASSERT_EQ(pipe(pfd), 0);
        std::vector<const char*> argv = {c.path.c_str(), nullptr};
        EXPECT_EQ(forkAndExec(&logger, pfd, c.path, argv), 1) << c.path;
        EXPECT_THAT(logger.entries(),
                    ElementsAre(Logged(ERROR, "forkAndExec", "child process execve failed :" + c.reason + "\n")));
    }
}

TEST(OutputCapture, EachLineOfStandardOutputAndErrorIsOneInfoMessageOfAtMost255Characters) {
    scratch::Dir dir;
    std::string longLine;
    for (int i = 0; i < 600; ++i) {
        longLine += static_cast<char>('a' + i % 26);
    }
    FileLogger logger(dir / "log");
    // The child stays until its last full line has been logged, so that nothing is lost when it is reaped.
    logger.onMessage = [&](const LogEntry& entry) {
        if (entry.text.find(": last\n") != std::string::npos) {
            scratch::writeFile(dir / "stop", "");
        }
    };
    const std::string script =
        "echo first; echo second >&2; echo " + longLine + "; echo last; printf tail; " + waitFor(dir / "stop");
    EXPECT_EQ(runShell(&logger, script), 0);
    const auto captured = [](const std::string& text) { return Logged(INFO, "monitorChildAndCaptureOutput", text); };
    EXPECT_THAT(logger.entries(),
                ElementsAre(captured("first\n"), captured("second\n"), captured(longLine.substr(0, 255)),
                            captured(longLine.substr(255, 255)), captured(longLine.substr(510) + "\n"),
                            captured("last\n"), captured("tail")));
}

// This build pauses 0 microseconds between polls, so the budget of 10001 polls is spent in moments.
TEST(BoundedWait, ChildThatClosedItsOutputButRunsOnIsAbandonedNeitherKilledNorReaped) {
    scratch::Dir dir;
    RecordingLogger logger;
    int pfd[2] = {-1, -1};
    ASSERT_EQ(pipe(pfd), 0);
    // The child keeps its own copy of the write end too; bash, unlike dash, can close a descriptor above 9.
    const std::string script = "exec >/dev/null 2>&1 " + std::to_string(pfd[1]) + ">&-; " + waitFor(dir / "stop");
    std::vector<const char*> argv = {"/bin/bash", "-c", script.c_str(), nullptr};
    EXPECT_EQ(forkAndExec(&logger, pfd, "/bin/bash", argv), -1);
    EXPECT_THAT(logger.entries(), ElementsAre(Logged(ERROR, "monitorChildAndCaptureOutput",
                                                     "timeout happened while waiting for the child process to "
                                                     "complete\n")));
    scratch::writeFile(dir / "stop", "");
    const int status = reapLeftChild();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(BoundedWait, BudgetAllowsExactly10000ReadsOfARunningChild) {
    // Far more than the pipe holds: the child is still running at every poll and has a line ready for every read.
    RecordingLogger logger;
    EXPECT_EQ(runShell(&logger, "i=0; while [ $i -lt 30000 ]; do echo line $i; i=$((i+1)); done"), -1);
    reapLeftChild();
    const auto& entries = logger.entries();
    ASSERT_EQ(entries.size(), 10001u);
    EXPECT_THAT(entries.front(), Logged(INFO, "monitorChildAndCaptureOutput", "line 0\n"));
    EXPECT_THAT(entries[9999], Logged(INFO, "monitorChildAndCaptureOutput", "line 9999\n"));
    EXPECT_EQ(entries.back().level, ERROR);
}

// One end of the pair handed to the runner is a descriptor that is not open.
class ChildSetupFailures : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(pipe(real), 0);
        stale = scratch::lowestFreeDescriptor();
    }
    void TearDown() override {
        close(real[0]);
        close(real[1]);
    }

    // Whatever the parent makes of the pair, the child must end itself with 1.
    void runExpectingChildExitOne(int readEnd, int writeEnd) {
        int pfd[2] = {readEnd, writeEnd};
        std::vector<const char*> argv = {"/bin/sh", "-c", "exit 0", nullptr};
        EXPECT_EQ(forkAndExec(&logger, pfd, "/bin/sh", argv), -1);
        const int status = reapLeftChild();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    }

    scratch::Dir dir;
    FileLogger logger{dir / "log"};
    int real[2] = {-1, -1};
    int stale = -1;
};

TEST_F(ChildSetupFailures, ReadEndThatCannotBeClosedEndsTheChildWithOne) {
    // The parent cannot read from the stale descriptor either.
    runExpectingChildExitOne(stale, real[1]);
    const std::string fd = std::to_string(stale);
    EXPECT_THAT(logger.entries(),
                UnorderedElementsAre(
                    Logged(ERROR, "closeFD", "::close returned an error for [" + fd + "]: Bad file descriptor"),
                    Logged(ERROR, "closeAndDupFD", "closeFD failed for pfd[0]"),
                    Logged(ERROR, "forkAndExec", "closeAndDupFD returned an error"),
                    Logged(ERROR, "monitorChildAndCaptureOutput", "fdopen returned an error: Bad file descriptor")));
}

TEST_F(ChildSetupFailures, WriteEndThatCannotBeDuplicatedEndsTheChildWithOne) {
    // The parent cannot close the stale write end and gives up without waiting.
    runExpectingChildExitOne(real[0], stale);
    const std::string fd = std::to_string(stale);
    EXPECT_THAT(
        logger.entries(),
        UnorderedElementsAre(
            Logged(ERROR, "dupFD", "::dup2 returned an error for oldFD[" + fd + "] & newFD[1]: Bad file descriptor"),
            Logged(ERROR, "forkAndExec", "closeAndDupFD returned an error"),
            Logged(ERROR, "closeFD", "::close returned an error for [" + fd + "]: Bad file descriptor"),
            Logged(ERROR, "monitorChildAndCaptureOutput", "closeFD failed for pfd[1]")));
}

TEST_F(ChildSetupFailures, FailedForkIsLoggedAndClosesBothPipeEnds) {
    // Without root, a process limit of 0 makes every fork fail.
    const int code = scratch::runUnprivileged([&] {
        const rlimit none{0, 0};
        if (setrlimit(RLIMIT_NPROC, &none) != 0) {
            return 10;
        }
        const int before = scratch::lowestFreeDescriptor();
        std::vector<const char*> argv = {"/bin/sh", "-c", "exit 0"};
        if (Command_Executer(&logger, "/bin/sh", argv) != -1) {
            return 11;
        }
        return scratch::lowestFreeDescriptor() == before ? 0 : 12;
    });
    EXPECT_EQ(code, 0);
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(ERROR, "forkAndExec", "Fork failed: Resource temporarily unavailable\n")));
}

}  // namespace
