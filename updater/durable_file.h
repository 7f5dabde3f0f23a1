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
    // fdatasync, for a file whose content is kept as it is: the bytes are all that must be on disk, and a full fsync
    // can make a file system write bookkeeping that a previous save left pending (f2fs: the parent of a renamed file).
    std::function<int(int fd)> dataSync;

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
// A link that the kernel would not follow in a sticky world-writable directory (one owned by neither the caller nor
// the directory's owner) is refused, whether or not the host protects such links.
// An existing file keeps its permission bits (and its owner when running as root); a new one gets 0666 less the
// umask, as a plain create would. A file that exists but may not be written is refused, as opening it would be.
// A file that already holds exactly content is not written again: its data and its directory are only synced (which
// writes nothing when nothing is dirty), and no temporary file is made.
// On failure the temporary file is removed and, unless only the directory sync failed, the old file is untouched.
// A complete save also removes the temporary files that earlier, killed saves of the same target left behind; a
// save holds a lock on its own temporary file until the rename, so a live save's file is never taken for one.
// Saves of one file from several processes or threads each land whole, the last rename winning; callers that read,
// change and save a document hold a DocumentLock around all three, or an update made in between is lost.
DurableFileResult replaceFileDurably(const std::string& path, const std::string& content,
                                     const DurableFileCalls& calls = DurableFileCalls::system());

// open(2) without updating the file's access time where the caller may ask that (as its owner or root), so that
// reading a file that is then left as it was writes nothing to the device; a plain open elsewhere.
int openWithoutAccessTime(const std::string& path, int flags);

// Serialises the read-modify-write of one document between processes and threads: an exclusive flock(2) on the lock
// file ".<name>.lock" beside the file the path leads to, never written, renamed or removed. The kernel drops the
// lock when its holder dies, and shell scripts take the same lock with flock(1). Take it once per process and
// document: a second lock of the same file in one thread waits for the first until it gives up.
//
// The lock file is opened relative to its directory, never through a link, and only a regular file is taken. It is
// made with the document's group and the document's owner and group permission bits, so that whoever may write the
// document may open it; where writing it is refused it is opened for reading, which is all flock needs. In a
// world-writable directory only a sticky one will do (nobody else can remove or rename the file there), and only a
// lock file owned by the caller, root or the directory's owner is trusted.
class DocumentLock {
  public:
    enum class State {
        Held,
        TimedOut,     // another holder kept it for the whole wait
        Unavailable,  // no save can succeed either (no directory, a read-only file system): going on loses nothing
        Refused,      // anything else in the way (error() says what): going on would let runs overlap
    };
    static constexpr int kDefaultWaitMilliseconds = 30000;

    // Tries at once, then every 10 ms until the wait is over.
    explicit DocumentLock(const std::string& documentPath, int waitMilliseconds = kDefaultWaitMilliseconds);
    ~DocumentLock() { release(); }
    DocumentLock(const DocumentLock&) = delete;
    DocumentLock& operator=(const DocumentLock&) = delete;

    State state() const { return m_state; }
    int error() const { return m_error; }
    const std::string& path() const { return m_path; }  // the lock file
    explicit operator bool() const { return m_state == State::Held; }
    // Lets the others in before the destructor would, e.g. once the document is on disk and a slow sync follows.
    void release();

  private:
    // Held once the lock file is open and may be locked; otherwise what became of the lock, error() saying why.
    State open(const std::string& document, int directory);
    State wait(int waitMilliseconds);

    std::string m_path;
    int m_fd = -1;
    State m_state = State::Refused;
    int m_error = 0;
};
