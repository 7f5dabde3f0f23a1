#include <functional>

#include "jsondoc_testing.h"

namespace jsondoc {
namespace {

// One case per expression text that a check prints. The runtime's own assertion line must follow the library's
// message: the release configurations define NDEBUG, and the check has to survive it.
TEST(MisuseDeathTest, EachFailedCheckNamesItsExpressionAndAborts) {
    const Object object = parsed<Object>(R"({"k": "text"})");
    const Array array = parsed<Array>(R"([1, "s"])");
    const struct {
        std::function<void()> misuse;
        std::string expression;
    } cases[] = {
        {[&] { object.get<Number>("k"); }, "has<T>\\(key\\)"},  // the key check also tests the type
        {[&] { array.get<Object>(array.size()); }, "i < size\\(\\)"},
        {[&] { array.get<Object>(0); }, "is<Object>\\(\\)"},
        {[&] { array.get<Number>(1); }, "is<Number>\\(\\)"},
        {[] { Value().get<Array>(); }, "is<Array>\\(\\)"},
        {[] { Object() << 5; }, "is<String>\\(\\)"},
        {[] { Object().xml(JSON); },
         "format == jsondoc::JSONx \\|\\| format == jsondoc::JXML \\|\\| format == jsondoc::JXMLex \\|\\| "
         "format == jsondoc::TaggedXML"},
    };
    for (const auto& c : cases) {
        EXPECT_DEATH(c.misuse(), "\\[JSONDOC\\] expression '" + c.expression +
                                     "' failed at [A-Za-z_]+\\.(h|cpp):[0-9]+ -> .*jsondoc::assertion\\(const "
                                     "char\\*, int, const char\\*, bool\\).*Assertion `0' failed");
    }
    EXPECT_DEATH(assertion("../src/caller.cpp", 7, "x", false), "'x' failed at \\.\\./src/caller\\.cpp:7 -> ");
}

}  // namespace
}  // namespace jsondoc
