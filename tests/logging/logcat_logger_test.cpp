#include "logging/logcat_logger.h"

#include <android/log.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>

namespace {

// What the body wrote to standard error.
std::string stderrOf(const std::function<void()>& body) {
    char path[] = "/tmp/morvane_stderr_XXXXXX";
    const int fd = mkstemp(path), saved = dup(2);
    std::fflush(stderr);
    dup2(fd, 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(fd);
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    unlink(path);
    return text.str();
}

// On Linux the log library writes "TAG P MM-DD hh:mm:ss pid tid text" lines to standard error.
TEST(LogcatLoggerTest, EachOperationWritesOneLineWithItsPriorityTagAndTextUnchanged) {
    using Operation = int (LogcatLogger::*)(const char*, ...);
    const struct {
        const char* tag;
        Operation operation;
        char letter;
        const char *format, *text;
    } cases[] = {
        {"VERSION_UPDATER", &LogcatLogger::verbose, 'V', "%s(%s): value %d", R"(main\(58\): value 42)"},
        {"VERSION_UPDATER", &LogcatLogger::debug, 'D', "%s(%s): value %d", R"(main\(58\): value 42)"},
        {"VERSION_UPDATER", &LogcatLogger::info, 'I', "%s(%s): value %d", R"(main\(58\): value 42)"},
        {"VERSION_UPDATER", &LogcatLogger::warn, 'W', "%s(%s): value %d", R"(main\(58\): value 42)"},
        {"VERSION_UPDATER", &LogcatLogger::error, 'E', "%s(%s): value %d", R"(main\(58\): value 42)"},
        {"VERSION_UPDATER", &LogcatLogger::fatal, 'F', "%s(%s): value %d", R"(main\(58\): value 42)"},
        // A caller's trailing newline reaches the library, which then ends the line itself.
        {"VERSION_UPDATER", &LogcatLogger::error, 'E', "remove_dir: Path is empty\n", "remove_dir: Path is empty\n"},
        {"OTHER_TAG", &LogcatLogger::warn, 'W', "plain words", "plain words"},
    };
    // The library hides verbose and debug by default; the test, not the tool, lowers the threshold.
    __android_log_set_minimum_priority(ANDROID_LOG_VERBOSE);
    for (const auto& c : cases) {
        LogcatLogger logger(c.tag);
        const std::string text = stderrOf([&] { (logger.*c.operation)(c.format, "main", "58", 42); });
        const std::string line = std::string("^") + c.tag + " " + c.letter + R"( \d\d-\d\d \d\d:\d\d:\d\d +)" +
                                 std::to_string(getpid()) + " +\\d+ " + c.text + "\n$";
        EXPECT_TRUE(std::regex_match(text, std::regex(line))) << c.letter << " gave: " << text;
    }
    __android_log_set_minimum_priority(ANDROID_LOG_DEFAULT);
}

TEST(LogcatLoggerTest, LibraryFiltersVerboseUntilAskedOtherwise) {
    // The logger itself filters nothing: whether verbose lines appear is the log library's decision alone.
    LogcatLogger logger("VERSION_UPDATER");
    const std::string text = stderrOf([&] { logger.verbose("hidden"), logger.info("shown"); });
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("shown"), std::string::npos);
}

}  // namespace
