#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

// Replacing a file so that a power cut, a crash or a full disk at any instant leaves either the old or the new
// content on disk, never an empty or partial one: the content goes to a new temporary file in the target's
// directory, which is synced and renamed over the target, and then the directory itself is synced.

// The system calls of the save, replaceable so that tests can make any one of them fail.
struct DurableFileCalls {
    std::function<int(char* pathTemplate)> createTemporary;  // mkstemp: creates exclusively, returns a descriptor
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(const char* directory)> syncDirectory;  // open, fsync, close

    static const DurableFileCalls& system();
};

// The step of the save that failed, so that the caller can say so once, in its own words.
enum class DurableFileStep { None, Open, Write, Sync, Close, Rename, SyncDirectory };

struct DurableFileResult {
    DurableFileStep failedStep = DurableFileStep::None;
    int error = 0;             // errno of the failed step
    std::string resolvedPath;  // the file actually replaced (the end of a chain of symbolic links)

    explicit operator bool() const { return failedStep == DurableFileStep::None; }
};

// Replaces the file at path with content. A symbolic link at path is kept and the file it leads to is replaced.
// An existing file keeps its permission bits (and its owner when running as root); a new one gets 0666 less the
// umask, as a plain create would. A file that exists but may not be written is refused, as opening it would be.
// On failure the temporary file is removed and, unless only the directory sync failed, the old file is untouched.
// A complete save also removes the temporary files that earlier, killed saves of the same target left behind.
DurableFileResult replaceFileDurably(const std::string& path, const std::string& content,
                                     const DurableFileCalls& calls = DurableFileCalls::system());
