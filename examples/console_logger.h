#pragma once

// A quarn_logger for console tools and for these examples: each message goes to standard output, one line, after
// its priority letter. The library's messages start with "function(line): "; the line is dropped here, since it
// moves with every edit of the library and says nothing to a user of it.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "logging/quarn_logger.h"

// Every operation is the same but for its priority letter.
#define CONSOLE_LOGGER_PRINT(letter)                \
    va_list args;                                   \
    va_start(args, format);                         \
    const int result = print(letter, format, args); \
    va_end(args);                                   \
    return result

class ConsoleLogger : public quarn_logger {
  public:
    int verbose(const char* format, ...) override { CONSOLE_LOGGER_PRINT('V'); }
    int debug(const char* format, ...) override { CONSOLE_LOGGER_PRINT('D'); }
    int info(const char* format, ...) override { CONSOLE_LOGGER_PRINT('I'); }
    int warn(const char* format, ...) override { CONSOLE_LOGGER_PRINT('W'); }
    int error(const char* format, ...) override { CONSOLE_LOGGER_PRINT('E'); }
    int fatal(const char* format, ...) override { CONSOLE_LOGGER_PRINT('F'); }

  private:
    static int print(char priority, const char* format, va_list args) {
        char text[1024];
        const int length = std::vsnprintf(text, sizeof text, format, args);
        if (length < 0) {
            return length;
        }
        std::string message(text);
        const std::size_t open = message.find('(');
        const std::size_t close = message.find("): ");
        if (open != std::string::npos && close != std::string::npos && open < close &&
            message.find_first_not_of("0123456789", open + 1) == close) {
            message.erase(open, close + 1 - open);
        }
        if (message.empty() || message.back() != '\n') {
            message += '\n';
        }
        std::printf("%c %s", priority, message.c_str());
        // The runner's child logs just before it ends with _exit, which flushes nothing.
        std::fflush(stdout);
        return length;
    }
};
