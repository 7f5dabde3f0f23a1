#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "utils/child_run.h"
#include "utils/process_utils.h"

// A test build sets the pause at run time, so that the poll budget can be used up quickly.
#ifdef MORVANE_CHILD_POLL_PAUSE_SEAM
extern useconds_t childPollPauseMicros;
#else
constexpr useconds_t childPollPauseMicros = 10000;
#endif

namespace {

// Counts polls that find the child still running, not time.
constexpr int kPollBudget = 10001;
// One read delivers at most 255 characters.
constexpr int kLineBufferSize = 256;

bool closeFD(quarn_logger* logger, int fd) {
    if (::close(fd) == 0) {
        return true;
    }
    logger->error("%s(%s): ::close returned an error for [%d]: %s", __func__, QUARN_LINE, fd, strerror(errno));
    return false;
}

bool dupFD(quarn_logger* logger, int oldFD, int newFD) {
    // dup2 onto itself would keep close-on-exec, and the exec would then close the child's output.
    if (oldFD == newFD ? fcntl(newFD, F_SETFD, 0) != -1 : ::dup2(oldFD, newFD) != -1) {
        return true;
    }
    logger->error("%s(%s): ::dup2 returned an error for oldFD[%d] & newFD[%d]: %s", __func__, QUARN_LINE, oldFD, newFD,
                  strerror(errno));
    return false;
}

// The child's side of the pipe: both of its output streams go to the write end.
bool closeAndDupFD(quarn_logger* logger, int* pfd) {
    if (!closeFD(logger, pfd[0])) {
        logger->error("%s(%s): closeFD failed for pfd[0]", __func__, QUARN_LINE);
        return false;
    }
    return dupFD(logger, pfd[1], STDOUT_FILENO) && dupFD(logger, pfd[1], STDERR_FILENO);
}

// execv reads up to the first null pointer; a caller that forgot it must not send it past the vector's end.
std::vector<const char*> terminated(const std::vector<const char*>& argv) {
    std::vector<const char*> args(argv);
    if (args.empty() || args.back() != nullptr) {
        args.push_back(nullptr);
    }
    return args;
}

// The pause once the child's output has ended: nothing is left to wait for but the child's end, so the pause ends
// with it. A child that closed its output and runs on still gets the whole pause. Where the kernel has no process
// descriptors (before 5.3) it is the plain pause.
class ExitWatch {
  public:
    explicit ExitWatch(pid_t pid) : pid_(pid) {}
    ~ExitWatch() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ExitWatch(const ExitWatch&) = delete;
    ExitWatch& operator=(const ExitWatch&) = delete;

    void pause() {
#ifdef SYS_pidfd_open
        if (fd_ == kNotOpened) {
            fd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        }
        if (fd_ >= 0) {
            pollfd end{fd_, POLLIN, 0};
            const timespec pause{static_cast<time_t>(childPollPauseMicros / 1000000),
                                 static_cast<long>(childPollPauseMicros % 1000000) * 1000};
            if (ppoll(&end, 1, &pause, nullptr) >= 0 || errno == EINTR) {
                return;
            }
        }
#endif
        usleep(childPollPauseMicros);
    }

  private:
    static constexpr int kNotOpened = -2;
    const pid_t pid_;
    int fd_ = kNotOpened;
};

}  // namespace

ChildRun runChild(quarn_logger* logger, int* pfd, const std::string& path, const std::vector<const char*>& argv) {
    const std::vector<const char*> args = terminated(argv);
    const pid_t pid = fork();
    if (pid < 0) {
        logger->error("%s(%s): Fork failed: %s\n", "forkAndExec", QUARN_LINE, strerror(errno));
        // Nobody else will close them, and a tool that retries would run out of descriptors.
        closeFD(logger, pfd[0]);
        closeFD(logger, pfd[1]);
        return {-1, 0};
    }
    if (pid == 0) {
        if (!closeAndDupFD(logger, pfd)) {
            logger->error("%s(%s): closeAndDupFD returned an error", "forkAndExec", QUARN_LINE);
            _exit(1);
        }
        execv(path.c_str(), const_cast<char* const*>(args.data()));
        logger->error("%s(%s): child process execve failed :%s\n", "forkAndExec", QUARN_LINE, strerror(errno));
        _exit(1);
    }
    const int status = monitorChildAndCaptureOutput(logger, pfd, pid);
    // Only waitpid writes a status; -1 means the child was never collected and may still run.
    if (status == -1) {
        return {-1, pid};
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0};
}

int forkAndExec(quarn_logger* logger, int* pfd, const std::string& path, std::vector<const char*>& argv) {
    return runChild(logger, pfd, path, argv).result;
}

int monitorChildAndCaptureOutput(quarn_logger* logger, int* pfd, pid_t pid) {
    int status = -1;
    // Without the parent's copy of the write end gone, the read end would never see the end of the stream.
    if (!closeFD(logger, pfd[1])) {
        logger->error("%s(%s): closeFD failed for pfd[1]", __func__, QUARN_LINE);
        return status;
    }
    FILE* stream = fdopen(pfd[0], "r");
    if (stream == nullptr) {
        logger->error("%s(%s): fdopen returned an error: %s", __func__, QUARN_LINE, strerror(errno));
        return -1;
    }
    char line[kLineBufferSize];
    const char* const name = __func__;
    const auto copyLine = [&]() -> std::size_t {
        if (fgets(line, sizeof line, stream) == nullptr) {
            return 0;
        }
        logger->info("%s(%s): %s", name, QUARN_LINE, line);
        return std::strlen(line);
    };
    ExitWatch childEnd(pid);
    for (int budget = kPollBudget;;) {
        if (waitpid(pid, &status, WNOHANG) != 0) {
            // The child's last lines may still be in the pipe or the stream's buffer. A descendant that kept the
            // write end is not waited for, and one that keeps writing gets no more than a pipe's worth read.
            const int fd = fileno(stream);
            std::size_t left = static_cast<std::size_t>(std::max(fcntl(fd, F_GETPIPE_SZ), 0)) + BUFSIZ;
            clearerr(stream);
            if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != -1) {
                for (std::size_t got; left > 0 && (got = copyLine()) > 0; left -= std::min(got, left)) {
                }
            }
            break;
        }
        if (--budget == 0) {
            logger->error("%s(%s): timeout happened while waiting for the child process to complete\n", __func__,
                          QUARN_LINE);
            break;
        }
        copyLine();
        if (feof(stream)) {
            childEnd.pause();
        } else {
            usleep(childPollPauseMicros);
        }
    }
    fclose(stream);
    return status;
}
