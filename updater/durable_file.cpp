#include "updater/durable_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "utils/fd_io.h"

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

bool isStickyWorldWritable(const struct stat& directory) {
    return (directory.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

// Follows symbolic links at path to the name of the file they lead to, which need not exist yet (a dangling link
// is followed to the file that a plain create would make). Gives up after as many links as the kernel would.
// 0, or EACCES for a link that the kernel's protection of sticky world-writable directories would not follow: one
// owned by neither the caller nor the directory's owner. Applied here too, since hosts may switch that protection off
// and a dangling link is never followed by the kernel before the rename.
int resolveLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return 0;
        }
        struct stat directory;
        if (status.st_uid != ::geteuid() && ::stat(directoryOf(path).c_str(), &directory) == 0 &&
            isStickyWorldWritable(directory) && status.st_uid != directory.st_uid) {
            return EACCES;
        }
        std::vector<char> target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<size_t>(length) >= target.size()) {
            return 0;
        }
        const std::string next(target.data(), static_cast<size_t>(length));
        path = (!next.empty() && next[0] == '/') ? next : directoryOf(path) + "/" + next;
    }
    return 0;
}

// Whether path names an existing file (0 and its status), no file (ENOENT), or an error. The kernel follows the
// links itself, with its own protections, and must reach the very file the links were resolved to: a link changed
// in between, or a name the kernel resolves otherwise, is refused rather than another file replaced.
int existingTarget(const std::string& path, const std::string& resolved, struct stat& existing) {
    if (path == resolved) {  // no link to follow
        return ::lstat(path.c_str(), &existing) == 0 ? 0 : errno;
    }
    // O_PATH: nothing is opened for reading or writing, so a FIFO or a device is neither blocked on nor woken.
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int statResult = ::fstat(fd, &existing);
    const int error = errno;
    ::close(fd);
    if (statResult != 0) {
        return error;
    }
    struct stat named;
    if (::lstat(resolved.c_str(), &named) != 0 || named.st_dev != existing.st_dev || named.st_ino != existing.st_ino) {
        return EAGAIN;
    }
    return 0;
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool isTemplateCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Saves killed between creating their temporary file and the rename leave it behind, and nobody else ever removes
// it. Only regular files named exactly as the temporary files of this target are taken, and only those that nobody
// holds locked: a live save locks its own until the rename.
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
        const int fd =
            ::openat(::dirfd(entries), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat locked, named;
        if (::fstat(fd, &locked) == 0 && S_ISREG(locked.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(::dirfd(entries), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == locked.st_dev && named.st_ino == locked.st_ino) {
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(entries);
}

// Creates the temporary file and locks it before anything else. A clean-up by another save may have taken the new
// file in the instant before the lock (it is then locked by that clean-up or already unlinked): a fresh one is made.
int createLockedTemporary(const DurableFileCalls& calls, const std::string& pattern, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = pattern;
        const int fd = calls.createTemporary(&temporary[0]);
        if (fd < 0) {
            return -1;
        }
        struct stat status;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &status) == 0 && status.st_nlink > 0) {
            return fd;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

// Removes a temporary file that will not be renamed, and lets go of its lock.
void abandonTemporary(const std::string& temporary, int holder) {
    ::unlink(temporary.c_str());
    if (holder >= 0) {
        ::close(holder);
    }
}

DurableFileResult failure(DurableFileStep step, int error, const std::string& resolvedPath) {
    DurableFileResult result;
    result.failedStep = step;
    result.error = error;
    result.resolvedPath = resolvedPath;
    return result;
}

// The file a save replaces: the end of the links at path, whether it exists, and its status if it does.
struct Target {
    std::string path;
    std::string directory;
    bool exists = false;
    struct stat status {};
};

int resolveTarget(const std::string& path, Target& target) {
    int missing = EAGAIN;
    // A save of the same file elsewhere may replace it between the two looks; a changed link is refused after a few.
    for (int attempt = 0; missing == EAGAIN && attempt < 10; ++attempt) {
        target.path = path;
        if (const int refused = resolveLinks(target.path)) {
            return refused;
        }
        missing = existingTarget(path, target.path, target.status);
    }
    target.directory = directoryOf(target.path);
    if (missing != 0 && missing != ENOENT) {
        return missing;
    }
    target.exists = missing == 0;
    // Opening a directory for writing fails so; the rename would fail only after all the work.
    if (target.exists && S_ISDIR(target.status.st_mode)) {
        return EISDIR;
    }
    if (target.exists && ::access(target.path.c_str(), W_OK) != 0) {
        return errno;
    }
    return 0;
}

// A descriptor of the target when it already holds exactly content, else -1. Anything unexpected (another file by
// now, a read error) says no, and the save goes the long way.
int openIfHolding(const Target& target, const std::string& content) {
    if (!target.exists || !S_ISREG(target.status.st_mode) ||
        target.status.st_size != static_cast<off_t>(content.size())) {
        return -1;
    }
    const int fd = openWithoutAccessTime(target.path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && opened.st_dev == target.status.st_dev && opened.st_ino == target.status.st_ino) {
        std::string held(content.size() + 1, '\0');  // one byte more, to see a file that grew meanwhile
        const ssize_t got = readFull(fd, held.data(), held.size());
        if (got == static_cast<ssize_t>(content.size()) && held.compare(0, content.size(), content) == 0) {
            return fd;
        }
    }
    ::close(fd);
    return -1;
}

// Content already in place is not written again: flash wears with every block written. It is still made durable,
// in case the save that put it there never got as far as its syncs; both syncs write nothing when nothing is dirty.
DurableFileResult keepUnchanged(const DurableFileCalls& calls, const Target& target, int fd) {
    const int synced = calls.dataSync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0) {
        return failure(DurableFileStep::Sync, error, target.path);
    }
    if (calls.syncDirectory(target.directory.c_str()) != 0) {
        return failure(DurableFileStep::SyncDirectory, errno, target.path);
    }
    return DurableFileResult{DurableFileStep::None, 0, target.path};
}

// A temporary file beside the target holding content, with the target's permission bits and owner, synced and
// closed; holder keeps its lock until the rename. Returns the failed step (None on success) and sets error; after a
// failure nothing is left behind.
DurableFileStep writeTemporary(const DurableFileCalls& calls, const Target& target, const std::string& content,
                               std::string& temporary, int& holder, int& error) {
    const int fd =
        createLockedTemporary(calls, target.directory + "/." + baseNameOf(target.path) + ".XXXXXX", temporary);
    if (fd < 0) {
        error = errno;
        return DurableFileStep::Open;
    }
    holder = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    // The temporary file is private (0600) until it gets the bits the document has, or would get on creation.
    const mode_t mode = target.exists ? (target.status.st_mode & 07777) : creationMode();
    DurableFileStep step = DurableFileStep::None;
    if (holder < 0 || ::fchmod(fd, mode) != 0 ||
        (target.exists && ::geteuid() == 0 && ::fchown(fd, target.status.st_uid, target.status.st_gid) != 0)) {
        step = DurableFileStep::Open;
    } else if (!writeAll(fd, content.data(), content.size(), calls.write)) {
        step = DurableFileStep::Write;
    } else if (calls.fsync(fd) != 0) {
        step = DurableFileStep::Sync;
    }
    if (step != DurableFileStep::None) {
        error = errno;
        ::close(fd);
    } else if (calls.close(fd) != 0) {
        error = errno;
        step = DurableFileStep::Close;
    }
    if (step != DurableFileStep::None) {
        abandonTemporary(temporary, holder);
    }
    return step;
}

}  // namespace

int openWithoutAccessTime(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_NOATIME);
    // Only the owner (or root) may leave the access time alone.
    return fd >= 0 || errno != EPERM ? fd : ::open(path.c_str(), flags);
}

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
        [](int fd) { return ::fdatasync(fd); },
    };
    return calls;
}

DurableFileResult replaceFileDurably(const std::string& path, const std::string& content,
                                     const DurableFileCalls& calls) {
    Target target;
    if (const int refused = resolveTarget(path, target)) {
        return failure(DurableFileStep::Open, refused, target.path);
    }
    if (const int unchanged = openIfHolding(target, content); unchanged >= 0) {
        return keepUnchanged(calls, target, unchanged);
    }
    std::string temporary;
    int holder = -1, error = 0;
    if (const DurableFileStep failed = writeTemporary(calls, target, content, temporary, holder, error);
        failed != DurableFileStep::None) {
        return failure(failed, error, target.path);
    }
    if (calls.rename(temporary.c_str(), target.path.c_str()) != 0) {
        error = errno;
        abandonTemporary(temporary, holder);
        return failure(DurableFileStep::Rename, error, target.path);
    }
    ::close(holder);
    // Without this the rename itself may not survive a power cut.
    if (calls.syncDirectory(target.directory.c_str()) != 0) {
        return failure(DurableFileStep::SyncDirectory, errno, target.path);
    }
    removeLeftovers(target.directory, baseNameOf(target.path));
    return DurableFileResult{DurableFileStep::None, 0, target.path};
}

DocumentLock::DocumentLock(const std::string& documentPath, int waitMilliseconds) {
    std::string document = documentPath;
    m_error = resolveLinks(document);
    const std::string directory = directoryOf(document);
    m_path = directory + "/." + baseNameOf(document) + ".lock";
    if (m_error != 0) {
        m_state = State::Refused;
        return;
    }
    // O_PATH: a directory we may search but not list still holds the lock file.
    const int directoryFd = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd < 0) {
        m_error = errno;
        m_state = m_error == ENOENT ? State::Unavailable : State::Refused;
        return;
    }
    m_state = open(document, directoryFd);
    ::close(directoryFd);
    if (m_state == State::Held) {
        m_state = wait(waitMilliseconds);
    }
    if (m_state != State::Held) {
        release();
    }
}

DocumentLock::State DocumentLock::open(const std::string& document, int directory) {
    struct stat folder;
    if (::fstat(directory, &folder) != 0) {
        m_error = errno;
        return State::Refused;
    }
    // Without the sticky bit anyone may rename the lock file away, and two runs would then hold locks on two files.
    const bool shared = (folder.st_mode & S_IWOTH) != 0;
    if (shared && (folder.st_mode & S_ISVTX) == 0) {
        m_error = EPERM;
        return State::Refused;
    }
    struct stat file;
    const bool known = ::stat(document.c_str(), &file) == 0 && S_ISREG(file.st_mode);
    const mode_t mode = known ? ((file.st_mode & 0660) | 0400) : 0600;
    const std::string name = baseNameOf(m_path);
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    m_fd = ::openat(directory, name.c_str(), O_RDWR | O_CREAT | flags, mode);
    if (m_fd < 0 && errno == EACCES) {
        m_fd = ::openat(directory, name.c_str(), O_RDONLY | flags);
        if (m_fd < 0 && errno == ENOENT) {
            m_error = EACCES;  // the directory takes no new file: nor will it take the save's
            return State::Unavailable;
        }
    }
    if (m_fd < 0) {
        m_error = errno;
        return m_error == EROFS ? State::Unavailable : State::Refused;
    }
    struct stat lock;
    if (::fstat(m_fd, &lock) != 0) {
        m_error = errno;
        return State::Refused;
    }
    if (!S_ISREG(lock.st_mode)) {  // a FIFO or a device: opened without blocking, never locked
        m_error = S_ISDIR(lock.st_mode) ? EISDIR : EINVAL;
        return State::Refused;
    }
    // In a shared directory only these can have made the file, or can keep it there against us.
    if (shared && lock.st_uid != ::geteuid() && lock.st_uid != 0 && lock.st_uid != folder.st_uid) {
        m_error = EPERM;
        return State::Refused;
    }
    // A lock file made by an earlier run, or under another umask, is opened up to the document's other writers.
    if (known && lock.st_uid == ::geteuid()) {
        if ((lock.st_mode & 07777) != mode) {
            ::fchmod(m_fd, mode);
        }
        if (lock.st_gid != file.st_gid) {
            [[maybe_unused]] const int ignored = ::fchown(m_fd, static_cast<uid_t>(-1), file.st_gid);
        }
    }
    return State::Held;
}

DocumentLock::State DocumentLock::wait(int waitMilliseconds) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            return State::Held;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error != EWOULDBLOCK) {
            m_error = error;
            return State::Refused;
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            return State::TimedOut;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void DocumentLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
