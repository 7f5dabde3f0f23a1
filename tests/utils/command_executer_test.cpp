#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "log_checks.h"
#include "scratch.h"
#include "support/recording_logger.h"
#include "utils/process_utils.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using namespace log_levels;
const std::string kPipeFailure = "::pipe failed due to: Too many open files";

// Puts the stand-ins for bootctl and sync first on PATH (this build also runs the stand-in as /usr/sbin/bootctl)
// and has them note their calls in a file.
class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedPath_ = std::getenv("PATH");
        setenv("PATH", (std::string(MORVANE_TEST_STAND_IN_DIR) + ":" + savedPath_).c_str(), 1);
        setenv("STAND_IN_RECORD", (dir / "calls").c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        unsetenv("STAND_IN_RECORD");
        unsetenv("STAND_IN_EXIT");
    }
    static void endWith(const std::string& how) { setenv("STAND_IN_EXIT", how.c_str(), 1); }
    std::string calls() const { return scratch::readFile(dir / "calls"); }

    scratch::Dir dir;
    std::string savedPath_;
};

TEST_F(CommandTest, CommandExecuterTerminatesTheVectorAndReturnsTheExitCode) {
    RecordingLogger logger;
    std::vector<const char*> argv = {"/bin/sh", "-c", "exit 7"};
    EXPECT_EQ(Command_Executer(&logger, "/bin/sh", argv), 7);
    ASSERT_EQ(argv.size(), 4u);
    EXPECT_EQ(argv.back(), nullptr);
}

TEST_F(CommandTest, CommandExecuterReportsAPipeThatCannotBeMade) {
    RecordingLogger logger;
    std::vector<const char*> argv = {"/bin/sh", "-c", "exit 0"};
    {
        scratch::DescriptorExhaustion exhaustion;
        EXPECT_EQ(Command_Executer(&logger, "/bin/sh", argv), -1);
    }
    EXPECT_THAT(logger.entries(), ElementsAre(Logged(ERROR, "Command_Executer", kPipeFailure)));
}

TEST_F(CommandTest, GetCurrentSystemTakesTheExitCodeOfBootctlDashIAsTheSlot) {
    const struct {
        const char* end;
        int expected;
        const char* invalid;  // the value logged as invalid, if any
    } cases[] = {{"0", 0, nullptr}, {"1", 1, nullptr}, {"2", -1, "2"}, {"255", -1, "255"}, {"signal", -1, "-1"}};
    for (const auto& c : cases) {
        RecordingLogger logger;
        endWith(c.end);
        EXPECT_EQ(getCurrentSystem(&logger), c.expected) << c.end;
        if (c.invalid == nullptr) {
            EXPECT_THAT(logger.entries(), IsEmpty()) << c.end;
        } else {
            EXPECT_THAT(logger.entries(),
                        ElementsAre(Logged(ERROR, "getCurrentSystem",
                                           std::string("Invalid System ID = ") + c.invalid + " received")));
        }
    }
    EXPECT_EQ(calls(), "bootctl -i\nbootctl -i\nbootctl -i\nbootctl -i\nbootctl -i\n");
}

TEST_F(CommandTest, ShellCommandsCountAnyExitCodeAsCarriedOut) {
    const struct {
        std::function<bool(quarn_logger*)> run;
        const char* function;
        const char* success;
        const char* call;
    } cases[] = {
        {[](quarn_logger* logger) { return runSync(logger), true; }, "runSync", "Sync Successful", "sync \n"},
        {runBootCtl_X, "runBootCtl_X", "bootctl -x successful", "bootctl -x\n"},
    };
    for (const auto& c : cases) {
        for (const char* end : {"0", "9"}) {
            RecordingLogger logger;
            endWith(end);
            EXPECT_TRUE(c.run(&logger));
            EXPECT_THAT(logger.entries(), ElementsAre(Logged(VERBOSE, c.function, c.success))) << end;
        }
        EXPECT_EQ(calls(), std::string(c.call) + c.call);
        std::filesystem::remove(dir / "calls");
    }
}

TEST_F(CommandTest, FixedCommandsReportARunThatFailed) {
    const struct {
        std::function<bool(quarn_logger*)> run;
        const char* function;
        const char* failure;
    } cases[] = {
        {[](quarn_logger* logger) { return runSync(logger), false; }, "runSync", "Sync Failed"},
        {runBootCtl_X, "runBootCtl_X", "bootctl -x failed."},
        {[](quarn_logger* logger) { return getCurrentSystem(logger) != -1; }, "getCurrentSystem",
         "Invalid System ID = -1 received"},
    };
    for (const auto& c : cases) {
        RecordingLogger logger;
        {
            scratch::DescriptorExhaustion exhaustion;
            EXPECT_FALSE(c.run(&logger)) << c.function;
        }
        EXPECT_THAT(logger.entries(),
                    ElementsAre(Logged(ERROR, "Command_Executer", kPipeFailure), Logged(ERROR, c.function, c.failure)));
    }
    EXPECT_EQ(calls(), "");
}

// A gzip-compressed archive of a.txt and sub/b.txt, made by the archive tool itself.
class ExtractionTest : public CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        std::filesystem::create_directories(dir / "src/sub");
        std::filesystem::create_directories(destination);
        scratch::writeFile(dir / "src/a.txt", "alpha");
        scratch::writeFile(dir / "src/sub/b.txt", "beta");
        ASSERT_EQ(std::system(("tar -czf " + archive + " -C " + dir.path() + "/src a.txt sub").c_str()), 0);
    }

    using Extraction = std::function<bool(quarn_logger*)>;
    std::vector<Extraction> bothExtractions() const {
        return {[this](quarn_logger* logger) { return extractArchive(logger, archive, destination); },
                [this](quarn_logger* logger) { return extractArchiveEntry(logger, archive, "a.txt", destination); }};
    }

    const std::string archive = dir / "archive.tgz";
    const std::string destination = dir / "out";
};

TEST_F(ExtractionTest, ExtractArchiveUnpacksEveryMemberIntoTheDestination) {
    RecordingLogger logger;
    scratch::StdoutCapture out(dir / "stdout");
    EXPECT_TRUE(extractArchive(&logger, archive, destination));
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(scratch::readFile(destination + "/a.txt"), "alpha");
    EXPECT_EQ(scratch::readFile(destination + "/sub/b.txt"), "beta");
}

TEST_F(ExtractionTest, ExtractArchiveEntryUnpacksOnlyTheMember) {
    RecordingLogger logger;
    EXPECT_TRUE(extractArchiveEntry(&logger, archive, "sub/b.txt", destination));
    EXPECT_EQ(scratch::readFile(destination + "/sub/b.txt"), "beta");
    EXPECT_FALSE(std::filesystem::exists(destination + "/a.txt"));
}

TEST_F(ExtractionTest, ArchiveToolEndingWithAnErrorCountsAsCarriedOut) {
    RecordingLogger logger;
    scratch::StdoutCapture out(dir / "stdout");
    EXPECT_TRUE(extractArchive(&logger, dir / "missing.tgz", destination));
    EXPECT_TRUE(extractArchiveEntry(&logger, archive, "no_such_member", destination));
    EXPECT_EQ(out.text(), "");
}

TEST_F(ExtractionTest, ThreeFailedAttemptsPrintThreeRetryLinesAndGiveFalse) {
    for (const auto& extract : bothExtractions()) {
        RecordingLogger logger;
        scratch::StdoutCapture out(dir / "stdout");
        bool result = true;
        {
            scratch::DescriptorExhaustion exhaustion;
            result = extract(&logger);
        }
        EXPECT_FALSE(result);
        EXPECT_EQ(out.text(),
                  "/bin/tar Command Execution Failed: 1 retry\n"
                  "/bin/tar Command Execution Failed: 2 retry\n"
                  "/bin/tar Command Execution Failed: 3 retry\n");
        EXPECT_EQ(logger.countFormat("%s(%s): ::pipe failed due to: %s"), 3u);
    }
}

TEST_F(ExtractionTest, OneFailedAttemptIsRetriedAtOnce) {
    for (const auto& extract : bothExtractions()) {
        std::filesystem::remove(destination + "/a.txt");
        FileLogger logger(dir / "log");
        scratch::StdoutCapture out(dir / "stdout");
        bool result = false;
        {
            scratch::DescriptorExhaustion exhaustion;
            // Reporting the failed pipe frees room for the next attempt's one.
            logger.onMessage = [&exhaustion](const LogEntry&) { exhaustion.release(2); };
            result = extract(&logger);
        }
        EXPECT_TRUE(result);
        EXPECT_EQ(out.text(), "/bin/tar Command Execution Failed: 1 retry\n");
        EXPECT_EQ(scratch::readFile(destination + "/a.txt"), "alpha");
    }
}

}  // namespace
