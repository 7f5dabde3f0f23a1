#include "logging/logcat_logger.h"

#include <android/log.h>

#include <cstdarg>

#define LOGCAT_FORWARD(priority)                                          \
    va_list args;                                                         \
    va_start(args, format);                                               \
    const int result = __android_log_vprint(priority, tag, format, args); \
    va_end(args);                                                         \
    return result

int LogcatLogger::verbose(const char* format, ...) {
    LOGCAT_FORWARD(ANDROID_LOG_VERBOSE);
}
int LogcatLogger::debug(const char* format, ...) {
    LOGCAT_FORWARD(ANDROID_LOG_DEBUG);
}
int LogcatLogger::info(const char* format, ...) {
    LOGCAT_FORWARD(ANDROID_LOG_INFO);
}
int LogcatLogger::warn(const char* format, ...) {
    LOGCAT_FORWARD(ANDROID_LOG_WARN);
}
int LogcatLogger::error(const char* format, ...) {
    LOGCAT_FORWARD(ANDROID_LOG_ERROR);
}
int LogcatLogger::fatal(const char* format, ...) {
    LOGCAT_FORWARD(ANDROID_LOG_FATAL);
}
