#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/recording_logger.h"

namespace {

// Components log through a quarn_logger pointer; any implementation must be usable that way.
void reportFailure(quarn_logger* logger, const char* path) {
    logger->error("%s(%s): Opening the file stream(%s) failed(%s)...!", __func__, QUARN_LINE, path, "No such file");
}

TEST(LoggerInterfaceTest, CallersReachTheImplementationThroughTheBasePointer) {
    RecordingLogger recorder;
    reportFailure(&recorder, "/x");
    ASSERT_EQ(recorder.entries().size(), 1u);
    EXPECT_EQ(recorder.entries()[0].level, RecordingLogger::ERROR);
    EXPECT_EQ(recorder.entries()[0].format, "%s(%s): Opening the file stream(%s) failed(%s)...!");
    EXPECT_TRUE(std::regex_match(
        recorder.entries()[0].text,
        std::regex(R"(reportFailure\(\d+\): Opening the file stream\(/x\) failed\(No such file\)\.\.\.!)")));
}

TEST(LoggerInterfaceTest, LineTagIsACompileTimeString) {
    const char* tag = QUARN_LINE;
    EXPECT_STREQ(tag, std::to_string(__LINE__ - 1).c_str());
}

}  // namespace
