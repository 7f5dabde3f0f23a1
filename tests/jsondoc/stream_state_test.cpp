#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"
#include "text_of.h"

using jsondoc::Array;
using jsondoc::Object;
using jsondoc::Value;

namespace {

enum class Target { object, array, value };

struct Outcome {
    bool parsed;
    std::string rest;
    std::ios_base::iostate state;
};

Outcome parseFrom(std::istream& input, Target target) {
    Outcome outcome{};
    if (target == Target::object) {
        Object object;
        outcome.parsed = Object::parse(input, object);
    } else if (target == Target::array) {
        Array array;
        outcome.parsed = Array::parse(input, array);
    } else {
        Value value;
        outcome.parsed = Value::parse(input, value);
    }
    outcome.state = input.rdstate();
    input.clear();
    outcome.rest.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    return outcome;
}

constexpr auto kGood = std::ios_base::goodbit;
constexpr auto kEof = std::ios_base::eofbit;
constexpr auto kFail = std::ios_base::failbit;
constexpr auto kBad = std::ios_base::badbit;

struct StreamCase {
    Target target;
    const char* input;
    bool parsed;
    const char* rest;
    std::ios_base::iostate state;
};

// After success the stream stands behind the closing bracket or the value; after failure where the failing step
// stopped: partly matched words put back, failed numbers rewound, comments and finished members consumed.
TEST(StreamPosition, WhatRemainsAfterSuccessAndFailure) {
    const std::vector<StreamCase> cases = {
        {Target::object, "{\"a\":1} // after", true, " // after", kGood},
        {Target::object, "{\"a\":1}", true, "", kGood},
        {Target::object, "{\"a\" 1}", false, "1}", kGood},
        {Target::object, "{\"a\": x}", false, "x}", kGood},
        {Target::object, "{\"a\":1,\"b\":x}", false, "x}", kGood},
        {Target::object, " [1]", false, "[1]", kGood},
        {Target::object, "// c\n [1]", false, "[1]", kGood},
        {Target::object, "", false, "", kEof},
        {Target::object, "{\"a\":1", false, "", kEof | kFail},
        {Target::object, "{\"a\":\"b", false, "", kEof | kFail},
        {Target::array, "[1e]", false, "1e]", kGood},
        {Target::array, "[1e", false, "1e", kGood},
        {Target::array, "[1 2]", false, "2]", kGood},
        {Target::array, "[tru]", false, "tru]", kGood},
        {Target::array, "[tru", false, "tru", kFail},
        {Target::array, "[// c\n x]", false, "x]", kGood},
        {Target::array, "[1] // c", true, " // c", kGood},
        {Target::array, "[1, // c", false, "", kEof | kFail},
        {Target::array, "[t// c", false, "", kEof | kFail},
        {Target::array, "[tr// x\nuX]", false, "X]", kBad | kFail},
        {Target::value, "5", true, "", kEof},
        {Target::value, "5 ", true, " ", kGood},
        {Target::value, "true x", true, " x", kGood},
        {Target::value, ",", true, ",", kGood},
        {Target::value, "-x", false, "-x", kGood},
        {Target::value, "'abc", false, "", kEof | kFail},
    };
    for (const auto& c : cases) {
        std::istringstream input(c.input);
        const Outcome outcome = parseFrom(input, c.target);
        EXPECT_EQ(outcome.parsed, c.parsed) << c.input;
        EXPECT_EQ(outcome.rest, c.rest) << c.input;
        EXPECT_EQ(outcome.state, c.state) << c.input;
    }
}

TEST(StreamPosition, AFailedObjectParseLeavesAnArrayForTheNextParse) {
    std::istringstream input("  [1, 2]");
    Object object;
    ASSERT_FALSE(Object::parse(input, object));
    Array array;
    ASSERT_TRUE(Array::parse(input, array));
    EXPECT_EQ(compact(array), "[1, 2]");
}

TEST(StreamPosition, AStreamThatHasFailedIsNotRead) {
    std::istringstream input("{\"a\":1}");
    input.setstate(std::ios_base::failbit);
    const Outcome outcome = parseFrom(input, Target::object);
    EXPECT_FALSE(outcome.parsed);
    EXPECT_EQ(outcome.rest, "{\"a\":1}");
    EXPECT_TRUE(outcome.state & kFail);
}

TEST(StreamPosition, TooDeepInputStopsAtTheFirstBracketBeyondTheBound) {
    const std::string text(jsondoc::maxNestingDepth + 10, '[');
    std::istringstream input(text);
    const Outcome outcome = parseFrom(input, Target::array);
    EXPECT_FALSE(outcome.parsed);
    EXPECT_EQ(outcome.rest, std::string(10, '['));
    EXPECT_TRUE(outcome.state & kFail);
}

// A locale whose decimal point is a comma.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
};

// A buffer that delivers some text, then fails to read, as a file stream on a directory or a bad disk does.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {
        setg(&text_[0], &text_[0], &text_[0] + text_.size());
    }

  protected:
    int_type underflow() override { throw std::ios_base::failure("read error"); }

  private:
    std::string text_;
};

TEST(StreamPosition, AReadErrorFailsTheParseAndMakesTheStreamBad) {
    // Each text runs out while the parse still needs more, so the buffer's read error is reached.
    const struct {
        Target target;
        const char* text;
    } cases[] = {{Target::object, ""},  {Target::object, "{\"a\": [1, "}, {Target::array, ""}, {Target::array, "[1, {"},
                 {Target::value, "12"}, {Target::value, "{\"a\": tr"}};
    for (const auto& c : cases) {
        FailingBuffer buffer(c.text);
        std::istream input(&buffer);
        bool parsed = true;
        if (c.target == Target::object) {
            Object object;
            parsed = Object::parse(input, object);
        } else if (c.target == Target::array) {
            Array array;
            parsed = Array::parse(input, array);
        } else {
            Value value;
            parsed = Value::parse(input, value);
        }
        EXPECT_FALSE(parsed) << c.text;
        EXPECT_TRUE(input.bad()) << c.text;
    }
    // The real case: a directory opened as a file.
    std::ifstream directory("/");
    Object object;
    EXPECT_FALSE(object.parse(directory));
}

TEST(StreamLocale, NumbersAreReadInTheStreamsLocale) {
    std::istringstream comma("[1,5]");
    comma.imbue(std::locale(std::locale::classic(), new CommaPoint));
    Array array;
    ASSERT_TRUE(Array::parse(comma, array));
    EXPECT_EQ(compact(array), "[1.5]");

    std::istringstream point("[1.5]");
    point.imbue(std::locale(std::locale::classic(), new CommaPoint));
    const Outcome outcome = parseFrom(point, Target::array);
    EXPECT_FALSE(outcome.parsed);
    EXPECT_EQ(outcome.rest, ".5]");

    std::istringstream failing("[1e]");
    failing.imbue(std::locale(std::locale::classic(), new CommaPoint));
    const Outcome rewound = parseFrom(failing, Target::array);
    EXPECT_FALSE(rewound.parsed);
    EXPECT_EQ(rewound.rest, "1e]");
}

}  // namespace
