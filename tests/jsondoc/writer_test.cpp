#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
#include <limits>
#include <locale>
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

struct Escape {
    String text;
    std::string written;  // between the quotation marks
};

const std::vector<Escape>& escapes() {
    static const std::vector<Escape> cases = {
        {"", ""},
        {"plain", "plain"},
        {"a/b", "a\\/b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"back\\slash", "back\\\\slash"},
        {"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
        {String("\x00\x01\x1F", 3), "\\u0000\\u0001\\u001f"},
        {"\x7F\xC3\xA9\xFF", "\x7F\xC3\xA9\xFF"},
        {"it's <&>", "it's <&>"},
    };
    return cases;
}

TEST(Escaping, StringsAndKeysAreEscapedAlikeInBothForms) {
    for (const auto& c : escapes()) {
        const std::string quoted = "\"" + c.written + "\"";
        Array array;
        array << c.text;
        EXPECT_EQ(compact(array), "[" + quoted + "]") << c.written;
        EXPECT_EQ(array.json(), "[\n\t" + quoted + " \n] \n") << c.written;
        Object object;
        object.import(c.text, Value(c.text));  // an empty text given to operator<< would be no key at all
        EXPECT_EQ(compact(object), "{" + quoted + ": " + quoted + "}") << c.written;
        EXPECT_EQ(object.json(), "{\n\t" + quoted + ": " + quoted + " \n} \n") << c.written;
    }
}

TEST(CompactForm, WritesOneLineWithCommaSpaceAndColonSpace) {
    Object object;
    object << "b" << arrayFrom("[true, null, false]") << "a"
           << "x/y";
    EXPECT_EQ(compact(object), R"({"a": "x\/y", "b": [true, null, false]})");
    EXPECT_EQ(compact(objectFrom(R"({"y": [], "x": {}})")), R"({"x": {}, "y": []})");
    EXPECT_EQ(compact(Object()), "{}");
    EXPECT_EQ(compact(Array()), "[]");
    EXPECT_EQ(compact(Value("v")), R"("v")");
}

// A value that was never given one is written as null, so that the text still reads back.
TEST(CompactForm, AnInvalidValueIsWrittenAsNull) {
    Object object;
    object << "a" << Value();
    Array array;
    array << Value() << 1;
    EXPECT_EQ(compact(object), R"({"a": null})");
    EXPECT_EQ(compact(array), "[null, 1]");
    EXPECT_EQ(compact(Value()), "null");
    EXPECT_TRUE(jsondoc::validate(compact(object)));
}

TEST(CompactForm, NumbersFollowAFreshStreamsSettings) {
    Array array;
    array << 3 << 65535 << 1234567 << 0.1 << -0.0 << 1e-5 << 1e6 << 0.5;
    EXPECT_EQ(compact(array), "[3, 65535, 1.23457e+06, 0.1, -0, 1e-05, 1e+06, 0.5]");
}

// Grouping of thousands and a comma as decimal point.
struct Grouped : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Whatever the caller set on the stream, each number reads as the stream itself would write it.
TEST(CompactForm, NumbersAreWrittenAsTheStreamWritesThem) {
    const std::vector<Number> numbers = {0,
                                         -0.0L,
                                         1,
                                         3,
                                         65535,
                                         1234567,
                                         0.1L,
                                         1.0L / 3,
                                         1e16L,
                                         1e-7L,
                                         -2.5L,
                                         123456789012.0L,
                                         1e300L,
                                         99999.5L,
                                         std::numeric_limits<Number>::infinity(),
                                         -std::numeric_limits<Number>::infinity(),
                                         std::numeric_limits<Number>::quiet_NaN()};
    const std::vector<std::function<void(std::ostream&)>> settings = {
        [](std::ostream&) {},
        [](std::ostream& s) { s.precision(10); },
        [](std::ostream& s) { s.precision(1); },
        [](std::ostream& s) { s.precision(0); },
        [](std::ostream& s) { s.precision(17); },
        [](std::ostream& s) { s.precision(30); },
        [](std::ostream& s) { s.precision(60); },
        [](std::ostream& s) { s << std::fixed; },
        [](std::ostream& s) { s << std::scientific << std::setprecision(3); },
        [](std::ostream& s) { s << std::showpos; },
        [](std::ostream& s) { s << std::uppercase; },
        [](std::ostream& s) { s << std::showpoint; },
        [](std::ostream& s) { s << std::hex; },
        [](std::ostream& s) { s.imbue(std::locale(std::locale::classic(), new Grouped)); },
    };
    for (std::size_t i = 0; i < settings.size(); ++i) {
        for (Number number : numbers) {
            std::ostringstream expected;
            settings[i](expected);
            expected << number;
            std::ostringstream written;
            settings[i](written);
            written << Value(number);
            EXPECT_EQ(written.str(), expected.str()) << "setting " << i;
        }
    }
}

TEST(CompactForm, LeavesTheStreamsOwnSettingsAlone) {
    std::ostringstream out;
    out << std::hex << std::setfill('*');
    out << std::setw(8) << arrayFrom("[\"\\u0001\", 10]");
    EXPECT_EQ(out.str(), R"(["\u0001", 10])");
    EXPECT_EQ(out.width(), 0);
    EXPECT_EQ(out.fill(), '*');
    EXPECT_EQ(out.flags() & std::ios_base::basefield, std::ios_base::hex);
    EXPECT_TRUE(out.good());
}

TEST(CompactForm, ABadStreamGetsNothing) {
    std::ostringstream out;
    out << "x";
    out.setstate(std::ios_base::badbit);
    out << objectFrom(R"({"a": 1})");
    EXPECT_EQ(out.str(), "x");
}

TEST(CompactForm, LongDocumentsArriveWhole) {
    Array array;
    std::string expected = "[";
    for (int i = 0; i < 2000; ++i) {
        const std::string text = "item/" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7), 'x');
        array << text;
        expected += (i > 0 ? ", \"" : "\"") + text.substr(0, 4) + "\\/" + text.substr(5) + "\"";
    }
    array << String(5000, 'y');
    expected += ", \"" + std::string(5000, 'y') + "\"]";
    EXPECT_EQ(compact(array), expected);
}

TEST(IndentedForm, LaysOutOneItemPerLineWithTabs) {
    Object object;
    object << "a" << 1 << "b" << arrayFrom(R"([true, "x"])") << "c" << Object();
    EXPECT_EQ(object.json(), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue,\n\t\t\"x\" \n\t],\n\t\"c\": {\n\t} \n} \n");
    EXPECT_EQ(object.write(jsondoc::JSON), object.json());
    EXPECT_EQ(Object().json(), "{\n} \n");
    EXPECT_EQ(Array().json(), "[\n] \n");
}

TEST(IndentedForm, TheLastItemOfEveryContainerLosesItsComma) {
    const Object object = objectFrom(R"({"a": {"b": 1, "c": 2}, "d": [[1], []], "e": {"": false}})");
    EXPECT_EQ(object.json(),
              "{\n"
              "\t\"a\": {\n\t\t\"b\": 1,\n\t\t\"c\": 2 \n\t},\n"
              "\t\"d\": [\n\t\t[\n\t\t\t1 \n\t\t],\n\t\t[\n\t\t] \n\t],\n"
              "\t\"e\": {\n\t\t\"\": false \n\t} \n"
              "} \n");
}

TEST(IndentedForm, NumbersHaveSixteenSignificantDigits) {
    struct Case {
        Number number;
        const char* text;
    };
    const std::vector<Case> cases = {
        {3, "3"},
        {0.5L, "0.5"},
        {0.1L, "0.1"},
        {1.0L / 3, "0.3333333333333333"},
        {1e16L, "1e+16"},
        {123456789012.0L, "123456789012"},
        {999999999999999.0L, "999999999999999"},
        {1e15L, "1000000000000000"},
        {1e-5L, "1e-05"},
        {0.0001L, "0.0001"},
        {-0.0L, "-0"},
        {-2.5e-300L, "-2.5e-300"},
        {std::numeric_limits<Number>::infinity(), "inf"},
        {-std::numeric_limits<Number>::infinity(), "-inf"},
        {std::numeric_limits<Number>::quiet_NaN(), "nan"},
    };
    for (const auto& c : cases) {
        Array array;
        array << c.number;
        EXPECT_EQ(array.json(), std::string("[\n\t") + c.text + " \n] \n");
    }
}

TEST(IndentedForm, NullAndInvalidValuesAreNull) {
    Array array;
    array << nullptr << Value() << false;
    EXPECT_EQ(array.json(), "[\n\tnull,\n\tnull,\n\tfalse \n] \n");
}

}  // namespace
