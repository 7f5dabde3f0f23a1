// The fuzz build's runSync, linked in place of the utilities' command source: it says what the real one says after
// a flush, without starting a child. A target counts its message to see that every save, and only a save, syncs.

#include "utils/process_utils.h"

void runSync(quarn_logger* logger) {
    logger->verbose("%s(%s): Sync Successful", __func__, QUARN_LINE);
}
