#pragma once

#include <cstdint>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

#include "logging/quarn_logger.h"

// Stateless helpers for files, directories, checksums and conversions. They report failures through their result
// and at most one log message; none throws for a file-system failure.

// --- Single files ---

// True when stat succeeds; a dangling symbolic link does not exist.
bool fileExists(const std::string& path);

// Logs everything from the stream's position to its end in one error message (a dump of rejected input); a read
// that fails is logged instead.
void printFileContent(quarn_logger* logger, std::istream& in);
void printFileContentByPath(quarn_logger* logger, const std::string& path);

// Size in bytes, or -1 when the file cannot be opened or its size does not fit the result.
int getFileSize(const std::string& path, quarn_logger* logger);

// Creates the file, or truncates it when present.
bool createFile(const std::string& path);
// Copies the whole content. The destination is not touched unless the source could be opened and its first read
// succeeded, nor when it is the source itself (the same device and inode); a failed read or write gives false.
bool copyFile(const std::string& sourcePath, const std::string& destinationPath);

// Removes a file or an empty directory. True also when stat finds nothing there, so a dangling link stays.
bool remove_file(quarn_logger* logger, const char* path);

// The variable's value, or an empty string when it is not set.
std::string getEnvValue(const std::string& name);

// Line numbers count from 1; 0 is taken as 1. A line past the end reads as an empty string.
std::string readLine(std::fstream& file, unsigned int lineNumber, bool closeAfter);
std::string readLineFromFile(const std::string& path, unsigned int lineNumber);
std::istream& seekToLine(std::istream& in, unsigned int lineNumber);

// --- Directories and links ---

bool directoryExists(const std::string& path);

// Creates the last component of path. True when a directory is there afterwards, also one another process made at the
// same moment; anything else already there gives false.
bool createDirectory(const std::string& path, quarn_logger* logger);

// Creates linkPath holding targetPath, which must exist as the link will read it: a relative target from the link's
// directory. Anything already at linkPath counts as success.
bool createSymlink(const std::string& targetPath, const std::string& linkPath, quarn_logger* logger);

bool changeDirectory(quarn_logger* logger, const std::string& path);

// Counts the regular files directly in directory (entries of unreported type are looked at), plus "." and ".." when
// countDotEntries is set; 0 on failure.
int NumberofFilesinDirectory(quarn_logger* logger, const std::string& directory, bool countDotEntries);

// Empties directory (and removes it when removeDirectory is set), walking by descriptors: links are removed, never
// followed, also one swapped in during the walk, and long paths are no limit. A missing directory is success; special
// files are skipped. Goes on past every removal that fails, logging it, and then gives false.
bool deleteDirectoryContents(quarn_logger* logger, const std::string& directory, bool removeDirectory);

// Entry names (not paths) without "." and "..", in ascending byte order; empty when the directory cannot be opened.
std::vector<std::string> listFilesinDirectory(const std::string& directory, quarn_logger* logger);

// --- Checksums and conversions ---

// CRC-32 of the whole file or device image; 0 when it cannot be opened or read (as for an empty file).
uint32_t getFileCrc(const std::string& path, quarn_logger* logger);

// Lower-case hexadecimal without prefix or leading zeros.
std::string toHexString(uint32_t value);

// The first unsigned decimal number in text ("Version 12.3" gives 12), or 0.
unsigned int extractNumber(std::string text);

// Two hexadecimal digits per byte; an unreadable pair gives 0, an odd length a last one-digit byte.
std::vector<uint8_t> hexStringToBytes(const std::string& text);

// Decimal fields separated by delimiter, each kept to its low 8 bits; empty fields in the middle are skipped.
// Throws std::invalid_argument for a field without digits (an empty last field included) and std::out_of_range
// for one outside int.
std::vector<uint8_t> splitToBytes(const std::string& text, char delimiter);

// One nanosleep, not resumed when a signal cuts it short; 0 or less returns at once.
void sleepMilliseconds(int milliseconds);

// --- Named sockets ---

// What openSocket needs of a socket; the real class lives with its users.
class NamedSocket {
  public:
    virtual ~NamedSocket() = default;
    // Non-zero when connected.
    virtual int isOpen() = 0;
    // -1 with errno set on failure.
    virtual int open(const std::string& name, int arg1, int arg2, int arg3) = 0;
};

// Keeps opening name, pausing retryPauseMs between failed attempts, until the socket reports a connection; returns
// that non-zero state. Never gives up.
int openSocket(NamedSocket* socket, const std::string& name, quarn_logger* logger, int retryPauseMs);
