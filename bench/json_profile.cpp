// One jsondoc operation on one document and nothing else, so that an instruction profile (callgrind on the host,
// the emulator's block trace on the unit) counts that operation alone. "write" parses first: a profile of "write"
// less one of "parse" on the same document is the writer's.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "parse") != 0 && std::strcmp(argv[1], "write") != 0)) {
        std::fputs("usage: json_profile parse|write FILE\n", stderr);
        return 2;
    }
    // Read in one block: a byte-wise read would weigh in the profile of "parse".
    std::ifstream input(argv[2], std::ios::binary | std::ios::ate);
    std::string text(static_cast<std::size_t>(std::max<std::streamoff>(input.tellg(), 0)), '\0');
    input.seekg(0);
    jsondoc::Object document;
    if (!input.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        std::fprintf(stderr, "json_profile: cannot read %s\n", argv[2]);
        return 1;
    }
    if (!document.parse(text)) {
        std::fprintf(stderr, "json_profile: %s does not parse\n", argv[2]);
        return 1;
    }
    if (std::strcmp(argv[1], "write") == 0) {
        std::ostringstream output;
        output << document;
        std::printf("%lld\n", static_cast<long long>(output.tellp()));
    }
    return 0;
}
