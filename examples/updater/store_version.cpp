// Changing the version document beside the tool: the lock from before the load until the document is on disk.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "console_logger.h"
#include "updater/durable_file.h"
#include "updater/update_version_info.h"
#include "utils/file_utils.h"

bool storeBlockVersion(quarn_logger& logger, const std::string& document, int blockID, std::uint8_t systemID,
                       const std::string& versionFile) {
    DocumentLock lock(document);  // waits up to 30 s; DocumentLock(path, milliseconds) for another wait
    if (lock.state() == DocumentLock::State::TimedOut || lock.state() == DocumentLock::State::Refused) {
        return false;  // load nothing, save nothing: another writer may be in the middle of its own change
    }
    // Unavailable: no directory, or a read-only one, where the save cannot succeed either.
    RAROV_UpdateVersionInfo updater(&logger, document);
    // The save releases the lock it is handed once the document is on disk, before the slow sync.
    return updater.updateVersionforBlock(blockID, systemID, versionFile) && updater.writeToFile(lock);
}

int main() {
    ConsoleLogger logger;
    char scratch[] = "/tmp/morvane_example_XXXXXX";
    if (mkdtemp(scratch) == nullptr || !changeDirectory(&logger, scratch)) {
        return 1;
    }
    std::ofstream("block4.json") << R"({"Version": "0202"})";
    const bool stored = storeBlockVersion(logger, "VersionInfo.json", 4, 1, "block4.json");
    std::printf("stored: %s\n", stored ? "yes" : "no");
    std::printf("%s\n", (std::ostringstream() << std::ifstream("VersionInfo.json").rdbuf()).str().c_str());
    deleteDirectoryContents(&logger, scratch, true);
    return stored ? 0 : 1;
}
