// What tools exchanging documents rely on: text whose numbers read back exactly, equality of documents, and the
// place and reason of a failed parse.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"

namespace jsondoc {
namespace {

// Random values over the whole exponent range, subnormals included, and the extremes; on the unit Number is a
// double (17 digits), on an x86 host an 80-bit long double (21 digits). Equal finite Numbers other than zero have
// equal bits; the sign of zero is looked at on its own.
TEST(RoundTrip, EveryFiniteNumberWrittenWithExactNumbersReadsBackBitForBit) {
    using Limits = std::numeric_limits<Number>;
    Array written;
    written << -0.0L << Limits::max() << Limits::lowest() << Limits::min() << Limits::denorm_min() << 0.1L << 1.0L / 3;
    std::mt19937_64 random(31);
    std::uniform_int_distribution<int> exponent(Limits::min_exponent - Limits::digits, Limits::max_exponent);
    while (written.size() < 20000) {
        const Number mantissa = static_cast<Number>(random() | 1ULL << 63) * (random() % 2 ? 1 : -1);
        written << std::ldexp(mantissa, exponent(random) - 64);
    }
    std::ostringstream text;
    text << exactNumbers << written;
    Array read;
    EXPECT_TRUE(read.parse(text.str()) && read == written && std::signbit(read.get<Number>(0)));
}

// Equal documents read from texts that differ in member order and number spelling; every other pair differs once.
TEST(Equality, ValuesAreEqualWhenKindsStringsAndNumbersAgreeAtEveryPlace) {
    const struct {
        const char *left, *right;
        bool equal;
    } cases[] = {
        // clang-format off
        {R"({"a": [1, {"b": null}], "c": "x"})", R"({"c": "x", "a": [1.0, {"b": null}]})", true}, {"[0]", "[-0]", true},
        {"[1]", "[true]", false}, {R"({"a": 1})", R"({"a": 1, "b": 2})", false}, {R"({"a": 1})", R"({"b": 1})", false},
        {"[[1, 2]]", "[[1, 3]]", false}, {"[1, 2]", "[2, 1]", false}, {R"(["a"])", R"(["a\u0000"])", false},
        {"[null]", "[{}]", false}, {R"({"a": {}})", R"({"a": []})", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        Value left, right;
        ASSERT_TRUE(left.parse(std::string(c.left)) && right.parse(std::string(c.right)));
        EXPECT_TRUE((left == right) == c.equal && (right == left) == c.equal && (left != right) != c.equal)
            << c.left << " against " << c.right;
    }
    // A key waiting for its value is no member; not-a-number equals nothing.
    EXPECT_TRUE((Object() << "key") == Object() && Array() != (Array() << 1) && Value(NAN) != Value(NAN));
}

// One ParseError serves every case, so a success that left an earlier failure's place behind would show.
TEST(ParseError, TellsTheOffsetLineColumnAndReasonWhereTheParseStopped) {
    const std::string deep(maxNestingDepth + 1, '[');
    const struct {
        std::string text;
        std::size_t offset, line, column;
        std::string reason;
    } cases[] = {
        // clang-format off
        {R"({"a" 1})", 5, 1, 6, "unexpected number"}, {"[1e]", 1, 1, 2, "malformed or out-of-range number"},
        {"{\"a\": 1,\r\n \"b\": x}", 16, 2, 7, "unexpected character 'x'"}, {" \n ", 3, 2, 2, "empty input"},
        {"[1,\n2,\n\x01]", 7, 3, 1, "unexpected byte 0x01"}, {"{\"a\":\n  \"abc", 12, 2, 7, "unexpected end of input"},
        {"[1, 2]", 0, 0, 0, ""}, {"/* */ {}", 0, 1, 1, "block comment"}, {"\xEF\xBB\xBF{}", 0, 1, 1, "byte-order mark"},
        {R"(["[", {"]": 1}, )" + deep, 15 + maxNestingDepth, 1, 16 + maxNestingDepth, "nested too deeply"},
        // clang-format on
    };
    ParseError error;
    for (const auto& c : cases) {
        Value value;
        EXPECT_TRUE(parse(c.text, value, error) == c.reason.empty() && error.offset == c.offset &&
                    error.line == c.line && error.column == c.column && error.reason == c.reason)
            << c.text << ": " << error.offset << " " << error.line << ":" << error.column << " " << error.reason;
    }
    // The object and array entries leave their target as the plain entries do.
    Object object;
    Array array;
    EXPECT_FALSE(parse(R"({"a": 1, "b": x})", object, error) || parse("[1, 2 3]", array, error));
    EXPECT_TRUE(object.size() == 1 && object.has<Number>("a") && array.size() == 2 && error.offset == 6);
}

}  // namespace
}  // namespace jsondoc
