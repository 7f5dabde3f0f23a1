// Saves one content over a file again and again through the library's durable save, and after every save reads the
// file back: it must hold this content or the other one, whole. Run two at once with the contents swapped.
//   save_loop <path> <content> <other content> <saves>   exits 0 when every save and every read-back was right

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "updater/durable_file.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: save_loop <path> <content> <other content> <saves>\n");
        return 2;
    }
    const std::string path = argv[1], mine = argv[2], other = argv[3];
    int failures = 0;
    for (int i = std::atoi(argv[4]); i > 0; --i) {
        const DurableFileResult result = replaceFileDurably(path, mine);
        if (!result) {
            std::fprintf(stderr, "save_loop: save failed at step %d: %s\n", static_cast<int>(result.failedStep),
                         std::strerror(result.error));
            ++failures;
        }
        std::ifstream file(path);
        std::stringstream content;
        content << file.rdbuf();
        if (content.str() != mine && content.str() != other) {
            std::fprintf(stderr, "save_loop: the file holds '%s'\n", content.str().c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
