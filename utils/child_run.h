#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "logging/quarn_logger.h"

// Internal to the utilities, not installed: what the fixed commands learn of a run beyond its result.
struct ChildRun {
    int result;      // as forkAndExec returns it
    pid_t unreaped;  // a child that was started but not waited for (it may still run), else 0
};

// forkAndExec, telling apart a child that was left running.
ChildRun runChild(quarn_logger* logger, int* pfd, const std::string& path, const std::vector<const char*>& argv);
// Command_Executer, the same way.
ChildRun runCommand(quarn_logger* logger, const std::string& path, std::vector<const char*>& argv);
