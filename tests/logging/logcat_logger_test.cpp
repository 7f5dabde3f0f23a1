#include "logging/logcat_logger.h"

#include <android/log.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "support/stderr_capture.h"

namespace {

// On Linux the log library writes "TAG P MM-DD hh:mm:ss pid tid text" lines to standard error.
class LogcatLoggerTest : public ::testing::Test {
  protected:
    // The library hides verbose and debug by default; the test, not the tool, lowers the threshold.
    void SetUp() override { __android_log_set_minimum_priority(ANDROID_LOG_VERBOSE); }
    void TearDown() override { __android_log_set_minimum_priority(ANDROID_LOG_DEFAULT); }

    static std::string linePattern(const std::string& tag, char letter, const std::string& text) {
        return "^" + tag + " " + letter + R"( \d\d-\d\d \d\d:\d\d:\d\d +)" + std::to_string(getpid()) + " +\\d+ " +
               text + "\n$";
    }
};

TEST_F(LogcatLoggerTest, EachOperationWritesWithItsOwnPriority) {
    using Operation = int (LogcatLogger::*)(const char*, ...);
    const struct {
        Operation operation;
        char letter;
    } cases[] = {
        {&LogcatLogger::verbose, 'V'}, {&LogcatLogger::debug, 'D'}, {&LogcatLogger::info, 'I'},
        {&LogcatLogger::warn, 'W'},    {&LogcatLogger::error, 'E'}, {&LogcatLogger::fatal, 'F'},
    };
    LogcatLogger logger("VERSION_UPDATER");
    for (const auto& c : cases) {
        StderrCapture capture;
        (logger.*c.operation)("%s(%s): value %d", "main", "58", 42);
        const std::string text = capture.text();
        EXPECT_TRUE(
            std::regex_match(text, std::regex(linePattern("VERSION_UPDATER", c.letter, R"(main\(58\): value 42)"))))
            << "priority " << c.letter << " gave: " << text;
    }
}

TEST_F(LogcatLoggerTest, TextIsPassedThroughUnchanged) {
    LogcatLogger logger("VERSION_UPDATER");
    {
        // A caller's trailing newline reaches the library, which then ends the line itself.
        StderrCapture capture;
        logger.error("remove_dir: Path is empty\n");
        EXPECT_TRUE(std::regex_match(capture.text(),
                                     std::regex(linePattern("VERSION_UPDATER", 'E', "remove_dir: Path is empty\n"))));
    }
    {
        // A format without values and without the usual prefix gets nothing added.
        StderrCapture capture;
        logger.warn("plain words");
        EXPECT_TRUE(std::regex_match(capture.text(), std::regex(linePattern("VERSION_UPDATER", 'W', "plain words"))));
    }
}

TEST_F(LogcatLoggerTest, UsesTheTagItWasBuiltWith) {
    const char tag[] = "OTHER_TAG";
    LogcatLogger logger(tag);
    StderrCapture capture;
    logger.info("x");
    EXPECT_TRUE(std::regex_match(capture.text(), std::regex(linePattern("OTHER_TAG", 'I', "x"))));
}

TEST(LogcatLoggerDefaultThresholdTest, LibraryFiltersVerboseUntilAskedOtherwise) {
    // The logger itself filters nothing: whether verbose lines appear is the log library's decision alone.
    LogcatLogger logger("VERSION_UPDATER");
    StderrCapture capture;
    logger.verbose("hidden");
    logger.info("shown");
    const std::string text = capture.text();
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("shown"), std::string::npos);
}

}  // namespace
