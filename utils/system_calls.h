#pragma once

// Internal to the utilities, not installed: the system calls and settings they use where a test needs to make one
// fail, watch it or shorten it. One struct, as the save has its DurableFileCalls: the system's own unless a test has
// put others in place.

#include <dirent.h>
#include <sys/types.h>
#include <time.h>

#include <functional>
#include <string>

struct UtilsCalls {
    std::function<ssize_t(int fd, void* buffer, size_t size)> read;
    std::function<dirent*(DIR* directory)> readdir;
    std::function<int(const timespec* request, timespec* remaining)> nanosleep;
    // Called where the directory walk is about to open a directory: nothing on the unit.
    std::function<void(const std::string& path)> beforeOpeningDirectory;
    useconds_t childPollPauseMicros;  // the pause between the runner's polls
    std::string bootctlProgram;

    static const UtilsCalls& system();
};

// The calls in use.
const UtilsCalls& utilsCalls();

// Puts calls in place for its lifetime: for tests, while no other thread runs the utilities.
class UtilsCallsInPlace {
  public:
    explicit UtilsCallsInPlace(const UtilsCalls& calls);
    ~UtilsCallsInPlace();
    UtilsCallsInPlace(const UtilsCallsInPlace&) = delete;
    UtilsCallsInPlace& operator=(const UtilsCallsInPlace&) = delete;

  private:
    const UtilsCalls* previous_;
};
