// An outside tool: builds a document, writes it to a file and reads it back, runs a program through the utilities
// and logs through the platform log. Exits 0 only when every step did what it should.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"
#include "logging/logcat_logger.h"
#include "utils/process_utils.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer FILE\n";
        return 2;
    }
    LogcatLogger logger("CONSUMER");

    jsondoc::Object written;
    const jsondoc::Array numbers = jsondoc::Array() << 1234567 << 0.1 << 1.0 / 3 << 1e-310;
    written << "Version" << std::string("2.4.1") << "Slots" << (jsondoc::Array() << "a" << true << nullptr);
    written << "Numbers" << numbers;
    {
        // Every number reads back bit for bit, on the host and on the unit.
        std::ofstream file(argv[1]);
        file << jsondoc::exactNumbers << written;
        if (!file.flush()) {
            return 1;
        }
    }
    jsondoc::Object read;
    std::ifstream file(argv[1]);
    if (!read.parse(file) || read != written) {
        std::cerr << "the document did not read back\n";
        return 1;
    }

    const std::string shell = "/bin/sh";
    std::vector<const char*> command = {shell.c_str(), "-c", "exit 7"};
    if (Command_Executer(&logger, shell, command) != 7) {
        std::cerr << "the child's exit code did not come back\n";
        return 1;
    }
    logger.info("%s(%s): done", __func__, QUARN_LINE);
    std::cout << "consumer: ok\n";
    return 0;
}
