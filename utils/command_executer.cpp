#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "common/well_known_paths.h"
#include "utils/child_run.h"
#include "utils/process_utils.h"
#include "utils/system_calls.h"

namespace {

const char* const kShell = "/bin/sh";
constexpr int kExtractionAttempts = 3;
// The shell's exit codes for a command it could not execute or could not find.
constexpr int kShellCannotExecute = 126;
constexpr int kShellNotFound = 127;

// The command line both extractions start with; the strings must outlive the run.
std::vector<const char*> tarExtraction(const std::string& archive, const std::string& destinationDir) {
    return {TAR_TOOL.c_str(), "-xvzf", archive.c_str(), "-C", destinationDir.c_str()};
}

// Archive tools that outlived the runner's wait, with the directory each was extracting into: a second one there
// would race the first. They are this process's children, so their end is collected here.
struct Abandoned {
    pid_t pid;
    dev_t device;
    ino_t inode;
};
std::mutex abandonedLock;
std::vector<Abandoned> abandoned;

bool stillExtractingInto(const std::string& directory) {
    struct stat info;
    const std::lock_guard<std::mutex> hold(abandonedLock);
    abandoned.erase(std::remove_if(abandoned.begin(), abandoned.end(),
                                   [](const Abandoned& tool) { return waitpid(tool.pid, nullptr, WNOHANG) != 0; }),
                    abandoned.end());
    return stat(directory.c_str(), &info) == 0 &&
           std::any_of(abandoned.begin(), abandoned.end(), [&info](const Abandoned& tool) {
               return tool.device == info.st_dev && tool.inode == info.st_ino;
           });
}

void abandon(pid_t pid, const std::string& directory) {
    struct stat info;
    // A directory that is not there now cannot be written into by the tool either.
    if (stat(directory.c_str(), &info) == 0) {
        const std::lock_guard<std::mutex> hold(abandonedLock);
        abandoned.push_back({pid, info.st_dev, info.st_ino});
    }
}

// Only exit status 0 is a success: the archive tool's errors (a missing or damaged archive) stay on a retry, so only
// a run that did not end on its own is tried again.
bool extractWithRetries(quarn_logger* logger, std::vector<const char*>& argv, const std::string& destinationDir) {
    for (int attempt = 1;; ++attempt) {
        if (stillExtractingInto(destinationDir)) {
            logger->error("%s(%s): An earlier %s may still be extracting into '%s'; not started again", __func__,
                          QUARN_LINE, TAR_TOOL.c_str(), destinationDir.c_str());
            return false;
        }
        // Each attempt appends one more null pointer; the first one ends the arguments, so the rest do no harm.
        const ChildRun run = runCommand(logger, TAR_TOOL, argv);
        if (run.result == 0) {
            return true;
        }
        if (run.result > 0) {
            logger->error("%s(%s): %s failed with exit status %d", __func__, QUARN_LINE, TAR_TOOL.c_str(), run.result);
            return false;
        }
        if (run.unreaped != 0) {
            abandon(run.unreaped, destinationDir);
        }
        std::printf("%s Command Execution Failed: %d retry\n", TAR_TOOL.c_str(), attempt);
        std::fflush(stdout);
        if (attempt == kExtractionAttempts) {
            return false;
        }
    }
}

// The archive tool would read a name beginning with '-' as an option ("--to-command=..." runs a program), and an
// archive named "-" as its standard input, which is the caller's: such a name is refused and the tool not run.
bool readAsOption(quarn_logger* logger, const char* function, const char* what, const std::string& name) {
    if (name.empty() || name[0] != '-') {
        return false;
    }
    logger->error("%s(%s): %s '%s' begins with '-'; not extracted", function, QUARN_LINE, what, name.c_str());
    return true;
}

}  // namespace

ChildRun runCommand(quarn_logger* logger, const std::string& path, std::vector<const char*>& argv) {
    int pfd[2] = {-1, -1};
    argv.push_back(nullptr);
    // Close-on-exec: a child another thread starts meanwhile must not keep the write end, or the end of the output
    // would never be seen. The child's own standard output and error are duplicates, which stay open.
    if (pipe2(pfd, O_CLOEXEC) != 0) {
        logger->error("%s(%s): ::pipe failed due to: %s", "Command_Executer", QUARN_LINE, strerror(errno));
        return {-1, 0};
    }
    return runChild(logger, pfd, path, argv);
}

int Command_Executer(quarn_logger* logger, const std::string& path, std::vector<const char*>& argv) {
    return runCommand(logger, path, argv).result;
}

int8_t getCurrentSystem(quarn_logger* logger) {
    const std::string program = utilsCalls().bootctlProgram;
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
    // Every other exit code is the program's own answer.
    const int result = Command_Executer(logger, kShell, argv);
    if (result == -1 || result == kShellCannotExecute || result == kShellNotFound) {
        logger->error("%s(%s): bootctl -x failed.", __func__, QUARN_LINE);
        return false;
    }
    logger->verbose("%s(%s): bootctl -x successful", __func__, QUARN_LINE);
    return true;
}

bool extractArchive(quarn_logger* logger, const std::string& archive, const std::string& destinationDir) {
    if (readAsOption(logger, __func__, "Archive", archive)) {
        return false;
    }
    std::vector<const char*> argv = tarExtraction(archive, destinationDir);
    return extractWithRetries(logger, argv, destinationDir);
}

bool extractArchiveEntry(quarn_logger* logger, const std::string& archive, const std::string& member,
                         const std::string& destinationDir) {
    if (readAsOption(logger, __func__, "Archive", archive) ||
        readAsOption(logger, __func__, "Archive member", member)) {
        return false;
    }
    std::vector<const char*> argv = tarExtraction(archive, destinationDir);
    argv.push_back(member.c_str());
    return extractWithRetries(logger, argv, destinationDir);
}
