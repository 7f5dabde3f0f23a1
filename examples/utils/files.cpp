// Files and directories in a scratch directory; relative paths keep the log free of the scratch name.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "console_logger.h"
#include "utils/file_utils.h"

int main() {
    ConsoleLogger logger;
    char scratch[] = "/tmp/morvane_example_XXXXXX";
    if (mkdtemp(scratch) == nullptr || !changeDirectory(&logger, scratch)) {
        return 1;
    }

    std::ofstream("notes.txt") << "first line\nsecond line\n";
    std::printf("exists: %d\n", fileExists("notes.txt"));
    std::printf("size: %d\n", getFileSize("notes.txt", &logger));
    std::printf("line 2: %s\n", readLineFromFile("notes.txt", 2).c_str());
    std::printf("copied: %d\n", copyFile("notes.txt", "copy.txt"));
    printFileContentByPath(&logger, "copy.txt");

    // Failures show in the result; those of functions with a logger are logged once.
    std::printf("size of a missing file: %d\n", getFileSize("missing.txt", &logger));
    std::printf("copy of a missing file: %d\n", copyFile("missing.txt", "other.txt"));
    std::printf("line of a missing file: '%s'\n", readLineFromFile("missing.txt", 1).c_str());

    createDirectory("images", &logger);
    createDirectory("images/old", &logger);
    createFile("images/block4.img");
    createFile("images/block3.img");
    // A relative target is read from the link's directory, and that is where it is looked for.
    createSymlink("../notes.txt", "images/notes", &logger);
    std::printf("regular files: %d\n", NumberofFilesinDirectory(&logger, "images", false));
    for (const std::string& name : listFilesinDirectory("images", &logger)) {
        std::printf("entry: %s\n", name.c_str());
    }
    // Links inside are removed, never followed: notes.txt stays.
    deleteDirectoryContents(&logger, "images", true);
    std::printf("images exists: %d, notes.txt exists: %d\n", directoryExists("images"), fileExists("notes.txt"));

    remove_file(&logger, "notes.txt");
    remove_file(&logger, "copy.txt");
    return deleteDirectoryContents(&logger, scratch, true) ? 0 : 1;
}
