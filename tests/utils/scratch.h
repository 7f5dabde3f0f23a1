#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace scratch {

namespace fs = std::filesystem;

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// A temporary directory owned by one test; whatever the test locked inside is unlocked and removed with it.
class Dir {
  public:
    Dir() {
        char path[] = "/tmp/morvane_utils_XXXXXX";
        path_ = mkdtemp(path);
    }
    ~Dir() {
        unlock(path_);
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    static void unlock(const fs::path& dir) {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (const auto& entry : fs::directory_iterator(dir, ignored)) {
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
                unlock(entry.path());
            }
        }
    }

    std::string path_;
};

// Runs body in a child process that has no power to ignore file permissions (root gives it up for an unprivileged
// user); returns the child's exit code, or -1 when it did not exit normally.
inline int runUnprivileged(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        const uid_t nobody = 65534;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
            _exit(125);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

// Takes every free descriptor below a lowered limit, so that the next pipe() fails with EMFILE until some are
// released. The fillers close on exec, so a program started after a release does not inherit them.
class DescriptorExhaustion {
  public:
    DescriptorExhaustion() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 64);
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
            fillers_.push_back(fd);
        }
    }
    ~DescriptorExhaustion() {
        release(fillers_.size());
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorExhaustion(const DescriptorExhaustion&) = delete;
    DescriptorExhaustion& operator=(const DescriptorExhaustion&) = delete;

    void release(std::size_t count) {
        for (; count > 0 && !fillers_.empty(); --count) {
            close(fillers_.back());
            fillers_.pop_back();
        }
    }

  private:
    rlimit saved_{};
    std::vector<int> fillers_;
};

// Sends the process's standard output into a file until text() is called.
class StdoutCapture {
  public:
    explicit StdoutCapture(const std::string& file) : file_(file) {
        std::fflush(stdout);
        saved_ = dup(1);
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        close(fd);
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string text() {
        restore();
        return readFile(file_);
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, 1);
            close(saved_);
            saved_ = -1;
        }
    }

    std::string file_;
    int saved_ = -1;
};

}  // namespace scratch
