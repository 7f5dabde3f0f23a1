#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "utils/file_utils.h"
#include "utils/system_calls.h"

namespace {

constexpr mode_t kDirectoryMode = 0777;

bool isDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The name the walk's messages carry, whichever level of it logs.
const char kWalker[] = "deleteDirectoryContents";

// Another remover that took an entry away first leaves it gone all the same.
bool gone(int error) {
    return error == ENOENT;
}

bool deleteTree(quarn_logger* logger, int at, const char* name, const std::string& path, bool removeItself, bool top);

// Removes one entry of a tree being deleted, by its name in the directory open at parent; path names it in the
// messages. What cannot be removed is logged and left, and gives false.
bool removeEntry(quarn_logger* logger, int parent, const char* name, const std::string& path) {
    struct stat info;
    if (fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        logger->fatal("remove_dir: lstat() failed for %s file due to: %s\n", path.c_str(), strerror(error));
        return gone(error);
    }
    if (S_ISDIR(info.st_mode)) {
        if (!deleteTree(logger, parent, name, path, true, false)) {
            logger->error("%s(%s): Removing '%s' folder failed", kWalker, QUARN_LINE, path.c_str());
            return false;
        }
        return true;
    }
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        logger->verbose("remove_dir: nothing to delete\n");
        return true;
    }
    // A link goes itself, never what it points to, which may lie outside the tree.
    if (unlinkat(parent, name, 0) == 0) {
        return true;
    }
    const int error = errno;
    if (S_ISREG(info.st_mode)) {
        logger->error("%s(%s): Removing '%s' file failed due to '%s'", kWalker, QUARN_LINE, path.c_str(),
                      strerror(error));
    } else {
        logger->error("%s(%s): Unlinking '%s' file failed due to '%s'", kWalker, QUARN_LINE, path.c_str(),
                      strerror(error));
    }
    return gone(error);
}

// Empties the directory name (relative to the directory open at at) and removes it when asked; false when anything
// it tried to remove is still there. The walk holds each directory open and works by names inside it, so no path
// grows past PATH_MAX, and below the top, which the caller named, it opens no link: a subdirectory swapped for a link
// during the walk is not followed out of the tree.
bool deleteTree(quarn_logger* logger, int at, const char* name, const std::string& path, bool removeItself, bool top) {
    if (const auto& hook = utilsCalls().beforeOpeningDirectory) {
        hook(path);  // where a test swaps entries, between the walk's look at a directory and its opening
    }
    const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (top ? 0 : O_NOFOLLOW));
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        if (gone(error)) {
            logger->warn("Folder doesn't exist to delete but we can still proceed with next step\n");
            return true;
        }
        logger->fatal("remove_dir: opendir returned an error: %s\n", strerror(error));
        return false;
    }
    bool removed = true;
    for (errno = 0; const dirent* entry = utilsCalls().readdir(dir); errno = 0) {
        if (!isDotEntry(entry->d_name)) {
            removed = removeEntry(logger, dirfd(dir), entry->d_name, path + "/" + entry->d_name) && removed;
        }
    }
    // A listing cut short leaves entries that were never looked at.
    if (errno != 0) {
        logger->fatal("remove_dir: readdir returned an error for %s: %s\n", path.c_str(), strerror(errno));
        removed = false;
    }
    // The top may be a link to a directory, which remove() takes away as the path the caller gave.
    if (removeItself && (top ? std::remove(name) : unlinkat(at, name, AT_REMOVEDIR)) != 0 && !gone(errno)) {
        logger->error("%s(%s): Error(%s) in deleting %s directory", kWalker, QUARN_LINE, strerror(errno), path.c_str());
        removed = false;
    }
    closedir(dir);
    return removed;
}

// For file systems that leave an entry's type unreported.
bool isRegularAt(int dirFd, const char* name) {
    struct stat info;
    return fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool directoryExists(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    closedir(dir);
    return true;
}

bool createDirectory(const std::string& path, quarn_logger* logger) {
    if (directoryExists(path)) {
        return true;
    }
    if (mkdir(path.c_str(), kDirectoryMode) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        logger->error("%s(%s): \"%s\" directory already exist\n", __func__, QUARN_LINE, path.c_str());
        // Another process may have made it at the same moment; a file or a dangling link is no directory.
        return directoryExists(path);
    }
    logger->error("%s(%s): createDirectory: Directory creation(%s) failed due to :%s\n", __func__, QUARN_LINE,
                  path.c_str(), strerror(errno));
    return false;
}

bool createSymlink(const std::string& targetPath, const std::string& linkPath, quarn_logger* logger) {
    struct stat info;
    if (lstat(linkPath.c_str(), &info) == 0) {
        logger->info("%s(%s): \"%s\" symlink alread exist\n", __func__, QUARN_LINE, linkPath.c_str());
        return true;
    }
    // The system reads a relative target from the link's directory, so that is where it must exist.
    const std::size_t slash = linkPath.rfind('/');
    const bool fromLink = !targetPath.empty() && targetPath[0] != '/' && slash != std::string::npos;
    if (stat(fromLink ? (linkPath.substr(0, slash + 1) + targetPath).c_str() : targetPath.c_str(), &info) != 0) {
        logger->error("%s(%s): The source file \"%s\" doesn't exist", __func__, QUARN_LINE, targetPath.c_str());
        return false;
    }
    if (symlink(targetPath.c_str(), linkPath.c_str()) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        logger->error("%s(%s): \"%s\" symlink already exist\n", __func__, QUARN_LINE, linkPath.c_str());
        return true;
    }
    logger->error("%s(%s): Symlink creation(%s) failed due to: %s\n", __func__, QUARN_LINE, linkPath.c_str(),
                  strerror(errno));
    return false;
}

bool changeDirectory(quarn_logger* logger, const std::string& path) {
    if (chdir(path.c_str()) == 0) {
        return true;
    }
    logger->error("%s(%s): 'chdir' to '%s' directory failed dur to '%s'", __func__, QUARN_LINE, path.c_str(),
                  strerror(errno));
    return false;
}

int NumberofFilesinDirectory(quarn_logger* logger, const std::string& directory, bool countDotEntries) {
    if (directory.empty()) {
        logger->error("%s(%s): Received directory path is empty\n", __func__, QUARN_LINE);
        return 0;
    }
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT) {
            logger->error("%s(%s): Directory '%s' doesn't exist", __func__, QUARN_LINE, directory.c_str());
        } else {
            logger->error("%s(%s): opendir returned an error: %s\n", __func__, QUARN_LINE, strerror(errno));
        }
        return 0;
    }
    int count = 0;
    while (const dirent* entry = utilsCalls().readdir(dir)) {
        if (isDotEntry(entry->d_name)) {
            count += countDotEntries ? 1 : 0;
        } else if (entry->d_type == DT_REG || (entry->d_type == DT_UNKNOWN && isRegularAt(dirfd(dir), entry->d_name))) {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

bool deleteDirectoryContents(quarn_logger* logger, const std::string& directory, bool removeDirectory) {
    if (directory.empty()) {
        logger->fatal("remove_dir: Path is empty\n");
        return false;
    }
    return deleteTree(logger, AT_FDCWD, directory.c_str(), directory, removeDirectory, true);
}

std::vector<std::string> listFilesinDirectory(const std::string& directory, quarn_logger* logger) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        logger->error("%s(%s): Opendir returned an error(%s) for (%s)", __func__, QUARN_LINE, strerror(errno),
                      directory.c_str());
        return names;
    }
    while (const dirent* entry = utilsCalls().readdir(dir)) {
        if (!isDotEntry(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    // std::string compares bytes as unsigned, so names with bytes above 0x7f sort after ASCII ones.
    std::sort(names.begin(), names.end());
    return names;
}
