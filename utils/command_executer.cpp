#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/well_known_paths.h"
#include "utils/process_utils.h"

// A test build points this at a stand-in script inside its build tree.
#ifndef MORVANE_BOOTCTL_PATH
#define MORVANE_BOOTCTL_PATH "/usr/sbin/bootctl"
#endif

namespace {

const char* const kShell = "/bin/sh";
constexpr int kExtractionAttempts = 3;

// The command line both extractions start with; the strings must outlive the run.
std::vector<const char*> tarExtraction(const std::string& archive, const std::string& destinationDir) {
    return {TAR_TOOL.c_str(), "-xvzf", archive.c_str(), "-C", destinationDir.c_str()};
}

bool extractWithRetries(quarn_logger* logger, std::vector<const char*>& argv) {
    for (int attempt = 1;; ++attempt) {
        // Each attempt appends one more null pointer; the first one ends the arguments, so the rest do no harm.
        if (Command_Executer(logger, TAR_TOOL, argv) != -1) {
            return true;
        }
        std::printf("%s Command Execution Failed: %d retry\n", TAR_TOOL.c_str(), attempt);
        std::fflush(stdout);
        if (attempt == kExtractionAttempts) {
            return false;
        }
    }
}

}  // namespace

int Command_Executer(quarn_logger* logger, const std::string& path, std::vector<const char*>& argv) {
    int pfd[2] = {-1, -1};
    argv.push_back(nullptr);
    if (pipe(pfd) != 0) {
        logger->error("%s(%s): ::pipe failed due to: %s", __func__, QUARN_LINE, strerror(errno));
        return -1;
    }
    return forkAndExec(logger, pfd, path, argv);
}

int8_t getCurrentSystem(quarn_logger* logger) {
    const std::string program = MORVANE_BOOTCTL_PATH;
    std::vector<const char*> argv = {program.c_str(), "-i"};
    const int result = Command_Executer(logger, program, argv);
    if (static_cast<unsigned int>(result) > 1) {
        logger->error("%s(%s): Invalid System ID = %d received", __func__, QUARN_LINE, result);
        return -1;
    }
    return static_cast<int8_t>(result);
}

void runSync(quarn_logger* logger) {
    std::vector<const char*> argv = {kShell, "-c", "sync"};
    if (Command_Executer(logger, kShell, argv) == -1) {
        logger->error("%s(%s): Sync Failed", __func__, QUARN_LINE);
        return;
    }
    logger->verbose("%s(%s): Sync Successful", __func__, QUARN_LINE);
}

bool runBootCtl_X(quarn_logger* logger) {
    std::vector<const char*> argv = {kShell, "-c", "bootctl -x"};
    if (Command_Executer(logger, kShell, argv) == -1) {
        logger->error("%s(%s): bootctl -x failed.", __func__, QUARN_LINE);
        return false;
    }
    logger->verbose("%s(%s): bootctl -x successful", __func__, QUARN_LINE);
    return true;
}

bool extractArchive(quarn_logger* logger, const std::string& archive, const std::string& destinationDir) {
    std::vector<const char*> argv = tarExtraction(archive, destinationDir);
    return extractWithRetries(logger, argv);
}

bool extractArchiveEntry(quarn_logger* logger, const std::string& archive, const std::string& member,
                         const std::string& destinationDir) {
    std::vector<const char*> argv = tarExtraction(archive, destinationDir);
    argv.push_back(member.c_str());
    return extractWithRetries(logger, argv);
}
