// The CRC-32 of a file and the small text-to-number conversions.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "console_logger.h"
#include "utils/file_utils.h"

static void printBytes(const char* label, const std::vector<uint8_t>& bytes) {
    std::printf("%s:", label);
    for (uint8_t byte : bytes) {
        std::printf(" %u", byte);
    }
    std::printf("\n");
}

int main() {
    ConsoleLogger logger;
    char scratch[] = "/tmp/morvane_example_XXXXXX";
    if (mkdtemp(scratch) == nullptr || !changeDirectory(&logger, scratch)) {
        return 1;
    }
    std::ofstream("image.bin") << "123456789";
    std::printf("crc: %s\n", toHexString(getFileCrc("image.bin", &logger)).c_str());
    std::printf("crc of a missing file: %u\n", getFileCrc("missing.bin", &logger));
    deleteDirectoryContents(&logger, scratch, true);

    std::printf("toHexString(255): %s\n", toHexString(255).c_str());
    std::printf("extractNumber(\"Version 12.3\"): %u\n", extractNumber("Version 12.3"));
    std::printf("extractNumber(\"abc\"): %u\n", extractNumber("abc"));
    printBytes("hexStringToBytes(\"0aff1\")", hexStringToBytes("0aff1"));
    printBytes("splitToBytes(\"10.0.255\", '.')", splitToBytes("10.0.255", '.'));
    printBytes("splitToBytes(\"1..300\", '.')", splitToBytes("1..300", '.'));
    // The one helper that throws: a field without digits.
    try {
        splitToBytes("1.2.", '.');
    } catch (const std::invalid_argument& error) {
        std::printf("splitToBytes(\"1.2.\", '.') throws invalid_argument: %s\n", error.what());
    }
    return 0;
}
