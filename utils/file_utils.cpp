#include "utils/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils/fd_io.h"

namespace {

constexpr std::streamsize kMaxLineLength = 2147483647;

// Line numbers count from 1; 0 would otherwise wrap into four billion skips.
void skipLines(std::istream& in, unsigned int lineNumber) {
    for (unsigned int line = 1; line < lineNumber && in; ++line) {
        in.ignore(kMaxLineLength, '\n');
    }
}

// Appends everything from the stream's position to its end. The stream's own reads turn a failing buffer (a
// directory, an I/O error) into the bad state, with errno left as the failed call set it; false then.
bool readRest(std::istream& in, std::string& content) {
    char chunk[4096];
    errno = 0;
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<size_t>(in.gcount()));
    }
    if (in.bad() && errno == 0) {
        errno = EIO;
    }
    return !in.bad();
}

}  // namespace

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

void printFileContent(quarn_logger* logger, std::istream& in) {
    if (in.fail()) {
        logger->error("%s(%s): Received a Bad Stream", __func__, QUARN_LINE);
        return;
    }
    std::string content;
    if (!readRest(in, content)) {
        logger->error("%s(%s): Reading the stream failed(%s)", __func__, QUARN_LINE, strerror(errno));
        return;
    }
    logger->error("%s(%s): File Content:\n %s", __func__, QUARN_LINE, content.c_str());
}

void printFileContentByPath(quarn_logger* logger, const std::string& path) {
    std::ifstream in(path);
    printFileContent(logger, in);
}

int getFileSize(const std::string& path, quarn_logger* logger) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        logger->error("%s(%s): Unable to Open '%s' file. Returning invalid file size(-1)", __func__, QUARN_LINE,
                      path.c_str());
        return -1;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    // Files of 2 GiB and more would otherwise come back wrapped, often as a plausible size.
    if (size > INT_MAX) {
        logger->error("%s(%s): '%s' file size(%lld) does not fit the result. Returning invalid file size(-1)", __func__,
                      QUARN_LINE, path.c_str(), static_cast<long long>(size));
        return -1;
    }
    return static_cast<int>(size);
}

bool createFile(const std::string& path) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    return out.good();
}

bool copyFile(const std::string& sourcePath, const std::string& destinationPath) {
    // A FIFO at either end is refused rather than waited on.
    const int source = openForReading(sourcePath);
    if (source < 0) {
        return false;
    }
    char chunk[4096];
    struct stat from, to;
    // The first chunk is read before the destination is opened: a source that cannot be read leaves the destination
    // as it was. It is opened without truncation, so that a copy onto the source itself (through another name or a
    // link) is found before anything is lost.
    ssize_t got = readSome(source, chunk, sizeof chunk);
    const int destination = got >= 0 && fstat(source, &from) == 0 ? openForWriting(destinationPath) : -1;
    bool copied = destination >= 0 && fstat(destination, &to) == 0 &&
                  (from.st_dev != to.st_dev || from.st_ino != to.st_ino) &&
                  (!S_ISREG(to.st_mode) || ftruncate(destination, 0) == 0);
    for (; copied && got > 0; got = readSome(source, chunk, sizeof chunk)) {
        copied = writeAll(destination, chunk, static_cast<std::size_t>(got));
    }
    // A read that failed (an I/O error mid-file) or a write that failed (a full partition) must not pass for a
    // complete copy.
    copied = copied && got == 0;
    close(source);
    return destination >= 0 && close(destination) == 0 && copied;
}

bool remove_file(quarn_logger* logger, const char* path) {
    if (path == nullptr) {
        return false;
    }
    struct stat info;
    if (stat(path, &info) != 0) {
        return true;
    }
    if (std::remove(path) != 0) {
        logger->fatal("remove_file: \"%s\" file deletion failed: %s", path, strerror(errno));
        return false;
    }
    logger->verbose("remove_file: \"%s\" file deletion successful", path);
    return true;
}

std::string getEnvValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value == nullptr ? std::string() : std::string(value);
}

std::string readLine(std::fstream& file, unsigned int lineNumber, bool closeAfter) {
    if (!file.good()) {
        return std::string();
    }
    std::string line;
    std::getline(seekToLine(file, lineNumber), line);
    if (closeAfter) {
        file.close();
    }
    return line;
}

std::string readLineFromFile(const std::string& path, unsigned int lineNumber) {
    std::fstream file(path, std::ios::in | std::ios::out);
    return readLine(file, lineNumber, false);
}

std::istream& seekToLine(std::istream& in, unsigned int lineNumber) {
    in.seekg(0, std::ios::beg);
    skipLines(in, lineNumber);
    return in;
}
