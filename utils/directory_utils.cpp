#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "utils/file_utils.h"

namespace {

constexpr mode_t kDirectoryMode = 0777;

bool isDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Removes one entry of a tree being deleted; what cannot be removed is logged, under the caller's name, and left.
void removeEntry(quarn_logger* logger, const std::string& path, const char* caller) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        logger->fatal("remove_dir: lstat() failed for %s file due to: %s\n", path.c_str(), strerror(errno));
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        if (!deleteDirectoryContents(logger, path, true)) {
            logger->error("%s(%s): Removing '%s' folder failed", caller, QUARN_LINE, path.c_str());
        }
    } else if (S_ISREG(info.st_mode)) {
        if (std::remove(path.c_str()) != 0) {
            logger->error("%s(%s): Removing '%s' file failed due to '%s'", caller, QUARN_LINE, path.c_str(),
                          strerror(errno));
        }
    } else if (S_ISLNK(info.st_mode)) {
        // The link goes, never what it points to, which may lie outside the tree.
        if (unlink(path.c_str()) != 0) {
            logger->error("%s(%s): Unlinking '%s' file failed due to '%s'", caller, QUARN_LINE, path.c_str(),
                          strerror(errno));
        }
    } else {
        logger->verbose("remove_dir: nothing to delete\n");
    }
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
        return true;
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
    if (stat(targetPath.c_str(), &info) != 0) {
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
    while (const dirent* entry = readdir(dir)) {
        if (isDotEntry(entry->d_name)) {
            count += countDotEntries ? 1 : 0;
        } else if (entry->d_type == DT_REG) {
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
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT) {
            logger->warn("Folder doesn't exist to delete but we can still proceed with next step\n");
            return true;
        }
        logger->fatal("remove_dir: opendir returned an error: %s\n", strerror(errno));
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        if (!isDotEntry(entry->d_name)) {
            removeEntry(logger, directory + "/" + entry->d_name, __func__);
        }
    }
    if (removeDirectory && std::remove(directory.c_str()) != 0) {
        logger->error("%s(%s): Error(%s) in deleting %s directory", __func__, QUARN_LINE, strerror(errno),
                      directory.c_str());
    }
    closedir(dir);
    return true;
}

std::vector<std::string> listFilesinDirectory(const std::string& directory, quarn_logger* logger) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        logger->error("%s(%s): Opendir returned an error(%s) for (%s)", __func__, QUARN_LINE, strerror(errno),
                      directory.c_str());
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        if (!isDotEntry(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    // std::string compares bytes as unsigned, so names with bytes above 0x7f sort after ASCII ones.
    std::sort(names.begin(), names.end());
    return names;
}
