#include "utils/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "utils/system_calls.h"

namespace {

// A descriptor opened with O_NONBLOCK, blocking again if it is a file or a device, else closed (-1, errno set).
int blockingUnlessQueue(int fd) {
    if (fd < 0) {
        return -1;
    }
    struct stat status;
    int error = 0;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fstat(fd, &status) != 0) {
        error = errno;
    } else if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        error = EINVAL;
    } else if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        error = errno;
    }
    if (error == 0) {
        return fd;
    }
    ::close(fd);
    errno = error;
    return -1;
}

}  // namespace

int openForReading(const std::string& path) {
    return blockingUnlessQueue(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

int openForWriting(const std::string& path) {
    return blockingUnlessQueue(::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
}

ssize_t readSome(int fd, char* buffer, std::size_t size) {
    ssize_t got;
    do {
        got = utilsCalls().read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

ssize_t readFull(int fd, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t count = readSome(fd, buffer + got, size - got);
        if (count < 0) {
            return -1;
        }
        if (count == 0) {
            break;
        }
        got += static_cast<std::size_t>(count);
    }
    return static_cast<ssize_t>(got);
}

int readChunks(int fd, const std::function<void(const char* data, std::size_t size)>& use) {
    char chunk[4096];
    for (;;) {
        const ssize_t got = readSome(fd, chunk, sizeof chunk);
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        use(chunk, static_cast<std::size_t>(got));
    }
}

int readAll(int fd, std::string& content) {
    return readChunks(fd, [&content](const char* data, std::size_t size) { content.append(data, size); });
}

bool writeAll(int fd, const char* data, std::size_t size, const WriteCall& write) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written == 0 ? EIO : errno;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}
