#include <fstream>
#include <iterator>
#include <locale>
#include <tuple>
#include <vector>

#include "jsondoc_testing.h"

namespace jsondoc {
namespace {

enum Target { kObject, kArray, kValue };

// The compact form of what the parse read, or "failed".
std::string parseAs(Target target, std::istream& input) {
    Object object;
    Array array;
    Value value;
    const bool ok = target == kObject  ? Object::parse(input, object)
                    : target == kArray ? Array::parse(input, array)
                                       : Value::parse(input, value);
    return !ok ? "failed" : target == kObject ? compact(object) : target == kArray ? compact(array) : compact(value);
}

// What the parse read, what it left unread and the state it left the stream in.
using Outcome = std::tuple<std::string, std::string, std::ios_base::iostate>;

Outcome outcomeOf(Target target, std::istream& input) {
    const std::string read = parseAs(target, input);
    const auto state = input.rdstate();
    input.clear();
    return {read, std::string(std::istreambuf_iterator<char>(input), {}), state};
}

constexpr auto kGood = std::ios_base::goodbit;
constexpr auto kEof = std::ios_base::eofbit;
constexpr auto kFail = std::ios_base::failbit;
constexpr auto kBad = std::ios_base::badbit;

// After success the stream stands behind the closing bracket or the value; after failure where the failing step
// stopped: partly matched words put back, failed numbers rewound, comments and finished members consumed.
TEST(StreamPosition, WhatRemainsAfterSuccessAndFailure) {
    const struct {
        Target target;
        const char* input;
        Outcome outcome;
    } cases[] = {
        {kObject, "{\"a\":1} // after", {R"({"a": 1})", " // after", kGood}},
        {kObject, "{\"a\" 1}", {"failed", "1}", kGood}},
        {kObject, "{\"a\":1,\"b\":x}", {"failed", "x}", kGood}},
        {kObject, "// c\n [1]", {"failed", "[1]", kGood}},
        {kObject, "", {"failed", "", kEof}},
        {kObject, "{\"a\":1", {"failed", "", kEof | kFail}},
        {kObject, "{\"a\":\"b", {"failed", "", kEof | kFail}},
        {kArray, "[1e]", {"failed", "1e]", kGood}},
        {kArray, "[1e", {"failed", "1e", kGood}},
        {kArray, "[1 2]", {"failed", "2]", kGood}},
        {kArray, "[tru]", {"failed", "tru]", kGood}},
        {kArray, "[tru", {"failed", "tru", kFail}},
        {kArray, "[// c\n x]", {"failed", "x]", kGood}},
        {kArray, "[1, // c", {"failed", "", kEof | kFail}},
        {kArray, "[t// c", {"failed", "", kEof | kFail}},
        {kArray, "[tr// x\nuX]", {"failed", "X]", kBad | kFail}},
        {kValue, "5", {"5", "", kEof}},
        {kValue, "// c\n -2 ", {"-2", " ", kGood}},
        {kValue, " 'x' ", {R"("x")", " ", kGood}},
        {kValue, "[1] ", {"[1]", " ", kGood}},
        {kValue, "{}", {"{}", "", kGood}},
        {kValue, "true x", {"true", " x", kGood}},
        {kValue, ",", {"null", ",", kGood}},
        {kValue, "-x", {"failed", "-x", kGood}},
        {kValue, "'abc", {"failed", "", kEof | kFail}},
    };
    for (const auto& c : cases) {
        std::istringstream input(c.input);
        EXPECT_EQ(outcomeOf(c.target, input), c.outcome) << c.input;
    }
    std::istringstream failed("{\"a\":1}");
    failed.setstate(kFail);
    EXPECT_EQ(outcomeOf(kObject, failed), Outcome("failed", "{\"a\":1}", kFail)) << "a failed stream is not read";
}

// A directory opened as a file makes its buffer fail to read; the parse fails instead of letting the error escape.
TEST(StreamPosition, AReadErrorFailsTheParseAndMakesTheStreamBad) {
    for (Target target : {kObject, kArray, kValue}) {
        std::ifstream directory("/");
        EXPECT_EQ(parseAs(target, directory), "failed") << target;
        EXPECT_TRUE(directory.bad()) << target;
    }
}

// A locale whose decimal point is a comma.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
};

TEST(StreamLocale, NumbersAreReadInTheStreamsLocale) {
    const std::pair<const char*, Outcome> cases[] = {{"[1,5]", {"[1.5]", "", kGood}},
                                                     {"[,5]", {"[0.5]", "", kGood}},
                                                     {"[1.5]", {"failed", ".5]", kGood}},
                                                     {"[1e]", {"failed", "1e]", kGood}}};
    for (const auto& [text, outcome] : cases) {
        std::istringstream input(text);
        input.imbue(std::locale(std::locale::classic(), new CommaPoint));
        EXPECT_EQ(outcomeOf(kArray, input), outcome) << text;
    }
    Array array;  // text takes the global locale, as a string stream made from it would
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    const bool parsed = array.parse(std::string("[1,5]"));
    std::locale::global(previous);
    EXPECT_TRUE(parsed && compact(array) == "[1.5]") << compact(array);
}

}  // namespace
}  // namespace jsondoc
