#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "utils/child_run.h"
#include "utils/fd_io.h"
#include "utils/process_utils.h"
#include "utils/system_calls.h"

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

// Waits for the child's end, or for its output and its end together, without reaping it. Where the kernel has no
// process descriptors (before 5.3) it looks at the child every few milliseconds instead.
class ExitWatch {
  public:
    explicit ExitWatch(pid_t pid) : pid_(pid) {
#ifdef SYS_pidfd_open
        fd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
#endif
    }
    ~ExitWatch() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ExitWatch(const ExitWatch&) = delete;
    ExitWatch& operator=(const ExitWatch&) = delete;

    // The pause between polls, cut short by the child's end: once its output has ended, nothing else is awaited.
    void pause() {
        const useconds_t micros = utilsCalls().childPollPauseMicros;
        pollfd end{fd_, POLLIN, 0};
        const timespec pause{static_cast<time_t>(micros / 1000000), static_cast<long>(micros % 1000000) * 1000};
        if (fd_ < 0 || (ppoll(&end, 1, &pause, nullptr) < 0 && errno != EINTR)) {
            usleep(micros);
        }
    }

    // Until output can be read, the output has ended, or the child has ended. A silent child is waited for as long
    // as it runs; one that ended while a descendant keeps the output open is not waited for beyond its end.
    void waitForOutput(int output) {
        pollfd both[2] = {{output, POLLIN, 0}, {fd_, POLLIN, 0}};
        for (;;) {
            const int ready = poll(both, fd_ >= 0 ? 2 : 1, fd_ >= 0 ? -1 : kLookMilliseconds);
            if (ready > 0 || (ready < 0 && errno != EINTR) || (fd_ < 0 && ready == 0 && ended())) {
                return;
            }
        }
    }

  private:
    static constexpr int kLookMilliseconds = 50;

    bool ended() const {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
    }

    const pid_t pid_;
    int fd_ = -1;
};

// The child's output cut into the pieces the log takes: a line with its line break, or 255 characters of a longer
// one, or what is left at the end. The read end does not block, so neither a descendant that keeps it open nor a
// line still being written holds the runner; bytes are counted, not scanned for a terminating zero, so a line that
// begins with one is a line like any other.
class OutputLines {
  public:
    OutputLines(quarn_logger* logger, int fd) : logger_(logger), fd_(fd) {}

    bool ended() const { return ended_; }

    // Copies one line into the log, waiting for output (or the child's end) when none is complete yet.
    void copyLine(ExitWatch& childEnd) {
        std::string line;
        if (!takeLine(line)) {
            childEnd.waitForOutput(fd_);
            fill();
            if (!takeLine(line)) {
                return;
            }
        }
        log(line);
    }

    // Copies everything that can be read now, and no more than limit bytes of it: the child has ended, and what a
    // descendant keeps writing is not waited for.
    void drain(std::size_t limit) {
        std::string line;
        for (;;) {
            while (takeLine(line)) {
                log(line);
            }
            const std::size_t got = limit > 0 ? fill() : 0;
            if (got == 0) {
                break;
            }
            limit -= std::min(got, limit);
        }
        if (!pending_.empty()) {
            log(pending_);
            pending_.clear();
        }
    }

  private:
    // Bytes read, 0 when nothing could be read now or the output has ended.
    std::size_t fill() {
        char chunk[4096];
        const ssize_t got = readSome(fd_, chunk, sizeof chunk);
        if (got <= 0) {
            ended_ = ended_ || got == 0 || errno != EAGAIN;
            return 0;
        }
        pending_.append(chunk, static_cast<std::size_t>(got));
        return static_cast<std::size_t>(got);
    }

    bool takeLine(std::string& line) {
        const std::size_t most = kLineBufferSize - 1;
        const std::size_t breakAt = pending_.find('\n');
        std::size_t length = pending_.size();
        if (breakAt < most) {
            length = breakAt + 1;
        } else if (pending_.size() >= most) {
            length = most;
        } else if (!ended_ || pending_.empty()) {
            return false;  // the rest of the line may still come
        }
        line.assign(pending_, 0, length);
        pending_.erase(0, length);
        return true;
    }

    void log(const std::string& line) {
        logger_->info("%s(%s): %s", "monitorChildAndCaptureOutput", QUARN_LINE, line.c_str());
    }

    quarn_logger* const logger_;
    const int fd_;
    std::string pending_;
    bool ended_ = false;
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
    const int flags = fcntl(pfd[0], F_GETFL);
    if (flags == -1 || fcntl(pfd[0], F_SETFL, flags | O_NONBLOCK) == -1) {
        logger->error("%s(%s): fcntl returned an error: %s", __func__, QUARN_LINE, strerror(errno));
        closeFD(logger, pfd[0]);
        return -1;
    }
    OutputLines output(logger, pfd[0]);
    ExitWatch childEnd(pid);
    for (int budget = kPollBudget;;) {
        if (waitpid(pid, &status, WNOHANG) != 0) {
            // The child's last lines may still be in the pipe: a pipe's worth is read, whoever else holds it.
            output.drain(static_cast<std::size_t>(std::max(fcntl(pfd[0], F_GETPIPE_SZ), 0)) + BUFSIZ);
            break;
        }
        if (--budget == 0) {
            logger->error("%s(%s): timeout happened while waiting for the child process to complete\n", __func__,
                          QUARN_LINE);
            break;
        }
        if (!output.ended()) {
            output.copyLine(childEnd);
        }
        childEnd.pause();
    }
    closeFD(logger, pfd[0]);
    return status;
}
