#include <cstdint>
#include <utility>
#include <vector>

#include "jsondoc_testing.h"

namespace jsondoc {
namespace {

TEST(ObjectModel, MembersAreVisitedInUnsignedByteOrderOfTheirKeys) {
    Object object;
    object << "b" << 1 << "a" << 2 << "B" << 3 << "ab" << 4 << "\xC3\xA9" << 5 << "z" << 6;
    EXPECT_EQ(compact(object), "{\"B\": 3, \"a\": 2, \"ab\": 4, \"b\": 1, \"z\": 6, \"\xC3\xA9\": 5}");
}

TEST(ObjectModel, HasTellsPresenceAndTypeAndGetGivesTheStoredValue) {
    Object object = parsed<Object>(R"({"n": 1, "s": "x", "a": [1], "o": {"l": [1]}, "b": true, "z": null})");
    const Object& view = object;
    EXPECT_TRUE(view.has<Number>("n") && view.has<String>("s") && view.has<Array>("a") && view.has<Object>("o") &&
                view.has<Boolean>("b") && view.has<Null>("z"));
    EXPECT_FALSE(view.has<String>("n") || view.has<Number>("s") || view.has<Object>("a") || view.has<Number>("x"));
    EXPECT_EQ(view.get<Number>("n"), 1);
    EXPECT_TRUE(view.get<Boolean>("b"));
    object.get<String>("s") += "y";
    object.get<Object>("o").get<Array>("l") << 2;
    EXPECT_EQ(compact(object), R"({"a": [1], "b": true, "n": 1, "o": {"l": [1, 2]}, "s": "xy", "z": null})");
}

TEST(Insertion, KeysAndValuesAlternateAndTheLastValueOfAKeyWins) {
    const Array list = parsed<Array>("[1]");
    Object object;
    object << "s" << String("v") << "0" << 0 << "t" << true << "n" << nullptr << "u8" << std::uint8_t{200} << "u16"
           << std::uint16_t{0x7100} << "l" << list << "o" << parsed<Object>("{}") << "k" << 1 << "k" << 2;
    EXPECT_TRUE(object.pendingKey().empty());
    EXPECT_EQ(compact(object),
              R"({"0": 0, "k": 2, "l": [1], "n": null, "o": {}, "s": "v", "t": true, "u16": 28928, "u8": 200})");
}

TEST(Insertion, AStringIsAKeyWhenNoneWaitsAndAnObjectWithNoKeyGoesUnderTheEmptyOne) {
    Object object;
    object << String("k");
    EXPECT_EQ(object.pendingKey(), "k");
    object << Value("v") << Value("w") << "";
    object << "";  // an empty text is no key
    EXPECT_TRUE(object.pendingKey().empty());
    object << parsed<Object>(R"({"a": 1})");
    EXPECT_TRUE(object.pendingKey().empty());
    EXPECT_EQ(compact(object), R"({"": {"a": 1}, "k": "v", "w": ""})");
}

// Every way of copying copies the whole tree: a change at any depth of the copy leaves the source alone.
TEST(Copies, ChangingACopyAtAnyDepthLeavesTheSourceAlone) {
    const std::string text = R"({"a": {"b": [1, {"d": "x"}]}})";
    const Object source = parsed<Object>(text);
    Object constructed(source), assigned, imported, inserted;
    assigned = source;
    imported << "keep" << 1;
    imported.import(source);
    inserted << "k" << source;
    Value value(source);
    const Value valueCopy(value);
    for (Object* copy : {&constructed, &assigned, &imported, &inserted.get<Object>("k"), &value.get<Object>()}) {
        Array& list = copy->get<Object>("a").get<Array>("b");
        list.get<Object>(1).get<String>("d") = "y";
        list << 3;
    }
    EXPECT_EQ(compact(source), text);
    EXPECT_EQ(compact(valueCopy), text);
    EXPECT_EQ(compact(imported), R"({"a": {"b": [1, {"d": "y"}, 3]}, "keep": 1})");

    const Value invalid;
    EXPECT_EQ(Value(invalid).type(), Value::INVALID_TYPE);
}

TEST(Copies, ImportReplacesSharedKeysKeepsTheOthersAndDropsTheWaitingKey) {
    Object target = parsed<Object>(R"({"a": 1, "b": {"x": 1}, "c": 3})");
    target.import(parsed<Object>(R"({"b": {"y": 2}, "d": 4})"));
    EXPECT_EQ(compact(target), R"({"a": 1, "b": {"y": 2}, "c": 3, "d": 4})");
    Object keyed(String("k"), Value(1));
    keyed << "waiting";
    keyed.import("k", Value("two"));
    keyed.import("j", Value(nullptr));
    EXPECT_EQ(compact(keyed), R"({"j": null, "k": "two"})");
    EXPECT_TRUE(keyed.pendingKey().empty());
}

TEST(SelfCopies, AContainerCopiedIntoItselfKeepsItsContentsAndAnArrayImportDoubles) {
    Object object = parsed<Object>(R"({"a": [1, 2], "b": {"c": 3}})");
    const std::string before = compact(object);
    Object& alias = object;
    object << "waiting";
    EXPECT_TRUE(Object(object).pendingKey().empty());  // no copy takes over the waiting key
    object = alias;
    EXPECT_TRUE(object.pendingKey().empty());
    object << "waiting";
    object.import(alias);
    EXPECT_TRUE(object.pendingKey().empty());
    EXPECT_EQ(compact(object), before);
    object << "self" << alias << "again" << std::move(alias);
    EXPECT_EQ(compact(object.get<Object>("again")),
              R"({"a": [1, 2], "b": {"c": 3}, "self": {"a": [1, 2], "b": {"c": 3}}})");

    Array array = parsed<Array>("[1, 2]");
    Array& same = array;
    array = same;
    EXPECT_EQ(compact(array), "[1, 2]");
    array.import(same);
    EXPECT_EQ(compact(array), "[1, 2, 1, 2]");
    array << same;
    array.append(same);
    EXPECT_EQ(compact(array), "[1, 2, 1, 2, 1, 2, 1, 2, [1, 2, 1, 2, 1, 2, 1, 2]]");
}

// A container overwritten with something that lives inside it: the copy must be taken before the old contents go.
TEST(SelfCopies, OverwritingWithAPartOfItselfCopiesBeforeReleasing) {
    Object outer = parsed<Object>(R"({"x": {"x": {"deep": 1}, "y": 2}, "z": 3})");
    outer.import(outer.get<Object>("x"));
    EXPECT_EQ(compact(outer), R"({"x": {"deep": 1}, "y": 2, "z": 3})");
    Object nested = parsed<Object>(R"({"child": {"a": [1, 2]}})");
    nested = nested.get<Object>("child");
    EXPECT_EQ(compact(nested), R"({"a": [1, 2]})");
    Array array = parsed<Array>("[[1, [2]], 3]");
    array = array.get<Array>(0);
    EXPECT_EQ(compact(array), "[1, [2]]");
    array = array.elements()[1];
    EXPECT_EQ(compact(array), "[[2]]");
    Value value(parsed<Object>(R"({"k": {"v": "text"}})"));
    value = value.get<Object>().members().at("k");
    EXPECT_EQ(compact(value), R"({"v": "text"})");
    Object keyed = parsed<Object>(R"({"k": {"a": 1}})");
    keyed << "k" << keyed.get<Object>("k");
    keyed.import("k", keyed.members().at("k"));
    EXPECT_EQ(compact(keyed), R"({"k": {"a": 1}})");
}

TEST(Reset, EmptiesTheContentsButKeepsTheTypeAndTheWaitingKey) {
    Value text("abc"), list(parsed<Array>("[1]")), number(4);
    for (Value* value : {&text, &list, &number}) {
        value->reset();
    }
    EXPECT_EQ(compact(text) + compact(list) + compact(number), R"(""[]4)");
    Object object = parsed<Object>(R"({"a": 1})");
    object << "waiting";
    ASSERT_TRUE(object.parse(std::string(R"({"b": 1})")));  // a parse starts with a reset
    object << 5;
    EXPECT_EQ(compact(object), R"({"b": 1, "waiting": 5})");
}

TEST(ArrayModel, AnArrayOperandIsFlattenedButAValueHoldingOneIsNested) {
    const Array pair = parsed<Array>("[1, 2]");
    Array array(Value("x"));
    array << pair << Value(pair);
    array.append(pair);
    EXPECT_EQ(compact(array), R"(["x", 1, 2, [1, 2], [1, 2]])");
    array = Value(pair);
    EXPECT_EQ(compact(array), "[[1, 2]]");
    Array moved;
    moved << parsed<Array>("[3]") << parsed<Array>("[4, 5]");
    EXPECT_EQ(compact(moved), "[3, 4, 5]");
}

}  // namespace
}  // namespace jsondoc
