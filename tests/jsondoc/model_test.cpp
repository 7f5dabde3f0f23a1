#include <gtest/gtest.h>

#include <cstdint>
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

TEST(ValueModel, ConstructionGivesTheTagOfThePayload) {
    const std::uint8_t byte = 200;
    const std::uint16_t word = 0x7100;
    struct Case {
        Value value;
        Value::Type type;
    };
    const std::vector<Case> cases = {
        {Value(), Value::INVALID_TYPE},           {Value("text"), Value::STRING_TYPE},
        {Value(String("t")), Value::STRING_TYPE}, {Value(Number(1.5)), Value::NUMBER_TYPE},
        {Value(byte), Value::NUMBER_TYPE},        {Value(word), Value::NUMBER_TYPE},
        {Value(true), Value::BOOLEAN_TYPE},       {Value(nullptr), Value::NULL_TYPE},
        {Value(Object()), Value::OBJECT_TYPE},    {Value(Array()), Value::ARRAY_TYPE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.type(), c.type);
        EXPECT_EQ(c.value.is<Number>(), c.type == Value::NUMBER_TYPE);
        EXPECT_EQ(c.value.is<String>(), c.type == Value::STRING_TYPE);
        EXPECT_EQ(c.value.is<jsondoc::Boolean>(), c.type == Value::BOOLEAN_TYPE);
        EXPECT_EQ(c.value.is<jsondoc::Null>(), c.type == Value::NULL_TYPE);
        EXPECT_EQ(c.value.is<Array>(), c.type == Value::ARRAY_TYPE);
        EXPECT_EQ(c.value.is<Object>(), c.type == Value::OBJECT_TYPE);
    }
    EXPECT_EQ(Value(byte).get<Number>(), 200);
    EXPECT_EQ(Value(word).get<Number>(), 0x7100);
}

TEST(ObjectModel, MembersAreVisitedInUnsignedByteOrderOfTheirKeys) {
    Object object;
    object << "b" << 1 << "a" << 2 << "B" << 3 << "ab" << 4 << "\xC3\xA9" << 5 << "z" << 6;
    std::vector<String> keys;
    for (const auto& member : object.members()) {
        keys.push_back(member.first);
    }
    EXPECT_EQ(keys, (std::vector<String>{"B", "a", "ab", "b", "z", "\xC3\xA9"}));
}

TEST(ObjectModel, HasTellsPresenceAndTypeAndWorksOnConstObjects) {
    const Object object = objectFrom(R"({"n": 1, "s": "x", "a": [1], "o": {}, "b": true, "z": null})");
    EXPECT_TRUE(object.has<Number>("n"));
    EXPECT_FALSE(object.has<String>("n"));
    EXPECT_TRUE(object.has<String>("s"));
    EXPECT_TRUE(object.has<Array>("a"));
    EXPECT_TRUE(object.has<Object>("o"));
    EXPECT_TRUE(object.has<jsondoc::Boolean>("b"));
    EXPECT_TRUE(object.has<jsondoc::Null>("z"));
    EXPECT_FALSE(object.has<Number>("missing"));
    EXPECT_EQ(object.get<Number>("n"), 1);
    EXPECT_EQ(object.get<String>("s"), "x");
    EXPECT_EQ(object.get<Array>("a").size(), 1u);
    EXPECT_EQ(object.get<Array>("a").get<Number>(0), 1);
    EXPECT_TRUE(object.get<jsondoc::Boolean>("b"));
}

TEST(ObjectModel, GetReturnsTheStoredValueForChanging) {
    Object object = objectFrom(R"({"inner": {"list": [1]}, "name": "a"})");
    object.get<String>("name") += "b";
    object.get<Object>("inner").get<Array>("list") << 2;
    EXPECT_EQ(compact(object), R"({"inner": {"list": [1, 2]}, "name": "ab"})");
}

// Every way of copying must copy the whole tree: a change at any depth of the copy leaves the source alone.
TEST(Copies, ChangingACopyAtAnyDepthLeavesTheSourceAlone) {
    const std::string text = R"({"a": {"b": {"c": [1, {"d": "x"}]}}})";
    const Object source = objectFrom(text);
    auto scribble = [](Object& copy) {
        copy.get<Object>("a").get<Object>("b").get<Array>("c").get<Object>(1).get<String>("d") = "changed";
        copy.get<Object>("a").get<Object>("b").get<Array>("c") << 3;
    };
    Object constructed(source);
    Object assigned;
    assigned = source;
    Object imported;
    imported << "keep" << 1;
    imported.import(source);
    Object inserted;
    inserted << "k" << source;
    Value valueCopy(source);
    Value valueAssigned;
    valueAssigned = valueCopy;

    scribble(constructed);
    scribble(assigned);
    scribble(imported);
    scribble(inserted.get<Object>("k"));
    scribble(valueCopy.get<Object>());
    EXPECT_EQ(compact(source), compact(objectFrom(text)));
    EXPECT_EQ(compact(valueAssigned.get<Object>()), compact(source));
    const std::string changed = R"({"a": {"b": {"c": [1, {"d": "changed"}, 3]}}})";
    EXPECT_EQ(compact(constructed), changed);
    EXPECT_EQ(compact(assigned), changed);
    EXPECT_EQ(compact(inserted.get<Object>("k")), changed);
    EXPECT_EQ(compact(valueCopy.get<Object>()), changed);
    EXPECT_EQ(compact(imported), R"({"a": {"b": {"c": [1, {"d": "changed"}, 3]}}, "keep": 1})");
}

TEST(Copies, ArrayCopiesAreDeep) {
    const Array source = arrayFrom(R"([[1], {"a": [2]}])");
    Array copy(source);
    Array assigned;
    assigned = source;
    copy.get<Array>(0) << 9;
    assigned.get<Object>(1).get<Array>("a") << 9;
    EXPECT_EQ(compact(source), "[[1], {\"a\": [2]}]");
    EXPECT_EQ(compact(copy), "[[1, 9], {\"a\": [2]}]");
    EXPECT_EQ(compact(assigned), "[[1], {\"a\": [2, 9]}]");
}

TEST(Copies, ACopyOfAnInvalidValueIsInvalid) {
    const Value invalid;
    Value copy(invalid);
    Value assigned("x");
    assigned = invalid;
    EXPECT_EQ(copy.type(), Value::INVALID_TYPE);
    EXPECT_EQ(assigned.type(), Value::INVALID_TYPE);
}

TEST(Copies, ImportReplacesSharedKeysAndKeepsTheOthers) {
    Object target = objectFrom(R"({"a": 1, "b": {"x": 1}, "c": 3})");
    target.import(objectFrom(R"({"b": {"y": 2}, "d": 4})"));
    EXPECT_EQ(compact(target), R"({"a": 1, "b": {"y": 2}, "c": 3, "d": 4})");
}

TEST(SelfCopies, ObjectAssignedOrImportedIntoItselfKeepsItsMembers) {
    Object object = objectFrom(R"({"a": [1, 2], "b": {"c": 3}})");
    const std::string before = compact(object);
    object << "pending";
    Object& alias = object;
    object = alias;
    EXPECT_EQ(compact(object), before);
    EXPECT_TRUE(object.pendingKey().empty());
    object << "pending";
    object.import(alias);
    EXPECT_EQ(compact(object), before);
    EXPECT_TRUE(object.pendingKey().empty());
}

TEST(SelfCopies, ArrayAssignedToItselfIsUnchangedAndImportedIntoItselfDoubles) {
    Array array = arrayFrom("[1, 2]");
    Array& alias = array;
    array = alias;
    EXPECT_EQ(compact(array), "[1, 2]");
    array.import(alias);
    EXPECT_EQ(compact(array), "[1, 2, 1, 2]");
    array << alias;
    EXPECT_EQ(array.size(), 8u);
    array.append(alias);
    EXPECT_EQ(array.size(), 9u);
    EXPECT_EQ(array.get<Array>(8).size(), 8u);
}

// A container may be overwritten with a copy of something that lives inside it: the copy must be taken before
// the old contents are released.
TEST(SelfCopies, OverwritingWithAPartOfItselfCopiesBeforeReleasing) {
    Object outer = objectFrom(R"({"x": {"x": {"deep": 1}, "y": 2}, "z": 3})");
    outer.import(outer.get<Object>("x"));
    EXPECT_EQ(compact(outer), R"({"x": {"deep": 1}, "y": 2, "z": 3})");

    Object nested = objectFrom(R"({"child": {"a": [1, 2]}})");
    nested = nested.get<Object>("child");
    EXPECT_EQ(compact(nested), R"({"a": [1, 2]})");

    Array array = arrayFrom(R"([[1, [2]], 3])");
    array = array.get<Array>(0);
    EXPECT_EQ(compact(array), "[1, [2]]");
    array = array.elements()[1];
    EXPECT_EQ(compact(array), "[[2]]");

    Value value(objectFrom(R"({"k": {"v": "text"}})"));
    value = value.get<Object>().members().at("k");
    EXPECT_EQ(compact(value), R"({"v": "text"})");

    Object keyed = objectFrom(R"({"k": {"a": 1}})");
    keyed << "k" << keyed.get<Object>("k");
    keyed.import("k", keyed.members().at("k"));
    EXPECT_EQ(compact(keyed), R"({"k": {"a": 1}})");
}

TEST(Reset, ObjectResetReleasesMembersButKeepsThePendingKey) {
    Object object = objectFrom(R"({"a": 1})");
    object << "waiting";
    object.reset();
    EXPECT_EQ(object.size(), 0u);
    object << 5;
    EXPECT_EQ(compact(object), R"({"waiting": 5})");
}

TEST(Reset, ValueResetKeepsTheTypeAndLeavesAnEmptyPayload) {
    Value text("abc");
    Value list(arrayFrom("[1]"));
    Value object(objectFrom(R"({"a": 1})"));
    Value number(Number(4));
    for (Value* value : {&text, &list, &object, &number}) {
        value->reset();
    }
    ASSERT_TRUE(text.is<String>());
    EXPECT_EQ(text.get<String>(), "");
    ASSERT_TRUE(list.is<Array>());
    EXPECT_EQ(list.get<Array>().size(), 0u);
    ASSERT_TRUE(object.is<Object>());
    EXPECT_EQ(object.get<Object>().size(), 0u);
    ASSERT_TRUE(number.is<Number>());
    EXPECT_EQ(number.get<Number>(), 4);
}

TEST(ArrayModel, AnArrayOperandIsFlattenedButAValueHoldingOneIsNested) {
    const Array pair = arrayFrom("[1, 2]");
    Array array;
    array << pair;
    array << Value(pair);
    array.append(pair);
    EXPECT_EQ(compact(array), "[1, 2, [1, 2], [1, 2]]");
}

TEST(ArrayModel, ConstructionAndAssignmentFromAValueHoldOneElement) {
    const Array built(Value("x"));
    EXPECT_EQ(compact(built), R"(["x"])");
    Array assigned = arrayFrom("[1, 2, 3]");
    assigned = Value(arrayFrom("[4]"));
    EXPECT_EQ(compact(assigned), "[[4]]");
}

TEST(ObjectModel, KeyedConstructionAndImportStoreOneMember) {
    Object object(String("k"), Value(1));
    object << "pending";
    object.import("k", Value("two"));
    object.import("j", Value(nullptr));
    EXPECT_EQ(compact(object), R"({"j": null, "k": "two"})");
    EXPECT_TRUE(object.pendingKey().empty());
}

}  // namespace
