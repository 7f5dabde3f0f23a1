#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "logging/quarn_logger.h"

// A logger that keeps every message, formatted, with its priority, so tests can assert on exact log output.
class RecordingLogger : public quarn_logger {
  public:
    enum Level { VERBOSE = 2, DEBUG = 3, INFO = 4, WARN = 5, ERROR = 6, FATAL = 7 };

    struct Entry {
        Level level;
        std::string format;
        std::string text;
    };

#define RECORDING_LOGGER_OPERATION(name, level)  \
    int name(const char* format, ...) override { \
        va_list args;                            \
        va_start(args, format);                  \
        record(level, format, args);             \
        va_end(args);                            \
        return 0;                                \
    }
    RECORDING_LOGGER_OPERATION(verbose, VERBOSE)
    RECORDING_LOGGER_OPERATION(debug, DEBUG)
    RECORDING_LOGGER_OPERATION(info, INFO)
    RECORDING_LOGGER_OPERATION(warn, WARN)
    RECORDING_LOGGER_OPERATION(error, ERROR)
    RECORDING_LOGGER_OPERATION(fatal, FATAL)
#undef RECORDING_LOGGER_OPERATION

    const std::vector<Entry>& entries() const {
        return entries_;
    }
    void clear() {
        entries_.clear();
    }

    // Number of messages whose format is exactly the given one.
    size_t countFormat(const std::string& format) const {
        return std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.format == format; });
    }

  private:
    void record(Level level, const char* format, va_list args) {
        va_list copy;
        va_copy(copy, args);
        std::string text(std::max(std::vsnprintf(nullptr, 0, format, copy), 0), '\0');
        va_end(copy);
        std::vsnprintf(&text[0], text.size() + 1, format, args);
        entries_.push_back({level, format, text});
    }

    std::vector<Entry> entries_;
};
