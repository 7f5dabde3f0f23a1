#pragma once

// The one logging interface of the tool and the download utilities. Every component that reports anything
// receives a non-owning pointer to it; the operations take a printf-style format and its values.
class quarn_logger {
  public:
    virtual ~quarn_logger() = default;

    virtual int verbose(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual int debug(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual int info(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual int warn(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual int error(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual int fatal(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
};

// The second prefix value of a message: its source line, made into a string at compile time.
#define QUARN_STRINGIFY_DETAIL(x) #x
#define QUARN_STRINGIFY(x) QUARN_STRINGIFY_DETAIL(x)
#define QUARN_LINE QUARN_STRINGIFY(__LINE__)
