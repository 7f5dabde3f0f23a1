#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// A scratch directory that lives as long as the object; everything below it is removed with it.
class TempDir {
  public:
    // Under TMPDIR when it is set (a memory file system keeps many syncs cheap), else /tmp.
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/morvane_test_XXXXXX";
        path_ = mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
    }
    ~TempDir() { removeTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    static void removeTree(const std::string& path) {
        struct stat status;
        if (lstat(path.c_str(), &status) != 0) {
            return;
        }
        if (S_ISDIR(status.st_mode)) {
            chmod(path.c_str(), 0700);  // a test may have made it read-only
            for (const auto& name : entries(path)) {
                removeTree(path + "/" + name);
            }
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }

    // Names in a directory, sorted, without "." and "..".
    static std::vector<std::string> entries(const std::string& path) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}
