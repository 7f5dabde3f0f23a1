#pragma once

#include "logging/quarn_logger.h"

// Hands every message unchanged to the platform log library under a fixed tag. It adds nothing to the text,
// filters nothing and keeps no state, so it is safe to use in a child between fork and exec.
class LogcatLogger : public quarn_logger {
  public:
    // The tag is borrowed: it must outlive the logger.
    explicit LogcatLogger(const char* tag) : tag(tag) {}
    ~LogcatLogger() override {}

    int verbose(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    int debug(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    int info(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    int warn(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    int error(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    int fatal(const char* format, ...) override __attribute__((format(printf, 2, 3)));

  private:
    const char* tag;
};
