#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <vector>

#include "jsondoc_testing.h"

namespace jsondoc {
namespace {

using Accepted = std::vector<std::pair<std::string, std::string>>;  // text, compact form of what it reads as

// Each text is read twice into the same target: a parse replaces whatever the target held.
template <typename T>
void expectReadings(const Accepted& accepted, const std::vector<std::string>& rejected) {
    T target;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [input, written] : accepted) {
            EXPECT_TRUE(target.parse(input)) << input;
            EXPECT_EQ(compact(target), written) << input;
        }
        for (const auto& input : rejected) {
            EXPECT_FALSE(target.parse(input)) << input;
        }
    }
}

TEST(ObjectGrammar, JsonWithItsWideningsIsReadAndAllElseFails) {
    const Accepted accepted = {
        {"{}", "{}"},
        {"// note\n{\"a\":1}", R"({"a": 1})"},
        {"{ // a\r\n \"a\" // b\n : // c\n 1 // d\n , // e\n \"b\":2 // f\n}", R"({"a": 1, "b": 2})"},
        {"{'a':'b', \"e\\u0041\\/\": 2}", R"({"a": "b", "eA\/": 2})"},
        {"{\"a\":1,\"a\":2}", R"({"a": 2})"},
        {"{\"a\":1,}", R"({"a": 1})"},
        {"{\"a\":,\"b\":1}", R"({"a": null, "b": 1})"},
        {"{\"a\": }", "{}"},
        {"{\"a\": [1, 2, }", "{}"},  // the array fails at the brace, which then closes the object
        {"{\"a\":1,\"b\":}", R"({"a": 1})"},
        {"{\"a\":true,\"b\":false,\"c\":tr// split\nue,\"d\":null}",
         R"({"a": true, "b": false, "c": true, "d": null})"},
        {"{\"\":1} trailing text", R"({"": 1})"},
    };
    expectReadings<Object>(
        accepted,
        {"",          "   ",         "\xEF\xBB\xBF{}", "/* note */ {}", "{,}",           "{\"a\":1,,}", "{\"a\": x}",
         "{\"a\" 1}", "{1:2}",       "{a:1}",          "{\"a\":1",      "{\"a\":\"b",    "[1]",         "{\"a\":1 /}",
         "{\"a\"",    "{\"a\":1 2}", "{\"a\":tru}",    "{\"a\":-}",     "{\"a\":[1 2]}", "{\"a\":1e}"});
}

TEST(FailedParse, AnObjectKeepsTheMembersReadBeforeTheFailureAndAValueBecomesInvalid) {
    Object object = parsed<Object>(R"({"old": 1})");
    EXPECT_FALSE(object.parse(std::string(R"({"a":1,"b":x})")));
    EXPECT_EQ(compact(object), R"({"a": 1})");
    Value value("previous");
    EXPECT_FALSE(value.parse(std::string("[1")));
    EXPECT_EQ(value.type(), Value::INVALID_TYPE);
}

TEST(ArrayGrammar, JsonWithItsWideningsIsReadAndAllElseFails) {
    const Accepted accepted = {
        {"[]", "[]"},
        {"[1,2,]", "[1, 2]"},
        {"[1,,2]", "[1, null, 2]"},
        {"[,1]", "[null, 1]"},
        {"[,]", "[null]"},
        {"[+1, .5, 5., 01, 1E+2, -0.25e-1, 00012]", "[1, 0.5, 5, 1, 100, -0.025, 12]"},
        {"['single', \"double\"]", R"(["single", "double"])"},
        {"[[1 {\"a\":1}]", R"([{"a": 1}])"},  // a failed array is retried as an object from where it stopped
        {"[1e-99999]", "[0]"},                // underflow is no failure
    };
    expectReadings<Array>(
        accepted, {"",      "[1 2]",   "[1e]",   "[-]",      "[.]",      "[+]",      "[1e+]",    "[0x10]", "[Infinity]",
                   "[NaN]", "[1.5.5]", "[1",     "[1,",      "[,,x]",    "[x]",      "{}",       "[/]",    "[tr]",
                   "[nul]", "['a]",    "[\"abc", "[\"abc\\", "[\"\\u12", "['abc\"]", "[1e99999]"});
    // Beyond the largest finite value the parse fails; the unit's long double is a double, wider on other machines.
    const bool doubleWide = std::numeric_limits<Number>::max_exponent10 == 308;
    EXPECT_EQ(Array().parse(std::string("[1e999]")), !doubleWide);
    EXPECT_EQ(Array().parse(std::string("[-1.8e308]")), !doubleWide);
}

// Long nested arrays give back the storage their growth left unused: around the length where that starts, and
// after it, every element is kept in order and the array still grows.
TEST(ArrayGrammar, LongNestedArraysKeepEveryElement) {
    for (const int length : {31, 32, 33, 41, 64, 65, 1000}) {
        Array expected;
        for (int i = 0; i < length; ++i) {
            expected << i;
        }
        Object object = parsed<Object>("{\"a\": " + compact(expected) + "}");
        object.get<Array>("a") << -1;
        expected << -1;
        EXPECT_EQ(compact(object.get<Array>("a")), compact(expected)) << length;
    }
}

TEST(StringGrammar, EscapesAndQuotes) {
    const std::vector<std::pair<const char*, String>> cases = {
        {R"(["a\qb"])", "a\\qb"},
        {R"(["\"\\\/\b\f\n\r\t"])", "\"\\/\b\f\n\r\t"},
        {R"(["\a\0\U"])", "\\a\\0\\U"},
        {R"(["it\'s"])", "it\\'s"},
        {R"(['it\'s'])", "it's"},
        {R"(['say \"x\"'])", "say \\\"x\\\""},
        {R"(['a"b'])", "a\"b"},
        {R"(["\u0041"])", "A"},
        {R"(["\u00e9"])", "\xE9"},
        {R"(["\u20AC"])", "\xAC"},
        {R"(["\u00ff"])", "\xFF"},
        {R"(["\uZZZZ"])", ""},
        {R"(["\u12"4x"])", "\x12x"},
        {R"(["\u 41Z"])", "A"},
        {"[\"line\nbreak\"]", "line\nbreak"},
        {"[\"raw\x01\x1F\x7F caf\xC3\xA9\"]", "raw\x01\x1F\x7F caf\xC3\xA9"},
        {R"(["//not a comment"])", "//not a comment"},
    };
    for (const auto& [input, text] : cases) {
        const Array array = parsed<Array>(input);
        ASSERT_EQ(array.size(), 1u) << input;
        EXPECT_EQ(array.get<String>(0), text) << input;
    }
}

std::string repeated(const std::string& text, unsigned times) {
    std::string out;
    for (unsigned i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

TEST(NestingDepth, DocumentsUpToTheBoundParseAndDeeperOnesFailWithoutExhaustingTheStack) {
    for (unsigned levels : {256u, maxNestingDepth, maxNestingDepth + 1}) {
        const bool within = levels <= maxNestingDepth;
        EXPECT_EQ(Array().parse(repeated("[", levels) + "1" + repeated("]", levels)), within) << levels;
        EXPECT_EQ(Object().parse(repeated("{\"a\":", levels) + "1" + repeated("}", levels)), within) << levels;
        EXPECT_EQ(Value().parse(repeated("[{\"a\":", (levels + 1) / 2) + "1" + repeated("}]", (levels + 1) / 2)),
                  within);
    }
    EXPECT_FALSE(Array().parse(repeated("[", 1000000)));
    EXPECT_FALSE(Object().parse(repeated("{\"a\":", 1000000)));
    EXPECT_FALSE(validate(repeated("[", 1000000)));
}

// The unit reads its files through file streams, whose buffers refill while the document goes by.
TEST(ParseEntryPoints, FileStreamsReadLikeStringStreams) {
    std::string text = "{";
    for (int i = 0; i < 3000; ++i) {
        text += "\"key" + std::to_string(i) + "\": [" + std::to_string(i) + ".25, 'v\\u0041', tru// c\ne],";
    }
    text += "}";
    char path[] = "/tmp/jsondoc_parse_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << text;
    std::ifstream input(path);
    Object fromFile;
    const bool ok = Object::parse(input, fromFile);
    std::remove(path);
    ASSERT_TRUE(ok);
    EXPECT_EQ(compact(fromFile), compact(parsed<Object>(text)));
}

TEST(ValidateAndReformat, ReadTheLeadingContainerAfterBlanksAndControlBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\x01\x1F \n{'b':[true],'a':1}", "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue \n\t] \n} \n"},
        {std::string("\0[]", 3), "[\n] \n"},
    };
    for (const auto& [input, reformatted] : cases) {
        EXPECT_TRUE(validate(input)) << input;
        EXPECT_EQ(reformat(input), reformatted) << input;
    }
    for (const char* input : {"\xEF\xBB\xBF{}", "5", "", "// c\n{}", "{\"a\":", "true"}) {
        EXPECT_FALSE(validate(input)) << input;
        EXPECT_EQ(reformat(input), "") << input;
    }
}

}  // namespace
}  // namespace jsondoc
