// Writes the three large benchmark documents into a folder: numbers.json (telemetry series, almost all numbers),
// strings.json (messages with UTF-8 text and escapes) and nested.json (file-system trees with deep chains).
// The output depends only on the size asked for: the random engine's sequence is fixed by the standard, and no
// library distribution (whose results differ between implementations) is used.
//
// Usage: bench_generate DIR [MEBIBYTES]   (default 20)

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    // Slightly biased for large n; the documents only need variety, not uniformity.
    std::uint64_t below(std::uint64_t n) { return engine_() % n; }
    bool chance(unsigned percent) { return below(100) < percent; }

  private:
    std::mt19937_64 engine_;
};

void appendFormatted(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void appendFormatted(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(&out[start], static_cast<std::size_t>(length) + 1, format, again);
    va_end(again);
    out.resize(start + static_cast<std::size_t>(length));
}

// ---- numbers.json ----

// The kinds of numbers that instruments and logs produce: fixed-point readings, counters, full-precision doubles,
// tiny magnitudes in exponent form and the odd large integer.
void appendSample(std::string& out, Random& random) {
    const auto kind = random.below(20);
    if (kind < 8) {
        const int decimals = 2 + static_cast<int>(random.below(5));
        const double value = (static_cast<double>(random.below(2000000)) - 1000000.0) / 1000.0;
        appendFormatted(out, "%.*f", decimals, value);
    } else if (kind < 12) {
        appendFormatted(out, "%" PRId64, static_cast<std::int64_t>(random.below(2000000000)) - 1000000000);
    } else if (kind < 16) {
        const double value = static_cast<double>(random.below(UINT64_C(1) << 53)) / (UINT64_C(1) << 43) - 512.0;
        appendFormatted(out, "%.17g", value);
    } else if (kind < 18) {
        const double mantissa = 1.0 + static_cast<double>(random.below(1000000)) / 1000000.0;
        appendFormatted(out, "%.6e", mantissa / std::pow(10.0, static_cast<double>(random.below(30))));
    } else if (kind < 19) {
        appendFormatted(out, "%d", static_cast<int>(random.below(10)));
    } else {
        appendFormatted(out, "%" PRIu64, UINT64_C(1000000000000000) + random.below(UINT64_C(9000000000000000)));
    }
}

void appendSeries(std::string& out, Random& random, unsigned channel) {
    appendFormatted(out, "{\"channel\": %u, \"start\": %" PRIu64 ", \"step\": 0.25, \"samples\": [", channel,
                    UINT64_C(1700000000) + channel * UINT64_C(600));
    const auto count = 200 + random.below(800);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (i > 0) {
            out += ',';
        }
        appendSample(out, random);
    }
    out += "]}";
}

// ---- strings.json ----

// Mostly ASCII words, with UTF-8 text from several scripts and the escapes that real messages carry.
const char* const kWords[] = {"the",
                              "unit",
                              "reported",
                              "update",
                              "of",
                              "block",
                              "finished",
                              "after",
                              "download",
                              "retry",
                              "signal",
                              "antenna",
                              "navigation",
                              "map",
                              "region",
                              "Grüße",
                              "naïve",
                              "Straße",
                              "déjà vu",
                              "Ωμέγα",
                              "日本語の文",
                              "данные",
                              "🚗 route",
                              "ok",
                              "path\\/to",
                              "a \\\"quoted\\\" word",
                              "tab\\there",
                              "line\\nbreak",
                              "back\\\\slash",
                              "caf\\u00e9",
                              "#42",
                              "v2.3.1",
                              "2024-07-15T08:30:00Z"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

void appendText(std::string& out, Random& random, std::uint64_t words) {
    for (std::uint64_t i = 0; i < words; ++i) {
        if (i > 0) {
            out += ' ';
        }
        out += kWords[random.below(kWordCount)];
    }
}

void appendMessage(std::string& out, Random& random, unsigned id) {
    appendFormatted(out, "{\"id\": \"msg-%07u\", \"author\": \"", id);
    appendText(out, random, 2);
    out += "\", \"subject\": \"";
    appendText(out, random, 4 + random.below(8));
    out += "\", \"body\": \"";
    appendText(out, random, 20 + random.below(300));
    out += "\", \"tags\": [";
    const auto tags = random.below(5);
    for (std::uint64_t i = 0; i < tags; ++i) {
        out += i > 0 ? ", \"" : "\"";
        appendText(out, random, 1);
        out += '"';
    }
    out += "]}";
}

// ---- nested.json ----

void appendNode(std::string& out, Random& random, unsigned depth);

void appendChildren(std::string& out, Random& random, unsigned depth) {
    out += ", \"children\": [";
    const auto count = depth >= 10 ? 0 : random.below(5);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (i > 0) {
            out += ", ";
        }
        appendNode(out, random, depth + 1);
    }
    out += ']';
}

void appendNode(std::string& out, Random& random, unsigned depth) {
    const bool directory = random.chance(60);
    // Drawn one by one: the order in which a call's arguments are evaluated differs between compilers and
    // targets, and the document must be the same on every one. This order is the one the host build always had.
    const auto size = random.below(1u << 24);
    const auto name = random.below(100000);
    appendFormatted(out, "{\"name\": \"n%" PRIu64 "\", \"kind\": \"%s\", \"size\": %" PRIu64 ", \"mode\": %u", name,
                    directory ? "dir" : "file", size, directory ? 493u : 420u);
    out += ", \"flags\": {\"hidden\": ";
    out += random.chance(10) ? "true" : "false";
    out += ", \"owner\": ";
    out += random.chance(50) ? "null" : "\"root\"";
    out += '}';
    if (directory) {
        appendChildren(out, random, depth);
    }
    out += '}';
}

// A long chain of single-member objects and one-element arrays, the shape of a deeply wrapped payload.
void appendChain(std::string& out, Random& random, unsigned length) {
    for (unsigned i = 0; i < length; ++i) {
        out += i % 2 == 0 ? "{\"wrapped\": " : "[";
    }
    appendFormatted(out, "%" PRIu64, random.below(1000));
    for (unsigned i = length; i > 0; --i) {
        out += (i - 1) % 2 == 0 ? "}" : "]";
    }
}

void appendTree(std::string& out, Random& random, unsigned id) {
    appendFormatted(out, "{\"id\": %u, \"root\": ", id);
    appendNode(out, random, 0);
    out += ", \"chain\": ";
    appendChain(out, random, 40 + static_cast<unsigned>(random.below(40)));
    out += '}';
}

// ---- the documents ----

// An object whose last member is an array of items, one per line, grown until the text reaches the target size.
std::string document(std::size_t target, std::uint64_t seed, const char* head,
                     void (*appendItem)(std::string&, Random&, unsigned)) {
    Random random(seed);
    std::string out = head;
    out += " [\n";
    for (unsigned id = 0; out.size() < target; ++id) {
        if (id > 0) {
            out += ",\n";
        }
        appendItem(out, random, id);
    }
    out += "]}\n";
    return out;
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "bench_generate: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "bench_generate: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: bench_generate DIR [MEBIBYTES]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const long mebibytes = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 20;
    if (mebibytes <= 0) {
        std::fprintf(stderr, "bench_generate: the size must be a positive number of MiB\n");
        return 2;
    }
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "bench_generate: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    const auto target = static_cast<std::size_t>(mebibytes) << 20;
    const bool written =
        writeFile(folder + "/numbers.json",
                  document(target, 1, R"({"kind": "telemetry", "unit": "mV", "series":)", appendSeries)) &&
        writeFile(folder + "/strings.json",
                  document(target, 2, R"({"kind": "messages", "messages":)", appendMessage)) &&
        writeFile(folder + "/nested.json", document(target, 3, R"({"kind": "trees", "trees":)", appendTree));
    return written ? 0 : 1;
}
