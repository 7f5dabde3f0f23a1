#include "logging/logcat_logger.h"

#include <android/log.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

namespace {

using Operation = int (LogcatLogger::*)(const char*, ...);

std::string stderrOf(const char* tag, Operation operation, const char* format) {
    LogcatLogger logger(tag);
    testing::internal::CaptureStderr();
    (logger.*operation)(format, "main", "58", 42);
    return testing::internal::GetCapturedStderr();
}

// On Linux the log library writes "TAG P MM-DD hh:mm:ss pid tid text" lines to standard error.
TEST(LogcatLoggerTest, EachOperationWritesOneLineWithItsPriorityTagAndTextUnchanged) {
    const char* format = "%s(%s): value %d";
    const char* text = R"(main\(58\): value 42)";
    const struct {
        const char* tag;
        Operation operation;
        char letter;
        const char *format, *text;
    } cases[] = {
        {"VERSION_UPDATER", &LogcatLogger::verbose, 'V', format, text},
        {"VERSION_UPDATER", &LogcatLogger::debug, 'D', format, text},
        {"VERSION_UPDATER", &LogcatLogger::info, 'I', format, text},
        {"VERSION_UPDATER", &LogcatLogger::warn, 'W', format, text},
        {"VERSION_UPDATER", &LogcatLogger::error, 'E', format, text},
        {"VERSION_UPDATER", &LogcatLogger::fatal, 'F', format, text},
        // A caller's trailing newline reaches the library, which then ends the line itself.
        {"VERSION_UPDATER", &LogcatLogger::error, 'E', "remove_dir: Path is empty\n", "remove_dir: Path is empty\n"},
        {"OTHER_TAG", &LogcatLogger::warn, 'W', "plain words", "plain words"},
    };
    // The logger filters nothing: the library hides verbose lines until the test, never the tool, asks otherwise.
    EXPECT_EQ(stderrOf("VERSION_UPDATER", &LogcatLogger::verbose, "hidden"), "");
    __android_log_set_minimum_priority(ANDROID_LOG_VERBOSE);
    for (const auto& c : cases) {
        const std::string line = std::string("^") + c.tag + " " + c.letter + R"( \d\d-\d\d \d\d:\d\d:\d\d +)" +
                                 std::to_string(getpid()) + " +\\d+ " + c.text + "\n$";
        const std::string written = stderrOf(c.tag, c.operation, c.format);
        EXPECT_TRUE(std::regex_match(written, std::regex(line))) << c.letter << " gave: " << written;
    }
    __android_log_set_minimum_priority(ANDROID_LOG_DEFAULT);
}

}  // namespace
