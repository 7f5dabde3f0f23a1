// A large document parsed and released: the memory it took must go back to the system, so that a unit with little
// memory does not keep it from every other process.
//
// Usage: json_release_memory MEGABYTES FILE...
// The document is an array that holds the files' texts, repeated until it has MEGABYTES million bytes. Fails when
// the resident memory after the release (and malloc_trim) exceeds the one before the parse by more than 10 % of
// the document's peak above that.

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/memory_probe.h"
#include "jsondoc/jsondoc.h"

namespace {

// MiB of pages between two program breaks that are still resident. The system frees what a program gives back by
// lowering its break, and mincore fails on it there; qemu-user keeps it mapped and resident in its own process,
// which the resident size then counts although the program has given it back.
double residentAboveBreakMib(char* from, char* to) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    auto* start = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(from) + page - 1) & ~(page - 1));
    if (to <= start) {
        return 0;
    }
    std::vector<unsigned char> pages((static_cast<std::size_t>(to - start) + page - 1) / page);
    if (mincore(start, static_cast<std::size_t>(to - start), pages.data()) != 0) {
        return 0;
    }
    std::size_t resident = 0;
    for (const unsigned char flags : pages) {
        resident += flags & 1;
    }
    return static_cast<double>(resident * page) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::atol(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: json_release_memory MEGABYTES FILE...\n");
        return 2;
    }
    const auto size = static_cast<std::size_t>(std::atol(argv[1])) * 1000000;
    std::string text = "[";
    while (text.size() < size) {
        for (int i = 2; i < argc; ++i) {
            std::ifstream file(argv[i], std::ios::binary);
            const std::string part{std::istreambuf_iterator<char>(file), {}};
            if (!file || part.empty()) {
                std::fprintf(stderr, "json_release_memory: cannot read %s\n", argv[i]);
                return 2;
            }
            text += text.size() > 1 ? "," : "";
            text += part;
        }
    }
    text += "]";
    malloc_trim(0);
    const double before = bench::residentMib();
    double peak = 0;
    char* peakBreak = nullptr;
    {
        jsondoc::Array document;
        if (!document.parse(text)) {
            std::fprintf(stderr, "json_release_memory: the text does not parse\n");
            return 1;
        }
        peak = bench::residentMib();
        peakBreak = static_cast<char*>(sbrk(0));
    }
    malloc_trim(0);
    const double given = residentAboveBreakMib(static_cast<char*>(sbrk(0)), peakBreak);
    const double after = bench::residentMib() - given;
    const double kept = after - before, taken = peak - before;
    const bool met = kept <= 0.10 * taken;
    std::printf(
        "%zu bytes of text: resident %.1f MiB before, %.1f MiB with the document, %.1f MiB after its release "
        "(%.1f MiB more given back by lowering the break but still mapped, not counted); kept %.1f MiB = %.1f %% of "
        "the %.1f MiB it took (bound 10 %%): %s\n",
        text.size(), before, peak, after, given, kept, 100.0 * kept / taken, taken, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
