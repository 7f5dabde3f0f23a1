// Any quarn_logger serves the libraries: here the console logger of these examples.
#include "console_logger.h"
#include "utils/file_utils.h"

int main() {
    ConsoleLogger logger;
    logger.info("%s(%s): checking the version file", __func__, QUARN_LINE);
    if (getFileSize("/nonexistent/VersionInfo.json", &logger) < 0) {
        logger.warn("carrying on with defaults");
    }
    return 0;
}
