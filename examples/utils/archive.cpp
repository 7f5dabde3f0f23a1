// Unpacks an archive with the shared extraction command, logging through the platform log as a real tool does.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "logging/logcat_logger.h"
#include "utils/file_utils.h"
#include "utils/process_utils.h"

int main() {
    LogcatLogger logger("ARCHIVE_EXAMPLE");
    char scratch[] = "/tmp/morvane_example_XXXXXX";
    if (mkdtemp(scratch) == nullptr || !changeDirectory(&logger, scratch)) {
        return 1;
    }
    createDirectory("payload", &logger);
    std::ofstream("payload/version.json") << R"({"Version": "2.4.1"})";
    const std::string tar = "/bin/tar";
    std::vector<const char*> pack = {tar.c_str(), "-czf", "bundle.tgz", "payload"};
    std::printf("packed: exit code %d\n", Command_Executer(&logger, tar, pack));

    createDirectory("unpacked", &logger);
    std::printf("extracted: %d\n", extractArchive(&logger, "bundle.tgz", "unpacked"));
    std::printf("version file there: %d\n", fileExists("unpacked/payload/version.json"));

    // tar reports a missing or damaged archive by its exit code: logged, false, and not tried again.
    std::printf("missing archive extracted: %d\n", extractArchive(&logger, "missing.tgz", "unpacked"));
    // A member name tar would read as an option is refused before tar runs.
    std::printf("member '--to-command=sh' extracted: %d\n",
                extractArchiveEntry(&logger, "bundle.tgz", "--to-command=sh", "unpacked"));

    return deleteDirectoryContents(&logger, scratch, true) ? 0 : 1;
}
