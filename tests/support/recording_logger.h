#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "logging/quarn_logger.h"

// The test loggers' common part: each operation formats its message and hands it on with its priority letter.
class FormattingLogger : public quarn_logger {
  public:
#define FORMATTING_LOGGER_OPERATION(name, letter) \
    int name(const char* format, ...) override {  \
        va_list args;                             \
        va_start(args, format);                   \
        forward(letter, format, args);            \
        va_end(args);                             \
        return 0;                                 \
    }
    FORMATTING_LOGGER_OPERATION(verbose, 'V')
    FORMATTING_LOGGER_OPERATION(debug, 'D')
    FORMATTING_LOGGER_OPERATION(info, 'I')
    FORMATTING_LOGGER_OPERATION(warn, 'W')
    FORMATTING_LOGGER_OPERATION(error, 'E')
    FORMATTING_LOGGER_OPERATION(fatal, 'F')
#undef FORMATTING_LOGGER_OPERATION

  protected:
    virtual void record(char letter, const char* format, const std::string& text) = 0;

  private:
    void forward(char letter, const char* format, va_list args) {
        va_list copy;
        va_copy(copy, args);
        std::string text(std::max(std::vsnprintf(nullptr, 0, format, copy), 0), '\0');
        va_end(copy);
        std::vsnprintf(&text[0], text.size() + 1, format, args);
        record(letter, format, text);
    }
};

// A logger that keeps every message, formatted, with its priority letter, so tests can assert on exact log output.
class RecordingLogger : public FormattingLogger {
  public:
    struct Entry {
        char level;
        std::string format;
        std::string text;
    };

    const std::vector<Entry>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

    // Number of messages whose format is exactly the given one.
    size_t countFormat(const std::string& format) const {
        return std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.format == format; });
    }

  private:
    void record(char letter, const char* format, const std::string& text) override {
        entries_.push_back({letter, format, text});
    }

    std::vector<Entry> entries_;
};
