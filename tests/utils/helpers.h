#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "support/recording_logger.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using Logs = std::vector<std::string>;

// Keeps each message as "<level letter> <text>" in a file of its own, written at once, so that what a forked child
// logs reaches the test too. The source-line tag after a function name reads "(#)", so expectations survive edits
// of the code (a tag that is not a decimal number stays and fails the comparison), and home reads "~".
class FileLogger : public FormattingLogger {
  public:
    explicit FileLogger(const std::string& home) : home_(home) {}
    ~FileLogger() override { close(fd_); }
    void clear() { writeFile(path_, ""); }

    // Everything logged so far, by any process.
    Logs logs() const {
        Logs result;
        std::istringstream in(readFile(path_));
        for (std::string message; std::getline(in, message, '\0');) {
            result.push_back(message);
        }
        return result;
    }

    std::function<void(const std::string& text)> onMessage;

  private:
    void record(char letter, const char*, const std::string& text) override {
        static const std::regex lineTag(R"(^(\w+)\(\d+\): )");
        const std::string message = std::regex_replace(std::regex_replace(text, lineTag, "$1(#): "), home_, "~");
        // One write per message keeps the records of parent and child whole.
        EXPECT_GT(write(fd_, (letter + (" " + message) + '\0').c_str(), message.size() + 3), 0);
        if (onMessage) {
            onMessage(text);
        }
    }

    const std::regex home_;
    TempDir own_;
    const std::string path_ = own_ / "log";
    const int fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
};

// A scratch directory and a logger for each test.
class UtilsTest : public ::testing::Test {
  protected:
    // Sets up files for a test with shell commands run in its directory.
    void shell(const std::string& script) {
        ASSERT_EQ(std::system(("set -e; cd " + dir.path() + "; " + script).c_str()), 0) << script;
    }

    TempDir dir;
    FileLogger logger{dir.path()};
};

inline int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

// Leaves no descriptor to spare when starve is set, so that pipe() fails with EMFILE, until the returned function
// gives them back.
inline std::function<void()> starveDescriptors(bool starve) {
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit none{static_cast<rlim_t>(lowestFreeDescriptor()), saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, starve ? &none : &saved);
    return [saved] { setrlimit(RLIMIT_NOFILE, &saved); };
}

// The exit code of the child pid (-1: any child), or -1 when it did not end on its own.
inline int waitForExit(pid_t pid) {
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a child that cannot override file permissions (root becomes nobody); its exit code, or -1.
inline int runUnprivileged(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        const bool root = geteuid() == 0;
        _exit(root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) ? 125 : body());
    }
    return waitForExit(pid);
}
