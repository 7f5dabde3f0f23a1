#include "utils/system_calls.h"

#include <unistd.h>

#include <atomic>

namespace {

std::atomic<const UtilsCalls*> current{nullptr};

}  // namespace

const UtilsCalls& UtilsCalls::system() {
    static const UtilsCalls calls{
        [](int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); },
        [](DIR* directory) { return ::readdir(directory); },
        [](const timespec* request, timespec* remaining) { return ::nanosleep(request, remaining); },
        nullptr,
        10000,
        "/usr/sbin/bootctl",
    };
    return calls;
}

const UtilsCalls& utilsCalls() {
    const UtilsCalls* calls = current.load();
    return calls != nullptr ? *calls : UtilsCalls::system();
}

UtilsCallsInPlace::UtilsCallsInPlace(const UtilsCalls& calls) : previous_(current.exchange(&calls)) {}

UtilsCallsInPlace::~UtilsCallsInPlace() {
    current.store(previous_);
}
