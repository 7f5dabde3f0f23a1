#include <gtest/gtest.h>

#include <string>

#include "jsondoc/jsondoc.h"
#include "text_of.h"

using jsondoc::Array;
using jsondoc::Number;
using jsondoc::Object;
using jsondoc::String;
using jsondoc::Value;

namespace {

TEST(Insertion, KeysAndValuesAlternate) {
    Object object;
    object << "text" << String("value") << "number" << Number(2.5) << "list" << arrayFrom("[1]") << "child"
           << objectFrom(R"({"c": true})");
    EXPECT_EQ(compact(object), R"({"child": {"c": true}, "list": [1], "number": 2.5, "text": "value"})");
    EXPECT_TRUE(object.pendingKey().empty());
}

TEST(Insertion, AKeyGivenTwiceKeepsTheLastValue) {
    Object object;
    object << "k" << 1 << "k" << 2;
    EXPECT_EQ(object.size(), 1u);
    EXPECT_EQ(object.get<Number>("k"), 2);
    object << "k" << arrayFrom("[3]");
    EXPECT_TRUE(object.has<Array>("k"));
}

TEST(Insertion, AStringIsAKeyWhenNoneWaitsAndAValueWhenOneDoes) {
    Object object;
    const String key = "k";
    object << key;
    EXPECT_EQ(object.pendingKey(), "k");
    object << String("v");
    EXPECT_EQ(compact(object), R"({"k": "v"})");
    object << Value("w") << Value("x");
    EXPECT_EQ(compact(object), R"({"k": "v", "w": "x"})");
}

TEST(Insertion, AnEmptyKeyLeavesNoKeyWaiting) {
    Object object;
    object << "";
    EXPECT_TRUE(object.pendingKey().empty());
    object << "k"
           << "";
    EXPECT_EQ(compact(object), R"({"k": ""})");
}

TEST(Insertion, AnObjectWithNoKeyWaitingIsStoredUnderTheEmptyKey) {
    Object object;
    object << objectFrom(R"({"a": 1})");
    EXPECT_TRUE(object.has<Object>(""));
    EXPECT_TRUE(object.pendingKey().empty());
    object << "k" << 5;
    EXPECT_EQ(compact(object), R"({"": {"a": 1}, "k": 5})");
}

TEST(Insertion, ScalarsOfEveryKindBecomeTheirOwnType) {
    Object object;
    object << "zero" << 0 << "yes" << true << "nothing" << nullptr << "byte" << static_cast<unsigned char>(7)
           << "negative" << -3L;
    EXPECT_TRUE(object.has<Number>("zero"));
    EXPECT_TRUE(object.has<jsondoc::Boolean>("yes"));
    EXPECT_TRUE(object.has<jsondoc::Null>("nothing"));
    EXPECT_EQ(object.get<Number>("byte"), 7);
    EXPECT_EQ(compact(object), R"({"byte": 7, "negative": -3, "nothing": null, "yes": true, "zero": 0})");
}

TEST(Insertion, InsertedContainersAreCopiesOrMovedIn) {
    Object source = objectFrom(R"({"a": [1]})");
    Array list = arrayFrom("[1, 2]");
    Object object;
    object << "copied" << source << "list" << list;
    source.get<Array>("a") << 2;
    list << 3;
    EXPECT_EQ(compact(object), R"({"copied": {"a": [1]}, "list": [1, 2]})");
    object << "moved" << std::move(source) << "movedList" << std::move(list);
    EXPECT_EQ(compact(object.get<Object>("moved")), R"({"a": [1, 2]})");
    EXPECT_EQ(compact(object.get<Array>("movedList")), "[1, 2, 3]");
}

TEST(Insertion, AnObjectInsertedIntoItselfIsACopyOfItsFormerSelf) {
    Object object = objectFrom(R"({"a": 1})");
    object << "self" << object;
    EXPECT_EQ(compact(object), R"({"a": 1, "self": {"a": 1}})");
    object << "again" << std::move(object);
    EXPECT_EQ(compact(object.get<Object>("again")), R"({"a": 1, "self": {"a": 1}})");
}

TEST(PendingKey, CopiesNeverTakeTheSourcesWaitingKey) {
    Object source = objectFrom(R"({"a": 1})");
    source << "waiting";
    const Object constructed(source);
    EXPECT_TRUE(constructed.pendingKey().empty());

    Object assigned;
    assigned << "mine";
    assigned = source;
    EXPECT_TRUE(assigned.pendingKey().empty());

    Object imported;
    imported << "mine";
    imported.import(source);
    EXPECT_TRUE(imported.pendingKey().empty());
    EXPECT_EQ(source.pendingKey(), "waiting");
}

TEST(PendingKey, ParsingLeavesItAlone) {
    Object object;
    object << "waiting";
    ASSERT_TRUE(object.parse(std::string(R"({"a": 1})")));
    object << 2;
    EXPECT_EQ(compact(object), R"({"a": 1, "waiting": 2})");
}

}  // namespace
