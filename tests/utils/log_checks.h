#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "logging/quarn_logger.h"
#include "support/recording_logger.h"

using LogEntry = RecordingLogger::Entry;

namespace log_levels {
constexpr auto VERBOSE = RecordingLogger::VERBOSE;
constexpr auto DEBUG = RecordingLogger::DEBUG;
constexpr auto INFO = RecordingLogger::INFO;
constexpr auto WARN = RecordingLogger::WARN;
constexpr auto ERROR = RecordingLogger::ERROR;
constexpr auto FATAL = RecordingLogger::FATAL;
}  // namespace log_levels

inline void PrintTo(const LogEntry& entry, std::ostream* os) {
    *os << "{level " << entry.level << ", \"" << entry.text << "\"}";
}

// A message with this level whose text is "<function>(<line>): <rest>" with a decimal line tag, or exactly rest
// when function is empty (the few messages that start with a fixed word).
MATCHER_P3(Logged, level, function, rest, "") {
    const std::string func = function;
    const std::string text = arg.text;
    if (arg.level != level) {
        return false;
    }
    if (func.empty()) {
        return text == rest;
    }
    const std::string head = func + "(";
    const std::size_t tagEnd = text.find("): ", head.size());
    if (text.compare(0, head.size(), head) != 0 || tagEnd == std::string::npos || tagEnd == head.size()) {
        return false;
    }
    for (std::size_t i = head.size(); i < tagEnd; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return text.substr(tagEnd + 3) == rest;
}

// Writes each message to a file at once, so that what a forked child logs reaches the test too. The hook, if set,
// sees each message in the process that logged it.
class FileLogger : public quarn_logger {
  public:
    explicit FileLogger(const std::string& path)
        : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) {}
    ~FileLogger() override { ::close(fd_); }

#define MORVANE_FILE_LOGGER_OPERATION(name, level)    \
    int name(const char* format, ...) override {      \
        va_list args;                                 \
        va_start(args, format);                       \
        append(RecordingLogger::level, format, args); \
        va_end(args);                                 \
        return 0;                                     \
    }
    MORVANE_FILE_LOGGER_OPERATION(verbose, VERBOSE)
    MORVANE_FILE_LOGGER_OPERATION(debug, DEBUG)
    MORVANE_FILE_LOGGER_OPERATION(info, INFO)
    MORVANE_FILE_LOGGER_OPERATION(warn, WARN)
    MORVANE_FILE_LOGGER_OPERATION(error, ERROR)
    MORVANE_FILE_LOGGER_OPERATION(fatal, FATAL)
#undef MORVANE_FILE_LOGGER_OPERATION

    std::function<void(const LogEntry&)> onMessage;

    // Everything logged so far by any process, in the order it was written.
    std::vector<LogEntry> entries() const {
        std::ifstream in(path_, std::ios::binary);
        std::vector<LogEntry> result;
        std::string level, format, text;
        while (std::getline(in, level, '\0') && std::getline(in, format, '\0') && std::getline(in, text, '\0')) {
            result.push_back({static_cast<RecordingLogger::Level>(level[0]), format, text});
        }
        return result;
    }

  private:
    void append(RecordingLogger::Level level, const char* format, va_list args) {
        char text[4096];
        std::vsnprintf(text, sizeof text, format, args);
        const LogEntry entry{level, format, text};
        const std::string record = std::string(1, static_cast<char>(level)) + '\0' + format + '\0' + text + '\0';
        // One write per message keeps records of parent and child whole in the shared file.
        if (::write(fd_, record.data(), record.size()) < 0) {
            std::perror("FileLogger");
        }
        if (onMessage) {
            onMessage(entry);
        }
    }

    std::string path_;
    int fd_;
};
