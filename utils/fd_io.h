#pragma once

// Internal to the utilities and the updater, not installed: opening without blocking on what would never answer,
// whole reads and full writes on a descriptor.

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <functional>
#include <string>

// Opens path for reading, or for writing (created with 0666 less the umask, not truncated), without blocking: a FIFO
// or a socket is refused (-1 with errno EINVAL), since it would hold the caller until someone else opens or writes
// it. Files and devices are opened as usual, and their reads and writes block as usual.
int openForReading(const std::string& path);
int openForWriting(const std::string& path);

// One read, repeated when a signal cuts it short: the bytes read, 0 at the end, -1 with errno set.
ssize_t readSome(int fd, char* buffer, std::size_t size);

// Reads until buffer is full or fd ends: the bytes read, -1 with errno set when a read fails.
ssize_t readFull(int fd, char* buffer, std::size_t size);

// Reads fd to its end, handing each chunk to use; 0, or the errno of the read that failed.
int readChunks(int fd, const std::function<void(const char* data, std::size_t size)>& use);

// Appends the rest of fd to content; 0, or the errno of the read that failed.
int readAll(int fd, std::string& content);

using WriteCall = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

// Writes all of data, through write where the caller needs another one. False with errno set when a write fails,
// and EIO when one writes nothing: a device that takes no more must not hold the caller in a loop.
bool writeAll(int fd, const char* data, std::size_t size, const WriteCall& write = ::write);
