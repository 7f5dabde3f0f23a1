#include <cstdint>

#include "app/command_line.h"
#include "common/well_known_paths.h"
#include "logging/logcat_logger.h"

int main(int argc, char** argv) {
    LogcatLogger logger("VERSION_UPDATER");

    bool updated = false;
    if (argc == 4) {
        std::int32_t blockID = 0;
        std::int32_t systemID = 0;
        if (!readDecimalArgument(argv[1], blockID)) {
            logger.error("%s(%s): Invalid BlockID '%s': expected a decimal number in the 32-bit range", __func__,
                         QUARN_LINE, argv[1]);
            return 1;
        }
        if (!readDecimalArgument(argv[2], systemID)) {
            logger.error("%s(%s): Invalid SystemID '%s': expected a decimal number in the 32-bit range", __func__,
                         QUARN_LINE, argv[2]);
            return 1;
        }
        logger.error("%s(%s): No version updater in this build: block %d not updated", __func__, QUARN_LINE,
                     static_cast<int>(blockID));
    } else if (argc == 5) {
        logger.error("%s(%s): No version updater in this build: audio data set not updated", __func__, QUARN_LINE);
    } else {
        logger.error("%s(%s): Usage: morvane BlockID SystemID Path_to_VersionFile DataSetName[Optional] \nExiting",
                     __func__, "58");
    }

    if (!updated) {
        logger.error("%s(%s): Updating Version Information failed", __func__, "69");
        return 1;
    }
    return 0;
}
