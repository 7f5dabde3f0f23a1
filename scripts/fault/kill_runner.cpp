// Starts a program and ends it with SIGKILL after a given number of microseconds, or measures an undisturbed run.
//   kill_runner kill <microseconds> <program> [args...]   prints "killed" or "exited <status>"
//   kill_runner measure <document> <program> [args...]    prints the microseconds until the document was replaced
//                                                          (its inode changed) and until the program exited
//   kill_runner stop <seconds> <lock file> <program> [args...]
//                                                          stops the program with SIGSTOP while it holds the lock
//                                                          file (flock), prints "stopped", lets it go on after the
//                                                          given seconds and prints "exited <status>"
// The program's standard output and error go to this program's standard error.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

long long nowMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

pid_t start(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(2, 1);
        execv(argv[0], argv);
        std::perror("execv");
        _exit(127);
    }
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    return pid;
}

ino_t inodeOf(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 ? status.st_ino : 0;
}

int killAfter(long long microseconds, char** argv) {
    const pid_t pid = start(argv);
    const timespec pause{static_cast<time_t>(microseconds / 1000000), static_cast<long>(microseconds % 1000000) * 1000};
    clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, nullptr);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
        std::printf("killed\n");
    } else {
        std::printf("exited %d\n", WEXITSTATUS(status));
    }
    return 0;
}

int measure(const char* document, char** argv) {
    const ino_t before = inodeOf(document);
    const long long started = nowMicroseconds();
    const pid_t pid = start(argv);
    long long replaced = -1;
    int status = 0;
    // Short pauses between the polls: the save takes a millisecond or two, and a busy poll would slow the tool.
    const timespec pause{0, 20000};
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (replaced < 0 && inodeOf(document) != before) {
            replaced = nowMicroseconds() - started;
        }
        clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, nullptr);
    }
    const long long exited = nowMicroseconds() - started;
    std::printf("%lld %lld\n", replaced < 0 ? exited : replaced, exited);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

// Whether /proc/locks lists a lock of the process on the file with the given inode.
bool holdsLock(pid_t pid, ino_t inode) {
    std::ifstream locks("/proc/locks");
    const std::string owner = " " + std::to_string(pid) + " ", file = ":" + std::to_string(inode) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") == std::string::npos && line.find(owner) != std::string::npos &&
            line.find(file) != std::string::npos) {
            return true;
        }
    }
    return false;
}

int stopWhileHolding(int seconds, const char* lockFile, char** argv) {
    // A run may release the lock between the poll and the signal; then it is let go and started again.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const ino_t inode = inodeOf(lockFile);
        const pid_t pid = start(argv);
        int status = 0;
        bool stopped = false;
        while (!stopped && waitpid(pid, &status, WNOHANG) == 0) {
            if (inode != 0 && holdsLock(pid, inode)) {
                kill(pid, SIGSTOP);
                stopped = holdsLock(pid, inode);
                if (!stopped) {
                    kill(pid, SIGCONT);
                }
            }
        }
        if (stopped) {
            std::printf("stopped\n");
            std::fflush(stdout);
            sleep(static_cast<unsigned>(seconds));
            kill(pid, SIGCONT);
        }
        waitpid(pid, &status, 0);
        if (stopped) {
            std::printf("exited %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return 0;
        }
    }
    std::printf("never held\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: kill_runner kill <microseconds> <program> [args...]\n"
                     "       kill_runner measure <document> <program> [args...]\n"
                     "       kill_runner stop <seconds> <lock file> <program> [args...]\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "kill") {
        return killAfter(std::atoll(argv[2]), argv + 3);
    }
    if (mode == "measure") {
        return measure(argv[2], argv + 3);
    }
    if (mode == "stop" && argc >= 5) {
        return stopWhileHolding(std::atoi(argv[2]), argv[3], argv + 4);
    }
    std::fprintf(stderr, "kill_runner: unknown mode %s\n", argv[1]);
    return 2;
}
