// Runs programs with their output copied into the log and their exit code returned.
#include <cstdio>
#include <string>
#include <vector>

#include "console_logger.h"
#include "utils/process_utils.h"

int main() {
    ConsoleLogger logger;
    const std::string shell = "/bin/sh";

    // Element 0 is the program's own name; Command_Executer appends the terminating null pointer. Lines still in the
    // pipe when the program ends are read then.
    std::vector<const char*> argv = {shell.c_str(), "-c",
                                     "echo to standard output; echo to standard error >&2; exit 3"};
    std::printf("exit code: %d\n", Command_Executer(&logger, shell, argv));

    std::vector<const char*> killed = {shell.c_str(), "-c", "kill -KILL $$"};
    std::printf("killed by a signal: %d\n", Command_Executer(&logger, shell, killed));

    // The fixed commands log their outcome themselves.
    runSync(&logger);
    return 0;
}
