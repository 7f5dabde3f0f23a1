#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "utils/fd_io.h"
#include "utils/file_utils.h"
#include "utils/system_calls.h"

namespace {

// Arguments of NamedSocket::open; their meaning belongs to the socket class.
constexpr int kSocketOpenArgs[] = {1, 5, 0};

timespec toTimespec(int milliseconds) {
    timespec pause{};
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    return pause;
}

// The environment's locale; a misconfigured environment must not turn a number lookup into an exception.
std::locale environmentLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

}  // namespace

uint32_t getFileCrc(const std::string& path, quarn_logger* logger) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // A FIFO or a socket is refused: its reader would wait for a writer, maybe forever.
    const int image = openForReading(path);
    if (image < 0) {
        logger->error("%s(%s): image for checksum calculation could not be opened", __func__, QUARN_LINE);
        return static_cast<uint32_t>(crc);
    }
    logger->debug("%s(%s): Opened device for hash calculation has size: %d", __func__, QUARN_LINE,
                  static_cast<int>(lseek(image, 0, SEEK_END)));
    const int failed = lseek(image, 0, SEEK_SET) < 0 ? errno : readChunks(image, [&crc](const char* data, size_t size) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    });
    close(image);
    // The checksum of part of an image is no answer; 0 is the failure result, as for an image that cannot be opened.
    if (failed != 0) {
        logger->error("%s(%s): Reading the image for checksum calculation failed(%s)", __func__, QUARN_LINE,
                      strerror(failed));
        return 0;
    }
    logger->debug("%s(%s): Calculated Checksum: %s", __func__, QUARN_LINE, toHexString(crc).c_str());
    return static_cast<uint32_t>(crc);
}

std::string toHexString(uint32_t value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

unsigned int extractNumber(std::string text) {
    std::size_t start = 0;
    if (text.size() > 1) {
        const std::locale locale = environmentLocale();
        start = text.size() - 1;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (std::isdigit(text[i], locale)) {
                start = i;
                break;
            }
        }
    }
    // The number is read as C text, so it ends at an embedded zero byte.
    std::istringstream in(text.c_str() + start);
    unsigned int number = 0;
    if (!(in >> number)) {
        return 0;
    }
    return number;
}

std::vector<uint8_t> hexStringToBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::istringstream piece(text.substr(i, 2));
        int value = 0;
        if (!(piece >> std::hex >> value)) {
            value = 0;
        }
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

std::vector<uint8_t> splitToBytes(const std::string& text, char delimiter) {
    std::vector<uint8_t> bytes;
    std::size_t position = 0;
    for (std::size_t next; (next = text.find(delimiter, position)) != std::string::npos; position = next + 1) {
        if (next != position) {
            bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(position, next - position))));
        }
    }
    // The last field is always converted, so an empty one throws like any field without digits.
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(position))));
    return bytes;
}

void sleepMilliseconds(int milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    const timespec pause = toTimespec(milliseconds);
    utilsCalls().nanosleep(&pause, nullptr);
}

int openSocket(NamedSocket* socket, const std::string& name, quarn_logger* logger, int retryPauseMs) {
    const timespec pause = toTimespec(retryPauseMs);
    for (;;) {
        if (const int state = socket->isOpen()) {
            return state;
        }
        if (socket->open(name, kSocketOpenArgs[0], kSocketOpenArgs[1], kSocketOpenArgs[2]) == -1) {
            logger->error("%s(%s): Failed in opening %s socket because: %s", __func__, QUARN_LINE, name.c_str(),
                          strerror(errno));
            if (retryPauseMs >= 1) {
                utilsCalls().nanosleep(&pause, nullptr);
            }
            continue;
        }
        logger->verbose("%s(%s): \"%s\" connection Successful", __func__, QUARN_LINE, name.c_str());
    }
}
