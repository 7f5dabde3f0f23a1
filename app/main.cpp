#include <cstdint>
#include <cstring>

#include "app/command_line.h"
#include "app/show.h"
#include "common/well_known_paths.h"
#include "logging/logcat_logger.h"
#include "updater/update_version_info.h"

// The fixed line tags ("58", "69") are these messages' identifiers, which the unit's log readers and the conformance
// checks match: they stay as they are wherever the lines move, unlike the QUARN_LINE tags of newer messages.

namespace {

enum class Update { Stored, Failed, BadArgument };

// Reads the command line and asks the updater for the one update it names.
Update applyUpdate(RAROV_UpdateVersionInfo& updater, quarn_logger& logger, int argc, char** argv) {
    if (argc == 5) {
        // BlockID and SystemID are not read for the audio data set.
        return updater.updateAudioDatasetVersionInfo(argv[3], argv[4]) ? Update::Stored : Update::Failed;
    }
    std::int32_t blockID = 0;
    if (!readDecimalArgument(argv[1], blockID)) {
        logger.error("%s(%s): Invalid BlockID '%s': expected a decimal number in the signed 32-bit range", "main",
                     QUARN_LINE, argv[1]);
        return Update::BadArgument;
    }
    std::int32_t systemID = 0;
    if (!readDecimalArgument(argv[2], systemID)) {
        logger.error("%s(%s): Invalid SystemID '%s': expected a decimal number in the signed 32-bit range", "main",
                     QUARN_LINE, argv[2]);
        return Update::BadArgument;
    }
    return updater.updateVersionforBlock(blockID, static_cast<std::uint8_t>(systemID), argv[3]) ? Update::Stored
                                                                                                : Update::Failed;
}

}  // namespace

int main(int argc, char** argv) {
    LogcatLogger logger("VERSION_UPDATER");
    if (const auto form = showFormOf(argc, argv)) {
        return runShow(*form, logger, VERSION_INFO_FILE);  // a reader takes no lock: saves replace the whole file
    }
    // Runs started together would each save the document they loaded, the last one undoing the others' updates.
    DocumentLock lock(VERSION_INFO_FILE);
    switch (lock.state()) {
        case DocumentLock::State::Held:
            break;
        case DocumentLock::State::TimedOut:
            logger.error("%s(%s): Waiting for the lock file(%s) timed out after %d s", __func__, QUARN_LINE,
                         lock.path().c_str(), DocumentLock::kDefaultWaitMilliseconds / 1000);
            return 1;
        case DocumentLock::State::Unavailable:
            // No directory, or a read-only one: the save fails as well, and says so in the words it always used.
            logger.warn("%s(%s): Locking the Version file(%s) failed(%s), going on without the lock", __func__,
                        QUARN_LINE, lock.path().c_str(), std::strerror(lock.error()));
            break;
        case DocumentLock::State::Refused:
            // Anything else would let runs overlap and lose each other's versions.
            logger.error("%s(%s): Locking the Version file(%s) failed(%s)", __func__, QUARN_LINE, lock.path().c_str(),
                         std::strerror(lock.error()));
            return 1;
    }
    // Loads the document before the arguments are looked at, so even a usage error reports a broken document.
    RAROV_UpdateVersionInfo updater(&logger, VERSION_INFO_FILE);
    if (!updater.isVersionFileReadable()) {
        return 1;  // logged by the loader; a save now would put defaults in place of every version it holds
    }

    if (argc != 4 && argc != 5) {
        logger.error("%s(%s): Usage: morvane BlockID SystemID Path_to_VersionFile DataSetName[Optional] \nExiting",
                     __func__, "58");
    } else {
        switch (applyUpdate(updater, logger, argc, argv)) {
            case Update::Stored:
                return updater.writeToFile(lock) ? 0 : 1;
            case Update::BadArgument:
                return 1;
            case Update::Failed:
                break;
        }
    }
    logger.error("%s(%s): Updating Version Information failed", __func__, "69");
    return 1;
}
