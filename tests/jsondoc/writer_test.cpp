#include <iomanip>
#include <vector>

#include "jsondoc_testing.h"

namespace jsondoc {
namespace {

TEST(Escaping, StringsAndKeysAreEscapedAlikeInBothForms) {
    const std::vector<std::pair<String, std::string>> cases = {
        {"", ""},
        {"a/b", "a\\/b"},
        {"say \"hi\" \\", "say \\\"hi\\\" \\\\"},
        {"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
        {String("\x00\x01\x1F", 3), "\\u0000\\u0001\\u001f"},
        {"\x7F\xC3\xA9\xFF", "\x7F\xC3\xA9\xFF"},
        {"plain, it's <&>", "plain, it's <&>"},
    };
    for (const auto& [text, escaped] : cases) {
        const std::string quoted = "\"" + escaped + "\"";
        Array array;
        array << text;
        EXPECT_EQ(compact(array), "[" + quoted + "]") << escaped;
        EXPECT_EQ(array.json(), "[\n\t" + quoted + " \n] \n") << escaped;
        Object object;
        object.import(text, Value(text));  // an empty text given to operator<< would be no key at all
        EXPECT_EQ(compact(object), "{" + quoted + ": " + quoted + "}") << escaped;
        EXPECT_EQ(object.json(), "{\n\t" + quoted + ": " + quoted + " \n} \n") << escaped;
    }
}

TEST(CompactForm, WritesOneLineWithCommaSpaceAndColonSpaceAndNumbersAsAFreshStreamDoes) {
    EXPECT_EQ(compact(parsed<Object>(R"({"b": [true, null, false], "a": "x/y", "c": {"y": [], "x": {}}})")),
              R"({"a": "x\/y", "b": [true, null, false], "c": {"x": {}, "y": []}})");
    EXPECT_EQ(compact(Value("v")), R"("v")");
    EXPECT_EQ(compact(parsed<Array>("[3, 65535, 1234567, 0.1, -0.0, 1e-5]")),
              "[3, 65535, 1.23457e+06, 0.1, -0, 1e-05]");
}

// A value that was never given one is written as null in both forms, so that the text still reads back.
TEST(Writers, AnInvalidValueIsWrittenAsNull) {
    Object object;
    object << "a" << Value() << "b" << nullptr;
    EXPECT_EQ(compact(object), R"({"a": null, "b": null})");
    EXPECT_EQ(compact(Value()), "null");
    EXPECT_EQ(object.json(), "{\n\t\"a\": null,\n\t\"b\": null \n} \n");
}

TEST(CompactForm, IgnoresTheFieldWidthAndABadStreamGetsNothing) {
    std::ostringstream out;
    out << std::setfill('*') << std::setw(8) << parsed<Array>("[\"\\u0001\", 10]");
    EXPECT_EQ(out.str(), R"(["\u0001", 10])");
    EXPECT_EQ(out.width(), 0);
    out.setstate(std::ios_base::badbit);
    out << parsed<Object>(R"({"a": 1})");
    EXPECT_EQ(out.str(), R"(["\u0001", 10])");
}

// Longer than the writer's staging area, with escapes at every offset, and one string longer than the area itself.
TEST(CompactForm, LongDocumentsArriveWhole) {
    Array array;
    std::string expected = "[";
    for (int i = 0; i < 2000; ++i) {
        array << std::string(static_cast<std::size_t>(i % 7), 'x') + "/" + std::to_string(i);
        expected += (i > 0 ? ", \"" : "\"") + std::string(static_cast<std::size_t>(i % 7), 'x') + "\\/" +
                    std::to_string(i) + "\"";
    }
    array << std::string(5000, 'y') + "/";
    expected += ", \"" + std::string(5000, 'y') + "\\/";
    EXPECT_EQ(compact(array), expected + "\"]");
}

TEST(IndentedForm, OneItemPerLineWithTabsAndNoCommaAfterTheLastItemOfAContainer) {
    Object object;
    object << "a" << 1 << "b" << parsed<Array>(R"([true, "x"])") << "c" << Object();
    EXPECT_EQ(object.json(), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue,\n\t\t\"x\" \n\t],\n\t\"c\": {\n\t} \n} \n");
    EXPECT_EQ(object.write(JSON), object.json());
    EXPECT_EQ(Object().json(), "{\n} \n");
    EXPECT_EQ(Array().json(), "[\n] \n");
    // Numbers have 16 significant digits.
    EXPECT_EQ(parsed<Object>(
                  R"({"a": {"b": 0.1, "c": 1e16}, "d": [[123456789012, 0.3333333333333333333], []], "e": {"": false}})")
                  .json(),
              "{\n"
              "\t\"a\": {\n\t\t\"b\": 0.1,\n\t\t\"c\": 1e+16 \n\t},\n"
              "\t\"d\": [\n\t\t[\n\t\t\t123456789012,\n\t\t\t0.3333333333333333 \n\t\t],\n\t\t[\n\t\t] \n\t],\n"
              "\t\"e\": {\n\t\t\"\": false \n\t} \n"
              "} \n");
}

}  // namespace
}  // namespace jsondoc
