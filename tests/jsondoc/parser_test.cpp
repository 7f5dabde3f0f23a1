#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"
#include "text_of.h"

using jsondoc::Array;
using jsondoc::Number;
using jsondoc::Object;
using jsondoc::String;
using jsondoc::Value;

namespace {

struct Accepted {
    const char* input;
    const char* written;  // compact form of what was read
};

bool parseObject(const std::string& text, Object& object) {
    std::istringstream input(text);
    return Object::parse(input, object);
}

bool parseArray(const std::string& text, Array& array) {
    std::istringstream input(text);
    return Array::parse(input, array);
}

TEST(ObjectGrammar, AcceptsJsonWithItsWidenings) {
    const std::vector<Accepted> cases = {
        {"{}", "{}"},
        {" \t\r\n{ } ", "{}"},
        {"// note\n{\"a\":1}", R"({"a": 1})"},
        {"{\"a\":1 // note\n}", R"({"a": 1})"},
        {"{ // a\r\n \"a\" // b\n : // c\n 1 // d\n , // e\n \"b\":2}", R"({"a": 1, "b": 2})"},
        {"{'a':'b'}", R"({"a": "b"})"},
        {"{\"a\":1,\"a\":2}", R"({"a": 2})"},
        {"{\"a\":1,}", R"({"a": 1})"},
        {"{\"a\":,\"b\":1}", R"({"a": null, "b": 1})"},
        {"{\"a\": }", "{}"},
        {"{\"a\": [1, 2, }", "{}"},
        {"{\"a\":1,\"b\":}", R"({"a": 1})"},
        {"{\"a\":true,\"b\":false,\"c\":null}", R"({"a": true, "b": false, "c": null})"},
        {"{\"a\":tr// split\nue}", R"({"a": true})"},
        {"{\"a\":{\"b\":[{},[]]}}", R"({"a": {"b": [{}, []]}})"},
        {"{\"\":1}", R"({"": 1})"},
        {"{\"a\":1} trailing text", R"({"a": 1})"},
        {"{\"a\":1}}", R"({"a": 1})"},
    };
    for (const auto& c : cases) {
        Object object;
        EXPECT_TRUE(parseObject(c.input, object)) << c.input;
        EXPECT_EQ(compact(object), c.written) << c.input;
    }
}

TEST(ObjectGrammar, RejectsWhatNoWideningCovers) {
    const std::vector<const char*> cases = {
        "",          "   ",         "\xEF\xBB\xBF{}", "/* note */ {}", "{,}",           "{\"a\":1,,}", "{\"a\": x}",
        "{\"a\" 1}", "{1:2}",       "{a:1}",          "{\"a\":1",      "{\"a\":\"b",    "[1]",         "{\"a\":1 /}",
        "{\"a\"",    "{\"a\":1 2}", "{\"a\":tru}",    "{\"a\":-}",     "{\"a\":[1 2]}", "{\"a\":1e}",
    };
    for (const char* text : cases) {
        Object object;
        EXPECT_FALSE(parseObject(text, object)) << text;
    }
}

TEST(ObjectGrammar, AFailedParseKeepsTheMembersReadBeforeTheFailure) {
    Object object = objectFrom(R"({"old": 1})");
    EXPECT_FALSE(parseObject(R"({"a":1,"b":x})", object));
    EXPECT_EQ(compact(object), R"({"a": 1})");
    EXPECT_FALSE(parseObject(R"({"a":1,"a":x})", object));
    EXPECT_EQ(compact(object), R"({"a": 1})");
}

TEST(ArrayGrammar, AcceptsJsonWithItsWidenings) {
    const std::vector<Accepted> cases = {
        {"[]", "[]"},
        {"[1,2,]", "[1, 2]"},
        {"[1,,2]", "[1, null, 2]"},
        {"[,1]", "[null, 1]"},
        {"[,]", "[null]"},
        {"[+1, .5, 5., 01, 1E+2, -0.25e-1, 00012]", "[1, 0.5, 5, 1, 100, -0.025, 12]"},
        {"['single', \"double\"]", R"(["single", "double"])"},
        {"[[[]]]", "[[[]]]"},
        {"[[1 {\"a\":1}]", R"([{"a": 1}])"},
        {"[1]]", "[1]"},
        {"[ // c\n 1 // d\n ]", "[1]"},
    };
    for (const auto& c : cases) {
        Array array;
        EXPECT_TRUE(parseArray(c.input, array)) << c.input;
        EXPECT_EQ(compact(array), c.written) << c.input;
    }
}

TEST(ArrayGrammar, RejectsWhatNoWideningCovers) {
    const std::vector<const char*> cases = {
        "",   "[1 2]", "[1e]",  "[-]", "[.]", "[+]", "[1e+]", "[0x10]", "[Infinity]", "[NaN]", "[1.5.5]",
        "[1", "[1,",   "[,,x]", "[x]", "{}",  "[/]", "[1/]",  "[tr]",   "[nul]",      "['a]",
    };
    for (const char* text : cases) {
        Array array;
        EXPECT_FALSE(parseArray(text, array)) << text;
    }
}

// Nested arrays give back the storage their growth left unused; around the length where that starts, and after
// it, every element is kept in order and the array still grows.
TEST(ArrayGrammar, LongNestedArraysKeepEveryElement) {
    for (const int length : {31, 32, 33, 40, 41, 63, 64, 65, 1000}) {
        std::string text = "{\"a\": [";
        for (int i = 0; i < length; ++i) {
            text += (i > 0 ? "," : "") + std::to_string(i);
        }
        text += "]}";
        Object object = objectFrom(text);
        ASSERT_TRUE(object.has<Array>("a")) << length;
        Array& array = object.get<Array>("a");
        ASSERT_EQ(array.size(), static_cast<std::size_t>(length));
        for (int i = 0; i < length; ++i) {
            EXPECT_EQ(array.get<Number>(static_cast<std::size_t>(i)), i) << length;
        }
        array << Value(-1);
        EXPECT_EQ(array.get<Number>(static_cast<std::size_t>(length)), -1) << length;
    }
}

// Numbers beyond the largest finite value fail; the unit's long double is a double, wider on other machines.
TEST(ArrayGrammar, MagnitudesBeyondTheNumberTypeFail) {
    Array array;
    const bool doubleWide = std::numeric_limits<Number>::max_exponent10 == 308;
    EXPECT_EQ(parseArray("[1e999]", array), !doubleWide);
    EXPECT_EQ(parseArray("[-1.8e308]", array), !doubleWide);
    EXPECT_FALSE(parseArray("[1e99999]", array));
    EXPECT_TRUE(parseArray("[1.7976931348623157e308]", array));
    EXPECT_EQ(array.get<Number>(0), 1.7976931348623157e308L);
    EXPECT_TRUE(parseArray("[1e-99999]", array));  // underflow is no failure
    EXPECT_EQ(array.get<Number>(0), 0);
}

struct StringCase {
    const char* input;
    String text;
};

TEST(StringGrammar, EscapesAndQuotes) {
    const std::vector<StringCase> cases = {
        {R"(["a\qb"])", "a\\qb"},
        {R"(["\"\\\/\b\f\n\r\t"])", "\"\\/\b\f\n\r\t"},
        {R"(["\a\0\U"])", "\\a\\0\\U"},
        {R"(["it\'s"])", "it\\'s"},
        {R"(['it\'s'])", "it's"},
        {R"(['say \"x\"'])", "say \\\"x\\\""},
        {R"(['a"b'])", "a\"b"},
        {R"(["a'b"])", "a'b"},
        {R"(["\u0041"])", "A"},
        {R"(["\u00e9"])", "\xE9"},
        {R"(["\u20AC"])", "\xAC"},
        {R"(["\uZZZZ"])", ""},
        {R"(["\u12"4x"])", "\x12x"},
        {R"(["\u 41Z"])", "A"},
        {"[\"line\nbreak\"]", "line\nbreak"},
        {"[\"raw\x01\x1F\x7F\"]", "raw\x01\x1F\x7F"},
        {"[\"caf\xC3\xA9\"]", "caf\xC3\xA9"},
        {R"([""])", ""},
        {R"(["//not a comment"])", "//not a comment"},
    };
    for (const auto& c : cases) {
        Array array;
        ASSERT_TRUE(parseArray(c.input, array)) << c.input;
        ASSERT_EQ(array.size(), 1u) << c.input;
        EXPECT_EQ(array.get<String>(0), c.text) << c.input;
    }
}

TEST(StringGrammar, KeysFollowTheStringRules) {
    const Object object = objectFrom(R"({'single': 1, "e\u0041\/": 2})");
    EXPECT_TRUE(object.has<Number>("single"));
    EXPECT_TRUE(object.has<Number>("eA/"));
}

TEST(StringGrammar, AnUnterminatedStringOrEscapeFails) {
    for (const char* text : {"[\"abc", "[\"abc\\", "[\"\\u12", "['abc\"]"}) {
        Array array;
        EXPECT_FALSE(parseArray(text, array)) << text;
    }
}

TEST(ValueGrammar, ParsesAnyValueAtTheTop) {
    const std::vector<Accepted> cases = {
        {"5", "5"},    {" 'x' ", R"("x")"}, {"true", "true"}, {"false", "false"}, {"null", "null"},
        {",", "null"}, {"[1]", "[1]"},      {"{}", "{}"},     {"// c\n-2", "-2"},
    };
    for (const auto& c : cases) {
        Value value;
        EXPECT_TRUE(value.parse(std::string(c.input))) << c.input;
        EXPECT_EQ(compact(value), c.written) << c.input;
    }
}

TEST(ValueGrammar, AFailedValueIsInvalid) {
    for (const char* text : {"", "x", "[1", "{\"a\"", "-"}) {
        Value value("previous");
        EXPECT_FALSE(value.parse(std::string(text))) << text;
        EXPECT_EQ(value.type(), Value::INVALID_TYPE) << text;
    }
}

TEST(ParseEntryPoints, ParsingReplacesTheFormerContents) {
    Object object = objectFrom(R"({"old": 1})");
    ASSERT_TRUE(object.parse(std::string(R"({"new": 2})")));
    EXPECT_EQ(compact(object), R"({"new": 2})");
    Array array = arrayFrom("[1]");
    ASSERT_TRUE(array.parse(std::string("[2]")));
    EXPECT_EQ(compact(array), "[2]");
    std::istringstream input("[3]");
    ASSERT_TRUE(array.parse(input));
    EXPECT_EQ(compact(array), "[3]");
}

std::string nested(unsigned levels, const std::string& open, const std::string& inner, const std::string& close) {
    std::string text;
    for (unsigned i = 0; i < levels; ++i) {
        text += open;
    }
    text += inner;
    for (unsigned i = 0; i < levels; ++i) {
        text += close;
    }
    return text;
}

TEST(NestingDepth, DocumentsUpToTheBoundParse) {
    for (unsigned levels : {256u, jsondoc::maxNestingDepth}) {
        Array array;
        EXPECT_TRUE(parseArray(nested(levels, "[", "1", "]"), array)) << levels;
        Object object;
        EXPECT_TRUE(parseObject(nested(levels, "{\"a\":", "1", "}"), object)) << levels;
        Value value;
        EXPECT_TRUE(value.parse(nested(levels / 2, "[{\"a\":", "1", "}]"))) << levels;
    }
}

TEST(NestingDepth, DeeperDocumentsFailWithoutExhaustingTheStack) {
    const unsigned beyond = jsondoc::maxNestingDepth + 1;
    Array array;
    EXPECT_FALSE(parseArray(nested(beyond, "[", "1", "]"), array));
    Object object;
    EXPECT_FALSE(parseObject(nested(beyond, "{\"a\":", "1", "}"), object));
    EXPECT_FALSE(parseArray(std::string(1000000, '['), array));
    EXPECT_FALSE(parseObject(nested(1000000, "{\"a\":", "", ""), object));
    EXPECT_FALSE(jsondoc::validate(nested(1000000, "[", "", "")));
}

// The unit reads its files through file streams, whose buffers refill as the document goes by.
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
    {
        std::ofstream out(path);
        out << text;
    }
    Object fromFile;
    std::ifstream input(path);
    const bool parsed = Object::parse(input, fromFile);
    std::remove(path);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(fromFile.size(), 3000u);
    EXPECT_EQ(compact(fromFile), compact(objectFrom(text)));
}

TEST(ValidateAndReformat, ReadTheLeadingContainerAfterBlanksAndControlBytes) {
    EXPECT_TRUE(jsondoc::validate(std::string("\x01\x1F \n{\"a\":1}")));
    EXPECT_TRUE(jsondoc::validate(std::string("\0[1]", 4)));
    EXPECT_TRUE(jsondoc::validate(std::string("[1] anything")));
    EXPECT_FALSE(jsondoc::validate(std::string("\xEF\xBB\xBF{}")));
    EXPECT_FALSE(jsondoc::validate(std::string("5")));
    EXPECT_FALSE(jsondoc::validate(std::string("")));
    EXPECT_FALSE(jsondoc::validate(std::string("// c\n{}")));
    EXPECT_FALSE(jsondoc::validate(std::string("{\"a\":")));

    EXPECT_EQ(jsondoc::reformat(std::string(" {'b':[true],'a':1}")),
              "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue \n\t] \n} \n");
    EXPECT_EQ(jsondoc::reformat(std::string("[]")), "[\n] \n");
    EXPECT_EQ(jsondoc::reformat(std::string("[1,")), "");
    EXPECT_EQ(jsondoc::reformat(std::string("true")), "");
}

}  // namespace
