// Uses each installed library once and checks the results, so a broken install fails here and not on the unit.
#include <cstdio>
#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"
#include "logging/logcat_logger.h"
#include "utils/file_utils.h"

int main() {
    jsondoc::Object document;
    if (!document.parse(std::string(R"({"Version": "0/1", "BlockID": 4})"))) {
        std::fprintf(stderr, "consumer: parse failed\n");
        return 1;
    }
    std::ostringstream text;
    text << document;
    const std::string expected = R"({"BlockID": 4, "Version": "0\/1"})";
    if (text.str() != expected) {
        std::fprintf(stderr, "consumer: wrote %s\n", text.str().c_str());
        return 1;
    }
    if (toHexString(255) != "ff") {
        std::fprintf(stderr, "consumer: utils gave a wrong answer\n");
        return 1;
    }
    LogcatLogger logger("MORVANE_CONSUMER");
    logger.info("%s(%s): installed libraries work", __func__, "1");
    std::printf("consumer: ok\n");
    return 0;
}
