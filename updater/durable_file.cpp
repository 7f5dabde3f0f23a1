#include "updater/durable_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

[[maybe_unused]] int syncDirectoryOf(const char* directory) {
    const int fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const int result = ::fsync(fd);
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return result;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links at path to the name of the file they lead to, which need not exist yet (a dangling link
// is followed to the file that a plain create would make). Gives up after as many links as the kernel would.
std::string resolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return path;
        }
        std::vector<char> target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<size_t>(length) >= target.size()) {
            return path;
        }
        const std::string next(target.data(), static_cast<size_t>(length));
        path = (!next.empty() && next[0] == '/') ? next : directoryOf(path) + "/" + next;
    }
    return path;
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(const DurableFileCalls& calls, int fd, const std::string& content) {
    const char* data = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t written = calls.write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

bool isTemplateCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Saves killed between creating their temporary file and the rename leave it behind, and nobody else ever removes
// it. Only regular files named exactly as the temporary files of this target are taken.
void removeLeftovers(const std::string& directory, const std::string& name) {
    DIR* entries = ::opendir(directory.c_str());
    if (entries == nullptr) {
        return;
    }
    const std::string prefix = "." + name + ".";
    while (const dirent* entry = ::readdir(entries)) {
        const std::string candidate = entry->d_name;
        if (candidate.size() != prefix.size() + 6 || candidate.compare(0, prefix.size(), prefix) != 0 ||
            !std::all_of(candidate.begin() + static_cast<std::ptrdiff_t>(prefix.size()), candidate.end(),
                         isTemplateCharacter)) {
            continue;
        }
        struct stat status;
        if (::fstatat(::dirfd(entries), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
        }
    }
    ::closedir(entries);
}

DurableFileResult failure(DurableFileStep step, int error, const std::string& resolvedPath) {
    DurableFileResult result;
    result.failedStep = step;
    result.error = error;
    result.resolvedPath = resolvedPath;
    return result;
}

}  // namespace

const DurableFileCalls& DurableFileCalls::system() {
    static const DurableFileCalls calls{
        [](char* pathTemplate) { return ::mkostemp(pathTemplate, O_CLOEXEC); },
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
// Test-only builds (MORVANE_WEAKENED_SAVE) skip one sync, so that the power-cut rig can show it catches the loss.
#ifdef MORVANE_WEAKENED_SAVE_NO_FILE_FSYNC
        [](int) { return 0; },
#else
        [](int fd) { return ::fsync(fd); },
#endif
        [](int fd) { return ::close(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
#ifdef MORVANE_WEAKENED_SAVE_NO_DIR_FSYNC
        [](const char*) { return 0; },
#else
        [](const char* directory) { return syncDirectoryOf(directory); },
#endif
    };
    return calls;
}

DurableFileResult replaceFileDurably(const std::string& path, const std::string& content,
                                     const DurableFileCalls& calls) {
    const std::string target = resolveLinks(path);
    const std::string directory = directoryOf(target);

    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    // Opening a directory for writing fails so; the rename would fail only after all the work.
    if (exists && S_ISDIR(existing.st_mode)) {
        return failure(DurableFileStep::Open, EISDIR, target);
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        return failure(DurableFileStep::Open, errno, target);
    }

    std::string temporary = directory + "/." + baseNameOf(target) + ".XXXXXX";
    const int fd = calls.createTemporary(&temporary[0]);
    if (fd < 0) {
        return failure(DurableFileStep::Open, errno, target);
    }

    auto abandon = [&](DurableFileStep step, int error, bool open) {
        if (open) {
            ::close(fd);
        }
        ::unlink(temporary.c_str());
        return failure(step, error, target);
    };

    // The temporary file is private (0600) until it gets the bits the document has, or would get on creation.
    const mode_t mode = exists ? (existing.st_mode & 07777) : creationMode();
    if (::fchmod(fd, mode) != 0) {
        return abandon(DurableFileStep::Open, errno, true);
    }
    if (exists && ::geteuid() == 0 && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        return abandon(DurableFileStep::Open, errno, true);
    }
    if (!writeAll(calls, fd, content)) {
        return abandon(DurableFileStep::Write, errno, true);
    }
    if (calls.fsync(fd) != 0) {
        return abandon(DurableFileStep::Sync, errno, true);
    }
    if (calls.close(fd) != 0) {
        return abandon(DurableFileStep::Close, errno, false);
    }
    if (calls.rename(temporary.c_str(), target.c_str()) != 0) {
        return abandon(DurableFileStep::Rename, errno, false);
    }
    // Without this the rename itself may not survive a power cut.
    if (calls.syncDirectory(directory.c_str()) != 0) {
        return failure(DurableFileStep::SyncDirectory, errno, target);
    }
    removeLeftovers(directory, baseNameOf(target));
    return DurableFileResult{DurableFileStep::None, 0, target};
}
