#pragma once

// The process's resident memory as the kernel counts it, for the memory instruments.

#include <cstdio>
#include <cstring>

namespace bench {

// A figure of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1 where there is none.
inline long statusKib(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return -1;
    }
    char line[256];
    long kib = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            std::sscanf(line + length + 1, "%ld", &kib);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

inline double residentMib() {
    return static_cast<double>(statusKib("VmRSS")) / 1024.0;
}

}  // namespace bench
