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

// The message names the failed expression and its place, then the runtime's own assertion line follows. This
// build defines NDEBUG in its release configurations, so these also show that the check survives it.
std::string diesWith(const std::string& expression) {
    return "\\[JSONDOC\\] expression '" + expression + "' failed at [A-Za-z_]+\\.(h|cpp):[0-9]+ -> .*" +
           "jsondoc::assertion\\(const char\\*, int, const char\\*, bool\\).*Assertion `0' failed";
}

TEST(MisuseDeathTest, ObjectGetOfAMissingOrMistypedMemberFailsTheKeyCheck) {
    const Object object = objectFrom(R"({"k": "text"})");
    EXPECT_DEATH(object.get<Number>("k"), diesWith("has<T>\\(key\\)"));
    EXPECT_DEATH(object.get<String>("missing"), diesWith("has<T>\\(key\\)"));
}

TEST(MisuseDeathTest, ArrayGetPastTheEndFailsTheIndexCheck) {
    const Array array = arrayFrom("[1, 2]");
    EXPECT_DEATH(array.get<Object>(array.size()), diesWith("i < size\\(\\)"));
}

TEST(MisuseDeathTest, GetOfAnotherTypeNamesTheRequestedType) {
    const Array array = arrayFrom(R"([1, "s"])");
    EXPECT_DEATH(array.get<Object>(0), diesWith("is<Object>\\(\\)"));
    EXPECT_DEATH(array.get<Number>(1), diesWith("is<Number>\\(\\)"));
    EXPECT_DEATH(Value(1).get<String>(), diesWith("is<String>\\(\\)"));
    EXPECT_DEATH(Value().get<Array>(), diesWith("is<Array>\\(\\)"));
}

TEST(MisuseDeathTest, InsertingANonStringWithNoKeyWaitingFails) {
    EXPECT_DEATH(Object() << 5, diesWith("is<String>\\(\\)"));
    EXPECT_DEATH(Object() << Array(), diesWith("is<String>\\(\\)"));
}

TEST(MisuseDeathTest, XmlOfAFormatThatIsNoXmlFormatFails) {
    const std::string check =
        "format == jsondoc::JSONx \\|\\| format == jsondoc::JXML \\|\\| format == jsondoc::JXMLex \\|\\| "
        "format == jsondoc::TaggedXML";
    EXPECT_DEATH(Object().xml(jsondoc::JSON), diesWith(check));
    EXPECT_DEATH(Object().write(5), diesWith(check));
    EXPECT_DEATH(jsondoc::xml(std::string("{}"), 9), diesWith(check));
}

}  // namespace
