#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logging/quarn_logger.h"

// Running external programs. Every line a child writes on standard output or standard error is copied into the
// log, also what is left in the pipe when it has ended; nothing of it is returned. A program counts as carried out
// whenever it ran and ended on its own, whatever its exit code, except where a command below says otherwise.

// Runs path with argv (element 0 the program's name, null-terminated) in a child whose standard output and error go
// to the write end pfd[1]; the parent reads pfd[0]. Closes both ends. Returns the child's exit code (0 to 255), or -1
// when it could not be started, was ended by a signal or outlived the wait.
int forkAndExec(quarn_logger* logger, int* pfd, const std::string& path, std::vector<const char*>& argv);

// Parent side of forkAndExec: copies the child's output lines into the log until the child is reaped or the poll
// budget is spent. Returns the raw wait status, or -1 when none was obtained.
int monitorChildAndCaptureOutput(quarn_logger* logger, int* pfd, pid_t pid);

// Makes the pipe (close-on-exec, so that only this child gets it), null-terminates argv (it is changed) and runs the
// program. Returns forkAndExec's result, or -1 when the pipe cannot be made.
int Command_Executer(quarn_logger* logger, const std::string& path, std::vector<const char*>& argv);

// The running system slot (0 or 1) as the boot-control program reports it by its exit code, or -1.
int8_t getCurrentSystem(quarn_logger* logger);

// Flushes the file systems; the outcome is only logged.
void runSync(quarn_logger* logger);

// False when the run failed or the shell could not find (127) or execute (126) bootctl.
bool runBootCtl_X(quarn_logger* logger);

// Unpack a gzip-compressed tar archive (or one member of it) into destinationDir. True only when tar exits with 0; a
// run that did not end on its own is tried again (three attempts), never while a tar left running by the wait may
// still be extracting into destinationDir. An archive or member beginning with '-' ("-" included, which tar would read
// as the caller's standard input) is refused, tar not run.
// The fixed commands keep process-wide state: the archive tools that outlived the wait, so that no second one is
// started into the same directory while they run (shared by every thread; they are reaped on the next extraction).
bool extractArchive(quarn_logger* logger, const std::string& archive, const std::string& destinationDir);
bool extractArchiveEntry(quarn_logger* logger, const std::string& archive, const std::string& member,
                         const std::string& destinationDir);
