#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "logging/quarn_logger.h"

// A logger that keeps every message, formatted, with its priority letter, so tests can assert on exact log output.
class RecordingLogger : public quarn_logger {
  public:
    struct Entry {
        char level;
        std::string format, text;
    };

    int verbose(const char* f, ...) override { return va_start(args_, f), forward('V', f), va_end(args_), 0; }
    int debug(const char* f, ...) override { return va_start(args_, f), forward('D', f), va_end(args_), 0; }
    int info(const char* f, ...) override { return va_start(args_, f), forward('I', f), va_end(args_), 0; }
    int warn(const char* f, ...) override { return va_start(args_, f), forward('W', f), va_end(args_), 0; }
    int error(const char* f, ...) override { return va_start(args_, f), forward('E', f), va_end(args_), 0; }
    int fatal(const char* f, ...) override { return va_start(args_, f), forward('F', f), va_end(args_), 0; }

    const std::vector<Entry>& entries() const { return entries_; }
    void clear() { entries_.clear(); }
    // Number of messages whose format is exactly the given one.
    size_t countFormat(const std::string& format) const {
        return std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.format == format; });
    }
    // Where each message goes; a test logger may keep it elsewhere.
    virtual void record(const Entry& entry) { entries_.push_back(entry); }

  private:
    void forward(char level, const char* format) {
        char* text = nullptr;
        record({level, format, vasprintf(&text, format, args_) < 0 ? "" : text});
        free(text);
    }

    va_list args_;  // the values of the message being logged
    std::vector<Entry> entries_;
};
