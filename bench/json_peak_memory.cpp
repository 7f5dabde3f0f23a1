// Parses one file from an input file stream with one library and exits: run under /usr/bin/time -v, its maximum
// resident size is that library's peak for the document. The library "none" only opens the file, which gives the
// process's own share to subtract.
//
// Usage: json_peak_memory none|jsondoc|nlohmann|jsoncpp|rapidjson FILE

#include <cstdio>
#include <cstring>
#include <fstream>

#include "bench/competitors.h"

namespace {

template <typename Library>
int parseFile(std::ifstream& file) {
    typename Library::Document document;
    if (!Library::parseStream(file, document)) {
        std::fprintf(stderr, "json_peak_memory: %s cannot parse the file\n", Library::name);
        return 1;
    }
    return 0;
}

int parseWith(const char* library, std::ifstream& file) {
    if (std::strcmp(library, "none") == 0) {
        return 0;
    }
    if (std::strcmp(library, bench::Jsondoc::name) == 0) {
        return parseFile<bench::Jsondoc>(file);
    }
    if (std::strcmp(library, bench::Nlohmann::name) == 0) {
        return parseFile<bench::Nlohmann>(file);
    }
    if (std::strcmp(library, bench::JsonCpp::name) == 0) {
        return parseFile<bench::JsonCpp>(file);
    }
    if (std::strcmp(library, bench::RapidJson::name) == 0) {
        return parseFile<bench::RapidJson>(file);
    }
    std::fprintf(stderr, "json_peak_memory: unknown library %s\n", library);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: json_peak_memory none|jsondoc|nlohmann|jsoncpp|rapidjson FILE\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "json_peak_memory: cannot open %s\n", argv[2]);
        return 2;
    }
    return parseWith(argv[1], file);
}
