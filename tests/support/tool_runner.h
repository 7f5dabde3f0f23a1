#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

// Runs the built tool as its callers do, through the cross build's emulator where there is one, and collects its
// exit status and what the log library wrote to standard error.
struct ToolRun {
    int exitStatus = -1;  // -1 when the tool did not exit normally
    int signal = 0;
    std::string log;
};

inline ToolRun runTool(const std::string& tool, const std::vector<std::string>& args) {
    std::vector<std::string> command;
    std::istringstream launcher(MORVANE_TEST_EMULATOR);
    for (std::string word; launcher >> word;) {
        command.push_back(word);
    }
    command.push_back(tool);
    command.insert(command.end(), args.begin(), args.end());

    char logPath[] = "/tmp/morvane_toollog_XXXXXX";
    const int logFd = mkstemp(logPath);
    ToolRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(logFd, 2);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        std::vector<char*> argv;
        for (auto& word : command) {
            argv.push_back(&word[0]);
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    std::ifstream in(logPath);
    std::stringstream text;
    text << in.rdbuf();
    run.log = text.str();
    close(logFd);
    unlink(logPath);
    return run;
}

struct LogLine {
    char priority;
    std::string text;
};

// The messages of a captured log, without the library's tag, time and process columns. A line that does not start
// a message continues the previous one (a message with line breaks inside).
inline std::vector<LogLine> logMessages(const std::string& log) {
    static const std::regex start(R"(^VERSION_UPDATER ([VDIWEF]) \d\d-\d\d \d\d:\d\d:\d\d(?:\.\d+)? +\d+ +\d+ (.*)$)");
    std::vector<LogLine> messages;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, start)) {
            messages.push_back({match[1].str()[0], match[2].str()});
        } else if (!messages.empty()) {
            messages.back().text += "\n" + line;
        }
    }
    return messages;
}
