#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// A scratch directory that lives as long as the object; everything below it is removed with it. It lies under
// TMPDIR when that is set (a memory file system keeps many syncs cheap), else under /tmp.
class TempDir {
  public:
    TempDir() { path_ = mkdtemp(&path_[0]) != nullptr ? path_ : throw std::runtime_error("no scratch directory"); }
    ~TempDir() { removeTree(path_); }

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Tests leave directories read-only or unsearchable, which only the shell's tools clear in one go.
    static void removeTree(const std::string& path) {
        std::system(("chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'").c_str());
    }

    // Names in a directory, sorted.
    static std::vector<std::string> entries(const std::string& path) {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
            names.insert(entry.path().filename());
        }
        return {names.begin(), names.end()};
    }

  private:
    std::string path_ = std::filesystem::temp_directory_path() / "morvane_test_XXXXXX";
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}
