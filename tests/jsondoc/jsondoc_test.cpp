#include "jsondoc/jsondoc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfenv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iterator>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "jsondoc/number_reader.h"
#include "support/number_edges.h"

namespace jsondoc {
namespace {

// The compact form of anything the library writes to a stream, on a fresh stream.
template <typename T>
std::string compact(const T& item) {
    std::ostringstream out;
    out << item;
    return out.str();
}

// An Object or Array read from text that must parse.
template <typename T>
T parsed(const std::string& text) {
    T container;
    EXPECT_TRUE(container.parse(text)) << text;
    return container;
}

// Members go in unsigned byte order of their keys: capitals first, a prefix before its extensions, UTF-8 last.
TEST(ObjectModel, HasTellsPresenceAndTypeGetGivesTheStoredValueAndKeysAreOrderedByByte) {
    Object object = parsed<Object>(R"({"n": 1, "s": "x", "a": [1], "o": {"l": [1]}, "b": true, "z": null})");
    const Object& view = object;
    EXPECT_TRUE(view.has<Number>("n") && view.has<String>("s") && view.has<Array>("a") && view.has<Object>("o") &&
                view.has<Boolean>("b") && view.has<Null>("z"));
    EXPECT_FALSE(view.has<String>("n") || view.has<Number>("s") || view.has<Object>("a") || view.has<Number>("x"));
    EXPECT_TRUE(view.find("z")->is<Null>() && !view.find("") && !view.find("c") && !view.find("zz"));
    EXPECT_TRUE(view.get<Number>("n") == 1 && view.get<Boolean>("b"));
    // Numbers are handed out by reference, like strings and containers; a write through one leaves the tag alone.
    object.get<Number>("n") += 0.5;
    object.get<Array>("a").get<Number>(0) = -1e300L;
    EXPECT_TRUE(&view.get<Number>("n") == &object.get<Number>("n") && view.has<Number>("n"));
    object.get<String>("s") += "y";
    object.get<Object>("o").get<Array>("l") << 2;
    object << "\xC3\xA9" << 5 << "ab" << 4 << "B" << 3;
    EXPECT_EQ(compact(object), R"({"B": 3, "a": [-1e+300], "ab": 4, "b": true, "n": 1.5, "o": {"l": [1, 2]}, )"
                               R"("s": "xy", )"
                               "\"z\": null, \"\xC3\xA9\": 5}");
}

// A string is a key when none waits, an empty text is no key, and an object with no key goes under the empty one.
TEST(Insertion, KeysAndValuesAlternateAndTheLastValueOfAKeyWins) {
    const Array list = parsed<Array>("[1]");
    Object object;
    object << "s" << String("v") << "0" << 0 << "t" << true << "n" << nullptr << "u8" << std::uint8_t{200} << "u16"
           << std::uint16_t{0x7100} << "l" << list << "o" << parsed<Object>("{}") << "k" << 1 << "k" << 2;
    object << String("w") << Value("v") << Value("x") << "" << String();
    object << parsed<Object>(R"({"a": 1})");
    EXPECT_TRUE(object.pendingKey().empty());
    EXPECT_EQ(compact(object), R"({"": {"a": 1}, "0": 0, "k": 2, "l": [1], "n": null, "o": {}, "s": "v", "t": true, )"
                               R"("u16": 28928, "u8": 200, "w": "v", "x": ""})");
}

// Every way of copying copies the whole tree: a change at any depth of the copy leaves the source alone. An import
// replaces the members whose keys it brings, keeps the others and drops the waiting key.
TEST(Copies, ChangingACopyAtAnyDepthLeavesTheSourceAloneAndAnImportReplacesWholeMembers) {
    const std::string text = R"({"a": {"b": [1, {"d": "x"}]}})";
    const Object source = parsed<Object>(text);
    Object constructed(source), assigned, imported = parsed<Object>(R"({"a": {"z": 0}, "keep": 1, "0": 2})"), inserted;
    assigned = source;
    imported.import(source);
    inserted << "k" << source;
    Value value(source), valueCopy(value), invalid;
    for (Object* copy : {&constructed, &assigned, &imported, &inserted.get<Object>("k"), &value.get<Object>()}) {
        Array& list = copy->get<Object>("a").get<Array>("b");
        list.get<Object>(1).get<String>("d") = "y";
        list << 3;
    }
    EXPECT_EQ(compact(source) + compact(valueCopy), text + text);
    EXPECT_EQ(compact(imported), R"({"0": 2, "a": {"b": [1, {"d": "y"}, 3]}, "keep": 1})");
    EXPECT_EQ(Value(invalid).type(), Value::INVALID_TYPE);
}

TEST(SelfCopies, CopiedIntoItselfAContainerKeepsItsContentsAndOverwrittenByAPartOfItselfTakesThatPart) {
    Object object = parsed<Object>(R"({"a": [1, 2], "b": {"c": 3}})"), &alias = object;
    const std::string before = compact(object);
    object << "waiting";
    object = alias;
    EXPECT_TRUE(object.pendingKey().empty());
    object << "waiting";
    object.import(alias);
    EXPECT_TRUE(object.pendingKey().empty() && compact(object) == before) << compact(object);
    object << "self" << alias << "again" << std::move(alias);
    EXPECT_EQ(compact(object.get<Object>("again")), R"({"a": [1, 2], "b": {"c": 3}, "self": )" + before + "}");
    Array array = parsed<Array>("[1, 2]"), &same = array;
    array = same;
    array.import(same);  // doubles
    array << same;
    EXPECT_EQ(compact(array.append(same)), "[1, 2, 1, 2, 1, 2, 1, 2, [1, 2, 1, 2, 1, 2, 1, 2]]");
    // Overwritten with something that lives inside it: the copy must be taken before the old contents go.
    Object outer = parsed<Object>(R"({"x": {"x": {"deep": 1}, "y": 2}, "z": 3})");
    outer.import(outer.get<Object>("x"));
    EXPECT_EQ(compact(outer), R"({"x": {"deep": 1}, "y": 2, "z": 3})");
    Object nested = parsed<Object>(R"({"child": {"a": [1, 2]}})");
    nested = nested.get<Object>("child");
    EXPECT_EQ(compact(nested), R"({"a": [1, 2]})");
    array = parsed<Array>("[[1, [2]], 3]");
    array = array.get<Array>(0);
    EXPECT_EQ(compact(array), "[1, [2]]");
    array = array.elements()[1];
    EXPECT_EQ(compact(array), "[[2]]");
    Value value(parsed<Object>(R"({"k": {"v": "text"}})"));
    value = value.get<Object>().members().at("k");
    EXPECT_EQ(compact(value), R"({"v": "text"})");
    Object keyed(String("k"), Value(parsed<Object>(R"({"a": 1})")));
    keyed << "k" << keyed.get<Object>("k") << "waiting";
    keyed.import("k", keyed.members().at("k"));  // and the waiting key goes
    EXPECT_TRUE(keyed.pendingKey().empty() && compact(keyed) == R"({"k": {"a": 1}})") << compact(keyed);
}

TEST(Reset, EmptiesTheContentsButKeepsTheTypeAndTheWaitingKey) {
    Value text("abc"), list(parsed<Array>("[1]")), number(4);
    text.reset(), list.reset(), number.reset();
    EXPECT_EQ(compact(text) + compact(list) + compact(number), R"(""[]4)");
    Object object = parsed<Object>(R"({"a": 1})");
    object << "waiting";
    ASSERT_TRUE(object.parse(std::string(R"({"b": 1})")));  // a parse starts with a reset
    EXPECT_EQ(compact(object << 5), R"({"b": 1, "waiting": 5})");
}

TEST(ArrayModel, AnArrayOperandIsFlattenedButAValueHoldingOneIsNested) {
    const Array pair = parsed<Array>("[1, 2]");
    const Value nested(pair);  // taken by copy: the lvalue path of operator<<
    Array array(Value("x")), moved;
    EXPECT_EQ(compact((array << pair << nested).append(pair)), R"(["x", 1, 2, [1, 2], [1, 2]])");
    array = Value(pair);
    EXPECT_EQ(compact(array), "[[1, 2]]");
    EXPECT_EQ(compact(moved << parsed<Array>("[3]") << parsed<Array>("[4, 5]")), "[3, 4, 5]");
}

// One case per expression text that a check prints. The runtime's own assertion line must follow the library's
// message: the release configurations define NDEBUG, and the check has to survive it.
TEST(MisuseDeathTest, EachFailedCheckNamesItsExpressionAndAborts) {
    const Object object = parsed<Object>(R"({"k": "text"})");
    const Array array = parsed<Array>(R"([1, "s"])");
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { object.get<Number>("k"); }, "has<T>\\(key\\)"},  // the key check also tests the type
        {[&] { array.get<Object>(array.size()); }, "i < size\\(\\)"},
        {[] { Array().get<Object>(0); }, "i < size\\(\\)"},  // and on a container that may change
        {[&] { array.get<Object>(0); }, "is<Object>\\(\\)"},
        {[&] { array.get<Number>(1); }, "is<Number>\\(\\)"},
        {[] { Value().get<Array>(); }, "is<Array>\\(\\)"},
        {[] { Object() << 5; }, "is<String>\\(\\)"},
        {[] { Object().xml(JSON); }, "format == jsondoc::JSONx \\|\\| .* \\|\\| format == jsondoc::TaggedXML"}};
    for (const auto& [misuse, expression] : cases) {
        EXPECT_DEATH(misuse(),
                     "\\[JSONDOC\\] expression '" + expression + "' failed at [A-Za-z_]+\\.(h|cpp):[0-9]+ -> " +
                         ".*jsondoc::assertion\\(const char\\*, int, const char\\*, bool\\).*Assertion `0' failed");
    }
    EXPECT_DEATH(assertion("../src/caller.cpp", 7, "x", false), "'x' failed at \\.\\./src/caller\\.cpp:7 -> ");
}

using Accepted = std::vector<std::pair<std::string, std::string>>;  // text, compact form of what it reads as

// Each text is read twice into the same target: a parse replaces whatever the target held.
template <typename T>
void expectReadings(const Accepted& accepted, const std::vector<std::string>& rejected) {
    T target;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [input, written] : accepted) {
            EXPECT_TRUE(target.parse(input) && compact(target) == written) << input << " read as " << compact(target);
        }
        for (const auto& input : rejected) {
            EXPECT_FALSE(target.parse(input)) << input;
        }
    }
}

TEST(ObjectGrammar, JsonWithItsWideningsIsReadAndAllElseFails) {
    // clang-format off
    expectReadings<Object>({
        {"{}", "{}"}, {"{\"a\":1,\"a\":2}", R"({"a": 2})"}, {"{\"a\":1,}", R"({"a": 1})"}, {"{\"a\": }", "{}"},
        {"// note\n{\"a\":1}", R"({"a": 1})"}, {"{\"a\":,\"b\":1}", R"({"a": null, "b": 1})"},
        {"{ // a\r\n \"a\" // b\n : // c\n 1 // d\n , // e\n \"b\":2 // f\n}", R"({"a": 1, "b": 2})"},
        {"{'a':'b', \"e\\u0041\\/\": 2}", R"({"a": "b", "eA\/": 2})"}, {"{\"a\":1,\"b\":}", R"({"a": 1})"},
        {"{\"a\":true,\"b\":false,\"c\":tr// c\nue,\"d\":null}", R"({"a": true, "b": false, "c": true, "d": null})"},
        {"{\"a\": [1, 2, }", "{}"},  // the array fails at the brace, which then closes the object
        {"{\"\":1} trailing text", R"({"": 1})"}, {R"({"a\tb": "c\nd", 'e\'': "f"})", R"({"a\tb": "c\nd", "e'": "f"})"},
        {"{\"b\":1,\"a\":{\"d\":1,\"c\":2,\"d\":3},\"b\":4,\"e\":{\"g\":1,\"f\":2},\"b\":5}",
         R"({"a": {"c": 2, "d": 3}, "b": 5, "e": {"f": 2, "g": 1}})"}}, {
        "", "   ", "\xEF\xBB\xBF{}", "/* note */ {}", "{,}", "{\"a\":1,,}", "{\"a\": x}", "{\"a\" 1}", "{1:2}", "{a:1}",
        "{\"a\":1", "{\"a\":\"b", "[1]", "{\"a\":1 /}", "{\"a\"", "{\"a\":1 2}", "{\"a\":tru}", "{\"a\":-}",
        "{\"a\":[1 2]}", "{\"a\":1e}"});
    // clang-format on
    // Past the size that an insertion sort takes, the last of equal keys still wins.
    std::string text = "{", written = "{";
    for (int i = 99; i >= 0; --i) {
        text += "\"k" + std::to_string(i % 50 + 10) + "\":" + std::to_string(i) + (i > 0 ? "," : "}");
    }
    for (int i = 0; i < 50; ++i) {
        written += "\"k" + std::to_string(i + 10) + "\": " + std::to_string(i) + (i < 49 ? ", " : "}");
    }
    EXPECT_EQ(compact(parsed<Object>(text)), written);
    // A failed parse keeps the members read before the failure, ordered; a failed value becomes invalid.
    Object object = parsed<Object>(R"({"old": 1})");
    EXPECT_TRUE(!object.parse(std::string(R"({"b":1,"a":2,"b":3,"c":x})")) && compact(object) == R"({"a": 2, "b": 3})")
        << compact(object);
    Value value("previous");
    EXPECT_TRUE(!value.parse(std::string("[1")) && value.type() == Value::INVALID_TYPE);
}

TEST(ArrayGrammar, JsonWithItsWideningsIsReadAndAllElseFails) {
    // clang-format off
    expectReadings<Array>({
        {"[]", "[]"}, {"[1,2,]", "[1, 2]"}, {"[1,,2]", "[1, null, 2]"}, {"[,1]", "[null, 1]"}, {"[,]", "[null]"},
        {"[+1, .5, 5., 01, 1E+2, -0.25e-1, 00012]", "[1, 0.5, 5, 1, 100, -0.025, 12]"},
        {"['single', \"double\"]", R"(["single", "double"])"},
        // Objects of as many members in another order of keys, or with a key twice (escaped once), order anew.
        {R"([{"c":1,"a":2,"b":3},{"c":4,"b":5,"a":6},{"z":7,"x":8,"y":9},{"b":1,"\u0062":2,"a":3}])",
         R"([{"a": 2, "b": 3, "c": 1}, {"a": 6, "b": 5, "c": 4}, {"x": 8, "y": 9, "z": 7}, {"a": 3, "b": 2}])"},
        {"[[1 {\"a\":1}]", R"([{"a": 1}])"},  // a failed array is retried as an object from where it stopped
        {"[1e-99999]", "[0]"},                // underflow is no failure
        {"[\n          1,\t         \n \t        2\r\n               ,3         ]", "[1, 2, 3]"},  // runs of blanks
        // Escapes: unknown ones keep their backslash, \u takes up to four hex digits and keeps the low byte.
        {R"(["a\qb", "\a\0\U", "it\'s", 'it\'s'])", R"(["a\\qb", "\\a\\0\\U", "it\\'s", "it's"])"},
        {R"(["\"\\\/\b\f\n\r\t", 'say \"x\"', 'a"b'])", R"(["\"\\\/\b\f\n\r\t", "say \\\"x\\\"", "a\"b"])"},
        {R"(["\u0041", "\u00e9", "\u20AC", "\u00ff", "\uZZZZ", "\u12"4x", "\u 41Z"])",
         "[\"A\", \"\xE9\", \"\xAC\", \"\xFF\", \"\", \"\\u0012x\", \"A\"]"},
        {"[\"line\nbreak\", \"raw\x01\x1F\x7F caf\xC3\xA9\", \"//not a comment\"]",
         "[\"line\\nbreak\", \"raw\\u0001\\u001f\x7F caf\xC3\xA9\", \"\\/\\/not a comment\"]"}}, {
        "", "[1 2]", "[1e]", "[-]", "[.]", "[+]", "[1e+]", "[0x10]", "[Infinity]", "[NaN]", "[1.5.5]", "[1", "[1,",
        "[,,x]", "[x]", "{}", "[/]", "[tr]", "[nul]", "['a]", "[\"abc", "[\"abc\\", "[\"\\u12", "['abc\"]",
        "[1e99999]", "[1,             "});
    // clang-format on
    // Beyond the largest finite value the parse fails; the unit's long double is a double, wider on other machines.
    const int wider = std::numeric_limits<Number>::max_exponent10 == 308 ? 0 : 2;
    EXPECT_EQ(Array().parse(std::string("[1e999]")) + Array().parse(std::string("[-1.8e308]")), wider);
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
        const unsigned pairs = (levels + 1) / 2;
        EXPECT_EQ(Value().parse(repeated("[{\"a\":", pairs) + "1" + repeated("}]", pairs)), within) << levels;
    }
    EXPECT_FALSE(Array().parse(repeated("[", 1000000)) || Object().parse(repeated("{\"a\":", 1000000)) ||
                 validate(repeated("[", 1000000)));
}

// The compact form of what the parse read, or "failed".
template <typename T>
std::string parseAs(std::istream& input) {
    T target;
    return T::parse(input, target) ? compact(target) : "failed";
}

// The unit reads its files through file streams, whose buffers refill while the document goes by.
TEST(ParseEntryPoints, FileStreamsReadLikeStringStreams) {
    std::string text = "{";
    for (int i = 0; i < 3000; ++i) {
        text += "\"key" + std::to_string(i) + "\": [" + std::to_string(i) + ".25, 'v\\u0041', tru// c\ne],";
    }
    char path[] = "/tmp/jsondoc_parse_XXXXXX";
    ASSERT_EQ(close(mkstemp(path)), 0);
    std::ofstream(path) << text << "}";
    std::ifstream input(path);
    EXPECT_EQ(parseAs<Object>(input), compact(parsed<Object>(text + "}")));
    std::remove(path);
}

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- generated by jsondoc 1.0 -->\n";

TEST(ValidateAndReformat, ReadTheLeadingContainerAfterBlanksAndControlBytes) {
    std::istringstream stream("\x01\x1F \n{'b':[true],'a':1}");
    EXPECT_TRUE(validate(stream) && validate(std::string("\0[]", 3)));
    EXPECT_EQ(reformat("\x01\x1F \n{'b':[true],'a':1}"), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue \n\t] \n} \n");
    EXPECT_EQ(reformat(std::string("\0[]", 3)), "[\n] \n");
    // Text without a leading container: no container, no indented text, the XML header alone.
    for (const char* input : {"\xEF\xBB\xBF{}", "5", "", "   \n", "\"s\"", "// c\n{}", "{\"a\":", "[1 2]", "true"}) {
        EXPECT_FALSE(validate(input) || !reformat(input).empty() || xml(input, JXML) != kHeader) << input;
    }
}

// What the parse read, what it left unread and the state it left the stream in.
using Outcome = std::tuple<std::string, std::string, std::ios_base::iostate>;

Outcome outcomeOf(std::string (*parse)(std::istream&), std::istream& input) {
    const std::string read = parse(input);
    const auto state = input.rdstate();
    input.clear();
    return {read, std::string(std::istreambuf_iterator<char>(input), {}), state};
}

constexpr auto kGood = std::ios_base::goodbit, kEof = std::ios_base::eofbit, kFail = std::ios_base::failbit;

// After success the stream stands behind the closing bracket or the value; after failure where the failing step
// stopped: partly matched words put back, failed numbers rewound, comments and finished members consumed.
TEST(StreamPosition, WhatRemainsAfterSuccessAndFailure) {
    const auto object = parseAs<Object>, array = parseAs<Array>, value = parseAs<Value>;
    // clang-format off
    const std::tuple<std::string (*)(std::istream&), const char*, Outcome> cases[] = {
        {object, "{\"a\":1} // after", {R"({"a": 1})", " // after", kGood}}, {object, "", {"failed", "", kEof}},
        {array, "[t// x\nX]", {"failed", "X]", std::ios_base::badbit | kFail}}, {value, "5", {"5", "", kEof}},
        {object, "{\"a\" 1}", {"failed", "1}", kGood}},       {object, "{\"a\":1,\"b\":x}", {"failed", "x}", kGood}},
        {object, "// c\n [1]", {"failed", "[1]", kGood}},     {object, "{\"a\":1", {"failed", "", kEof | kFail}},
        {object, "{\"a\":\"b", {"failed", "", kEof | kFail}}, {array, "[1e]", {"failed", "1e]", kGood}},
        {array, "[1e", {"failed", "1e", kGood}},              {array, "[1 2]", {"failed", "2]", kGood}},
        {array, "[tru]", {"failed", "tru]", kGood}},          {array, "[tru", {"failed", "tru", kFail}},
        {array, "[// c\n x]", {"failed", "x]", kGood}},       {array, "[1, // c", {"failed", "", kEof | kFail}},
        {array, "[t// c", {"failed", "", kEof | kFail}},      {value, "// c\n -2 ", {"-2", " ", kGood}},
        {value, " 'x' ", {R"("x")", " ", kGood}},             {value, "[1] ", {"[1]", " ", kGood}},
        {value, "{}", {"{}", "", kGood}},                     {value, "true x", {"true", " x", kGood}},
        {value, ",", {"null", ",", kGood}},                   {value, "-x", {"failed", "-x", kGood}},
        {value, "'abc", {"failed", "", kEof | kFail}}};
    // clang-format on
    for (const auto& [parse, text, outcome] : cases) {
        std::istringstream input(text);
        EXPECT_EQ(outcomeOf(parse, input), outcome) << text;
    }
    std::istringstream failed("{\"a\":1}");
    failed.setstate(kFail);
    EXPECT_EQ(outcomeOf(object, failed), Outcome("failed", "{\"a\":1}", kFail)) << "a failed stream is not read";
    // A buffer that fails to read past its text: the members and elements read before the error stay, the one
    // being read goes.
    struct FailingBuffer : std::streambuf {
        explicit FailingBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
        int_type underflow() override { throw std::ios_base::failure("read error"); }
    };
    std::string text = R"({"b":1,"a":{"d":2,"c":3},"e":)", elements = R"([1,{"a":[2]},[3,)";
    FailingBuffer buffer(text), elementBuffer(elements);
    std::istream broken(&buffer), brokenArray(&elementBuffer);
    Object kept;
    Array keptElements;
    EXPECT_TRUE(!Object::parse(broken, kept) && broken.bad() && compact(kept) == R"({"a": {"c": 3, "d": 2}, "b": 1})")
        << compact(kept);
    EXPECT_TRUE(!Array::parse(brokenArray, keptElements) && brokenArray.bad() &&
                compact(keptElements) == R"([1, {"a": [2]}])")
        << compact(keptElements);
    // A directory opened as a file makes its buffer fail to read; the parse fails instead of letting the error escape.
    for (auto parse : {object, array, value}) {
        std::ifstream directory("/");
        EXPECT_TRUE(parse(directory) == "failed" && directory.bad());
    }
}

// A locale whose decimal point is a comma.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
};

TEST(StreamLocale, NumbersAreReadInTheStreamsLocale) {
    // clang-format off
    const std::pair<const char*, Outcome> cases[] = {{"[1,5]", {"[1.5]", "", kGood}}, {"[,5]", {"[0.5]", "", kGood}},
        {"[1.5]", {"failed", ".5]", kGood}}, {"[1e]", {"failed", "1e]", kGood}}};
    // clang-format on
    for (const auto& [text, outcome] : cases) {
        std::istringstream input(text);
        input.imbue(std::locale(std::locale::classic(), new CommaPoint));
        EXPECT_EQ(outcomeOf(parseAs<Array>, input), outcome) << text;
    }
    Array array;  // text takes the global locale, as a string stream made from it would
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    const bool parsed = array.parse(std::string("[1,5]"));
    std::locale::global(previous);
    EXPECT_TRUE(parsed && compact(array) == "[1.5]") << compact(array);
}

// The parser and the writers make their number text themselves; the standard stream and printf are the references.

// A read as text: the exact value, where it stopped and whether it met the end of the input.
std::string describe(bool ok, Number value, std::istream& input) {
    std::ostringstream out;
    const bool atEnd = input.eof();
    input.clear();
    out << std::hexfloat << value << " at " << input.tellg() << (atEnd ? " (end)" : "");
    return ok ? out.str() : "failed";
}

// The parser must accept exactly the texts the extraction accepts, with the same value, stopping at the same
// character, and rewind completely when it fails.
void expectReadAsTheStreamReads(const std::string& text) {
    std::istringstream reference(text), input(text);
    Number extracted = 0;
    Value value;
    const bool ok = Value::parse(input, value), extractedOk = !(reference >> extracted).fail();
    EXPECT_TRUE(ok || (input.good() && input.tellg() == 0)) << "not rewound: " << text;
    EXPECT_EQ(describe(ok, ok ? value.get<Number>() : 0, input), describe(extractedOk, extracted, reference)) << text;
    Value fromText;  // text in memory is read in place, by a way of its own for the usual numbers
    const bool textOk = fromText.parse(text);
    const auto same = [](Number a, Number b) { return a == b && std::signbit(a) == std::signbit(b); };
    EXPECT_TRUE(textOk == ok && (!ok || same(fromText.get<Number>(), value.get<Number>()))) << text;
}

TEST(NumberReading, AgreesWithTheStreamExtraction) {
    const auto texts = numberEdges(MORVANE_NUMBER_EDGES, "read");
    for (const int rounding : {FE_UPWARD, FE_DOWNWARD, FE_TONEAREST}) {  // the last one stays in force
        std::fesetround(rounding);
        for (const auto& text : texts) {
            expectReadAsTheStreamReads(text);
        }
    }
    errno = 0;  // an underflow leaves the caller's errno alone
    EXPECT_TRUE(Array().parse(std::string("[1e-99999, 1e-400]")) && errno == 0);
}

// The nearest reading for doubles, against strtod: random mantissas and exponents, and mantissas on a midpoint
// between two doubles (an odd 54-bit integer times a power of two, some below a power of two) or one off it.
TEST(NumberReading, NearestDoubleAgreesWithStrtod) {
    const auto expectAsStrtod = [](std::uint64_t mantissa, int exponent) {
        char text[48];
        std::snprintf(text, sizeof text, "%" PRIu64 "e%d", mantissa, exponent);
        EXPECT_EQ(jsondoc::detail::nearestDecimal<double>(mantissa, exponent), std::strtod(text, nullptr)) << text;
    };
    // Just above a midpoint, too near for the first test, with powers of ten past the exact ones: the exact
    // comparison shifts by more than two limbs, and the guess divides by two powers.
    expectAsStrtod(11841385670538710373u, 31);
    expectAsStrtod(14741957714304141515u, -31);
    std::mt19937_64 random(22);
    const int limit = jsondoc::detail::kNearestPowerLimit<double>;
    for (int i = 0; i < 40000; ++i) {
        auto mantissa = std::max<std::uint64_t>(random() >> random() % 64, 1);
        int exponent = static_cast<int>(random() % (2 * limit + 1)) - limit;
        if (i % 2 == 1) {
            // 5^4 times 54 bits still fits; 2^54 - 1 lies below a power of two.
            const bool belowPower = i % 8 == 1;
            exponent = belowPower ? -1 - static_cast<int>(random() % 4) : static_cast<int>(random() % 27) - 4;
            const auto bits = belowPower ? ~std::uint64_t{0} : random();
            std::uint64_t five = 1;
            for (int k = 0; k < std::abs(exponent); ++k) {
                five *= 5;
            }
            const std::uint64_t low = (std::uint64_t{1} << 53) / five + 1, high = (std::uint64_t{1} << 54) / five;
            const std::uint64_t odd = exponent >= 0 ? (low + random() % (high - low)) | 1
                                                    : (((std::uint64_t{1} << 53) + (bits >> 11)) | 1) * five;
            const auto shift = random() % 64;
            mantissa = (odd << shift >> shift == odd ? odd << shift : odd) + random() % 3 - 1;
        }
        expectAsStrtod(mantissa, exponent);
    }
}

// The stream form writes each number as the stream itself would, whatever the caller set on the stream; the
// indented form writes it as printf's %.16Lg.
void expectWrittenAsTheReferencesWrite(Number number) {
    const auto expectAsTheStream = [number](const std::function<void(std::ostream&)>& set) {
        std::ostringstream expected, written;
        set(expected);
        set(written);
        expected << number;
        written << Value(number);
        EXPECT_EQ(written.str(), expected.str()) << expected.flags() << " " << std::hexfloat << number;
    };
    for (std::streamsize precision : {0, 1, 2, 3, 5, 6, 7, 10, 15, 16, 17, 18, 21, 30, 60}) {
        expectAsTheStream([=](std::ostream& out) { out.precision(precision); });
    }
    using F = std::ios_base;
    for (auto flags : {F::fixed, F::scientific, F::showpos, F::uppercase, F::showpoint, F::hex}) {
        expectAsTheStream([=](std::ostream& out) { out.setf(flags); });
    }
    expectAsTheStream([](std::ostream& out) { out.imbue(std::locale(std::locale::classic(), new CommaPoint)); });
    char text[128];
    std::snprintf(text, sizeof text, "%.16Lg", static_cast<long double>(number));
    EXPECT_EQ((Array() << number).json(), "[\n\t" + std::string(text) + " \n] \n") << std::hexfloat << number;
}

// Ties, carries into a new leading digit, the boundaries of the exponent notation and of the integers written
// digit by digit, and the extremes of the type.
TEST(NumberWriting, AgreesWithTheStreamAndPrintf) {
    using Limits = std::numeric_limits<Number>;
    std::vector<Number> numbers = {1.0L / 3,      2.0L / 3,          Limits::min(),      Limits::denorm_min(),
                                   Limits::max(), Limits::epsilon(), Limits::infinity(), Limits::quiet_NaN()};
    for (const auto& text : numberEdges(MORVANE_NUMBER_EDGES, "write")) {
        numbers.push_back(std::stold(text));
    }
    numbers.push_back(std::ldexp(static_cast<Number>(0xd288ce703afb7e91u), -70));       // (128.5 + 2^-66) / 10^4
    numbers.push_back(std::ldexp(1 + std::ldexp(Number(1), 1 - Limits::digits), -15));  // a tie at 10, but for a bit
    for (int power : {-126, 0, 20}) {  // below a power of two by less than its nearest double is
        numbers.push_back(std::ldexp(1 - std::ldexp(Number(1000), -64), power));
    }
    // Both references follow the rounding mode: 0.1 rounded up is "0.100001" at precision 6.
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO, FE_TONEAREST}) {
        std::fesetround(mode);
        for (Number number : numbers) {
            expectWrittenAsTheReferencesWrite(number);
            expectWrittenAsTheReferencesWrite(-number);
        }
    }
}

TEST(Escaping, StringsAndKeysAreEscapedAlikeInBothForms) {
    // clang-format off
    const std::pair<String, std::string> cases[] = {
        {"", ""}, {"a/b", "a\\/b"}, {"say \"hi\" \\", "say \\\"hi\\\" \\\\"}, {"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
        {String("\x00\x01\x1F", 3), "\\u0000\\u0001\\u001f"}, {"\x7F\xC3\xA9\xFF", "\x7F\xC3\xA9\xFF"},
        {"plain, it's <&>", "plain, it's <&>"},  // and long enough to be scanned a word at a time:
        {"0123456/89abcdef\"0123456789abcdef0123456\x01tail",
         "0123456\\/89abcdef\\\"0123456789abcdef0123456\\u0001tail"},
        // '#' after a byte to escape, whose borrow may mark it too; escapes in the last bytes, and in the word that
        // ends the text, before them.
        {"abcdefg\n#\"#/", "abcdefg\\n#\\\"#\\/"}, {"abcdefgh\"#", "abcdefgh\\\"#"}, {"\t#", "\\t#"}};
    // clang-format on
    for (const auto& [text, escaped] : cases) {
        const std::string quoted = "\"" + escaped + "\"";
        const Array array = Array() << text;
        const Object object(text, Value(text));  // an empty text given to operator<< would be no key at all
        EXPECT_EQ(compact(array) + compact(object), "[" + quoted + "]{" + quoted + ": " + quoted + "}");
        EXPECT_EQ(array.json() + object.json(), "[\n\t" + quoted + " \n] \n{\n\t" + quoted + ": " + quoted + " \n} \n");
    }
}

// Numbers go as a fresh stream writes them; a value that was never given one is null, so that the text reads back.
TEST(CompactForm, OneLineWithCommaSpaceAndColonSpaceNumbersAsAFreshStreamWritesThemAndNoFieldWidth) {
    EXPECT_EQ(compact(parsed<Object>(R"({"b": [true, null, false], "a": "x/y", "c": {"y": [], "x": {}}})")),
              R"({"a": "x\/y", "b": [true, null, false], "c": {"x": {}, "y": []}})");
    EXPECT_EQ(compact(parsed<Array>("[3, 65535, 1234567, 0.1, -0.0, 1e-5]")),
              "[3, 65535, 1.23457e+06, 0.1, -0, 1e-05]");
    Object object;
    object << "a" << Value() << "b" << nullptr;
    EXPECT_EQ(compact(object) + compact(Value()) + compact(Value("v")), R"({"a": null, "b": null}null"v")");
    EXPECT_EQ(object.json(), "{\n\t\"a\": null,\n\t\"b\": null \n} \n");
    // The field width is not applied to a document, and a bad stream gets nothing.
    std::ostringstream out;
    out << std::setfill('*') << std::setw(8) << parsed<Array>("[\"\\u0001\", 10]");
    out.setstate(std::ios_base::badbit);
    out << parsed<Object>(R"({"a": 1})");
    EXPECT_TRUE(out.width() == 0 && out.str() == R"(["\u0001", 10])") << out.str();
    std::ostringstream fixed;  // a number the stream writes itself comes after the text before it
    fixed << std::fixed << parsed<Array>("[1.5, 2]");
    EXPECT_EQ(fixed.str(), "[1.500000, 2.000000]");
    std::ofstream unopened;  // a buffer that takes nothing makes the stream bad
    EXPECT_TRUE((unopened << parsed<Array>("[1]")).bad());
    // Longer than the writer's staging area, with escapes at every offset.
    Array array;
    std::string expected = "[";
    for (int i = 0; i < 2000; ++i) {
        const std::string x(static_cast<std::size_t>(i % 7), 'x'), n = std::to_string(i);
        array << x + "/" + n;
        expected += (i > 0 ? ", \"" : "\"") + x + "\\/" + n + "\"";
    }
    std::string text, escaped;  // a value and a key longer than the area, with escapes around where they are cut
    for (int i = 0; i < 9000; ++i) {
        text += i % 5 == 0 ? '/' : 'y';
        escaped += i % 5 == 0 ? "\\/" : "y";
    }
    array << text << Object(text, Value(1));
    EXPECT_EQ(compact(array), expected + ", \"" + escaped + "\", {\"" + escaped + "\": 1}]");
}

TEST(IndentedForm, OneItemPerLineWithTabsAndNoCommaAfterTheLastItemOfAContainer) {
    const Object object = parsed<Object>(R"({"c": {}, "b": [true, "x"], "a": 1})");
    EXPECT_EQ(object.json(), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue,\n\t\t\"x\" \n\t],\n\t\"c\": {\n\t} \n} \n");
    EXPECT_EQ(object.write(JSON) + Object().json() + Array().json(), object.json() + "{\n} \n[\n] \n");
    // Numbers have 16 significant digits.
    EXPECT_EQ(parsed<Object>(
                  R"({"a": {"b": 0.1, "c": 1e16}, "d": [[123456789012, 0.3333333333333333333], []], "e": {"": false}})")
                  .json(),
              "{\n\t\"a\": {\n\t\t\"b\": 0.1,\n\t\t\"c\": 1e+16 \n\t},\n\t\"d\": [\n\t\t[\n\t\t\t123456789012,\n"
              "\t\t\t0.3333333333333333 \n\t\t],\n\t\t[\n\t\t] \n\t],\n\t\"e\": {\n\t\t\"\": false \n\t} \n} \n");
}

TEST(XmlFormats, RenderTheExampleDocumentByteForByteFromTheModelAndFromText) {
    const std::pair<unsigned, std::string> cases[] = {
        {JSONx,
         "<json:object xsi:schemaLocation=\"http://www.ibm.com/xmlns/prod/2009/jsonx jsonx.xsd\""
         " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
         " xmlns:json=\"http://www.ibm.com/xmlns/prod/2009/jsonx\">\n\t<json:number name=\"a\">1</json:number>\n"
         "\t<json:string name=\"b\">x&lt;y</json:string>\n\t<json:null name=\"c\" />\n\t<json:array name=\"d\">\n"
         "\t\t<json:boolean>true</json:boolean>\n\t</json:array>\n</json:object>\n"},
        {JXML,
         "<j son=\"o\">\n\t<j son=\"n:a\">1</j>\n\t<j son=\"s:b\">x&lt;y</j>\n\t<j son=\"0:c\" />\n\t<j son=\"a:d\">\n"
         "\t\t<j son=\"b\">true</j>\n\t</j>\n</j>\n"},
        {JXMLex,
         "<j son=\"o\">\n\t<j son=\"n:a\" a=\"1\">1</j>\n\t<j son=\"s:b\" b=\"x&lt;y\">x&lt;y</j>\n"
         "\t<j son=\"0:c\" c=\"\" />\n\t<j son=\"a:d\" d=\"\">\n\t\t<j son=\"b\">true</j>\n\t</j>\n</j>\n"},
        {TaggedXML,
         "<JsonItem type=\"json:object\">\n\t<a type=\"json:number\" name=\"a\">1</a>\n"
         "\t<b type=\"json:string\" name=\"b\">x&lt;y</b>\n\t<c type=\"json:null\" name=\"c\" />\n"
         "\t<d type=\"json:array\" name=\"d\">\n\t\t<JsonItem type=\"json:boolean\">true</JsonItem>\n"
         "\t</d>\n</JsonItem>\n"}};
    const Object object = parsed<Object>(R"({"d": [true], "c": null, "b": "x<y", "a": 1})");
    for (const auto& [format, body] : cases) {
        EXPECT_EQ(object.xml(format), kHeader + body) << format;
        EXPECT_TRUE(object.write(format) == kHeader + body && xml(compact(object), format) == kHeader + body) << format;
    }
    EXPECT_EQ(xml(std::string("\x01 \t[1] rest"), JXML), kHeader + "<j son=\"a\">\n\t<j son=\"n\">1</j>\n</j>\n");
}

TEST(XmlFormats, ArraysEmptyContainersInvalidValuesAndAGivenHeader) {
    Array array = parsed<Array>(R"([null, {}, [], 0.1, false])");
    EXPECT_EQ((array << Value()).xml(TaggedXML, "H", ""),
              "H<JsonItem type=\"json:array\">\n\t<JsonItem type=\"json:null\" />\n\t<JsonItem type=\"json:object\">\n"
              "\t</JsonItem>\n\t<JsonItem type=\"json:array\">\n\t</JsonItem>\n"
              "\t<JsonItem type=\"json:number\">0.1</JsonItem>\n\t<JsonItem type=\"json:boolean\">false</JsonItem>\n"
              "\t<JsonItem type=\"json:null\" />\n</JsonItem>\n");
    // A given header and attributes replace the defaults, at the root only.
    const Object object = parsed<Object>(R"({"k": {"n": 1}})");
    EXPECT_EQ(object.xml(JSONx, "<x/>", " a=\"1\""),
              "<x/><json:object a=\"1\">\n\t<json:object name=\"k\">\n\t\t<json:number name=\"n\">1</json:number>\n"
              "\t</json:object>\n</json:object>\n");
}

// Tag names keep ASCII letters and digits, a leading digit too; attribute values carry JSON escapes; element text
// escapes only what would make markup.
TEST(XmlNamesAndEscaping, KeysBecomeTagNamesAttributesAreJsonEscapedAndTextIsXmlEscaped) {
    const Object object = parsed<Object>("{'9 lives': 1, 'caf\xC3\xA9': 3, 'a/b<&\"': '<t> & \"q\" \\'a\\'\x01'}");
    EXPECT_EQ(object.xml(TaggedXML, "H", ""),
              "H<JsonItem type=\"json:object\">\n\t<9_lives type=\"json:number\" name=\"9 lives\">1</9_lives>\n"
              "\t<a_b___ type=\"json:string\" name=\"a\\/b<&\\\"\">&lt;t&gt; &amp; \"q\" 'a'\x01</a_b___>\n"
              "\t<caf__ type=\"json:number\" name=\"caf\xC3\xA9\">3</caf__>\n</JsonItem>\n");
    EXPECT_EQ(
        object.xml(JXMLex, "H", ""),
        "H<j son=\"o\">\n\t<j son=\"n:9 lives\" 9_lives=\"1\">1</j>\n"
        "\t<j son=\"s:a\\/b<&\\\"\" a_b___=\"&lt;t&gt; &amp; \\\"q\\\" 'a'\\u0001\">&lt;t&gt; &amp; \"q\" 'a'\x01</j>\n"
        "\t<j son=\"n:caf\xC3\xA9\" caf__=\"3\">3</j>\n</j>\n");
}

}  // namespace
}  // namespace jsondoc
