// jsondoc against three widely used JSON libraries, on the same inputs in one run: parse from a stream, parse from
// a string, write compact text, and jsondoc's indented form. Every case reports the bytes of its input per second,
// so that the cases of one input compare directly; bench/report.jq turns the JSON output into ratios.
//
// Options besides Google Benchmark's own: --public-data=DIR and --generated-data=DIR (defaults set at build time).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "bench/competitors.h"

namespace {

struct Input {
    std::string name;
    std::string text;
};

bool readFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// A read-only stream over text that is already in memory: every library reads the same bytes, and no copy or file
// access is timed. Seeking is supported because jsondoc's number read may rewind.
class MemoryBuffer : public std::streambuf {
  public:
    explicit MemoryBuffer(const std::string& text) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }

  protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override {
        if ((which & std::ios_base::in) == 0) {
            return pos_type(off_type(-1));
        }
        off_type base = 0;
        if (direction == std::ios_base::cur) {
            base = gptr() - eback();
        } else if (direction == std::ios_base::end) {
            base = egptr() - eback();
        }
        const off_type target = base + offset;
        if (target < 0 || target > egptr() - eback()) {
            return pos_type(off_type(-1));
        }
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }
};

void countBytes(benchmark::State& state, const Input& input) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input.text.size()));
}

// The document is made and destroyed inside the timed loop: releasing a parsed tree is part of what a parse costs
// its caller, and each library pays it the same way.
template <typename Library>
void parseStream(benchmark::State& state, const Input& input) {
    for (auto _ : state) {
        MemoryBuffer buffer(input.text);
        std::istream stream(&buffer);
        typename Library::Document document;
        if (!Library::parseStream(stream, document)) {
            state.SkipWithError("the input does not parse");
            break;
        }
        benchmark::DoNotOptimize(document);
    }
    countBytes(state, input);
}

template <typename Library>
void parseString(benchmark::State& state, const Input& input) {
    for (auto _ : state) {
        typename Library::Document document;
        if (!Library::parseString(input.text, document)) {
            state.SkipWithError("the input does not parse");
            break;
        }
        benchmark::DoNotOptimize(document);
    }
    countBytes(state, input);
}

// The writers' cases share one parsed document per library; it is parsed again only when the input changes, so
// that at most one tree per library is alive at a time.
template <typename Library>
const typename Library::Document* parsedDocument(const Input& input) {
    static const Input* parsedInput = nullptr;
    static std::unique_ptr<typename Library::Document> document;
    if (parsedInput != &input) {
        document.reset();
        parsedInput = nullptr;
        auto fresh = std::make_unique<typename Library::Document>();
        if (!Library::parseString(input.text, *fresh)) {
            return nullptr;
        }
        document = std::move(fresh);
        parsedInput = &input;
    }
    return document.get();
}

template <typename Library, typename Write>
void write(benchmark::State& state, const Input& input, Write writeDocument) {
    const auto* document = parsedDocument<Library>(input);
    if (document == nullptr) {
        state.SkipWithError("the input does not parse");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeDocument(*document));
    }
    countBytes(state, input);
}

template <typename Library>
void writeCompact(benchmark::State& state, const Input& input) {
    write<Library>(state, input, &Library::writeCompact);
}

void writeIndented(benchmark::State& state, const Input& input) {
    write<bench::Jsondoc>(state, input, &bench::Jsondoc::writeIndented);
}

using Case = void (*)(benchmark::State&, const Input&);

void add(const std::string& operation, const Input& input, const char* library, Case run) {
    const std::string name = operation + "/" + input.name + "/" + library;
    benchmark::RegisterBenchmark(name.c_str(), [run, &input](benchmark::State& state) {
        run(state, input);
    })->Unit(benchmark::kMicrosecond);
}

// pick(library) gives the case for that library's adapter type.
template <typename Pick>
void addEachLibrary(const std::string& operation, const Input& input, Pick pick) {
    add(operation, input, bench::Jsondoc::name, pick(bench::Jsondoc{}));
    add(operation, input, bench::Nlohmann::name, pick(bench::Nlohmann{}));
    add(operation, input, bench::JsonCpp::name, pick(bench::JsonCpp{}));
    add(operation, input, bench::RapidJson::name, pick(bench::RapidJson{}));
}

// Input-major order keeps the four libraries' runs of one case next to each other in time.
void registerCases(const std::vector<Input>& inputs) {
    for (const Input& input : inputs) {
        addEachLibrary("parse_stream", input, [](auto library) -> Case { return &parseStream<decltype(library)>; });
        addEachLibrary("parse_string", input, [](auto library) -> Case { return &parseString<decltype(library)>; });
        addEachLibrary("write_compact", input, [](auto library) -> Case { return &writeCompact<decltype(library)>; });
        add("write_indented", input, bench::Jsondoc::name, &writeIndented);
        benchmark::AddCustomContext("input_bytes/" + input.name, std::to_string(input.text.size()));
    }
}

struct Folders {
    std::string ownData = MORVANE_BENCH_OWN_DATA;
    std::string publicData = MORVANE_BENCH_PUBLIC_DATA;
    std::string generatedData = MORVANE_BENCH_GENERATED_DATA;
};

bool takeOption(const char* argument, const char* prefix, std::string& value) {
    const std::size_t length = std::strlen(prefix);
    if (std::strncmp(argument, prefix, length) != 0) {
        return false;
    }
    value = argument + length;
    return true;
}

bool readOptions(int argc, char** argv, Folders& folders) {
    for (int i = 1; i < argc; ++i) {
        if (!takeOption(argv[i], "--public-data=", folders.publicData) &&
            !takeOption(argv[i], "--generated-data=", folders.generatedData)) {
            std::fprintf(stderr, "json_bench: unknown option %s\n", argv[i]);
            return false;
        }
    }
    return true;
}

bool loadInputs(const Folders& folders, std::vector<Input>& inputs) {
    const std::pair<const std::string*, const char*> files[] = {
        {&folders.ownData, "version"},      {&folders.publicData, "canada"},     {&folders.publicData, "citm_catalog"},
        {&folders.publicData, "twitter"},   {&folders.generatedData, "numbers"}, {&folders.generatedData, "strings"},
        {&folders.generatedData, "nested"},
    };
    for (const auto& [folder, name] : files) {
        const std::string path = *folder + "/" + name + ".json";
        Input input{name, {}};
        if (!readFile(path, input.text)) {
            std::fprintf(stderr, "json_bench: cannot read %s (the generated ones come from bench_generate)\n",
                         path.c_str());
            return false;
        }
        inputs.push_back(std::move(input));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Large blocks stay in the heap for every library. By default they are mapped afresh and unmapped again: under
    // qemu-user a 2 MiB block taken, touched and freed so costs some 5 ms against 0.1 ms natively, which would
    // time the emulator's mapping rather than the code, and differently for each library's way of growing its
    // output.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    Folders folders;
    if (!readOptions(argc, argv, folders)) {
        return 1;
    }
    // Registered cases keep references into the inputs: the vector must not move them.
    static std::vector<Input> inputs;
    if (!loadInputs(folders, inputs)) {
        return 1;
    }
    registerCases(inputs);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
