#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// Redirects the process's standard error into a temporary file for its lifetime; text() returns what was written.
class StderrCapture {
  public:
    StderrCapture() {
        char path[] = "/tmp/morvane_stderr_XXXXXX";
        fd_ = mkstemp(path);
        path_ = path;
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(fd_, 2);
    }
    ~StderrCapture() {
        restore();
        close(fd_);
        unlink(path_.c_str());
    }
    std::string text() {
        restore();
        std::ifstream in(path_);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, 2);
            close(saved_);
            saved_ = -1;
        }
    }
    int fd_ = -1;
    int saved_ = -1;
    std::string path_;
};
