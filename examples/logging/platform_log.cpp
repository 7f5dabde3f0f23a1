// A tool's own messages through the platform log, in the form the libraries use.
#include <cstdio>

#include "logging/logcat_logger.h"

int main() {
    // The tag is borrowed: a string literal outlives everything.
    LogcatLogger logger("MY_TOOL");
    logger.info("%s(%s): started with %d blocks", __func__, QUARN_LINE, 7);
    logger.error("%s(%s): Opening '%s' failed", __func__, QUARN_LINE, "/data/missing.json");
    // Below the log's threshold off the unit: not shown there.
    logger.verbose("%s(%s): details nobody asked for", __func__, QUARN_LINE);
    std::printf("logged three messages\n");
    return 0;
}
