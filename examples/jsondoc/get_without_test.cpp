// What a get<T> without its test does: the library's check ends the process. The misuse runs in a child here so
// that this program can report how the child ended and what it wrote to standard error.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return 1;
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        // This crash is on purpose: no core file for it.
        const rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        jsondoc::Object document;
        document.parse(std::string(R"({"Version": 2})"));
        // Wrong type: "Version" holds a number. has<jsondoc::String>("Version") would have said so.
        document.get<jsondoc::String>("Version");
        _exit(0);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);

    // The rest of the message names the file and line of the check and the runtime's own assertion line.
    std::printf("standard error starts: %s\n", text.substr(0, text.find(" at ")).c_str());
    std::printf("ended by SIGABRT: %s\n", WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT ? "yes" : "no");
    return 0;
}
