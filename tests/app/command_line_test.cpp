#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace {

TEST(ReadDecimalArgumentTest, ReadsALeadingDecimalNumberInRangeAndLeavesTheValueAloneOtherwise) {
    // Text, and the value read from it (none: refused).
    // clang-format off
    const std::vector<std::pair<const char*, std::optional<std::int32_t>>> cases = {
        {"4", 4}, {" 4", 4}, {"\t\n 4", 4}, {"4abc", 4}, {"12abc", 12}, {"0x10", 0}, {"+7", 7}, {"-1", -1},
        {"257", 257}, {"007", 7}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"00000000000000000000042", 42}, {"", {}}, {" ", {}}, {"abc", {}}, {"+", {}}, {"-", {}}, {"+-1", {}},
        {" + 1", {}}, {"x4", {}}, {"2147483648", {}}, {"-2147483649", {}}, {"99999999999", {}},
        {"99999999999999999999999999999", {}}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        std::int32_t value = 12345;
        EXPECT_EQ(readDecimalArgument(text, value), expected.has_value()) << text;
        EXPECT_EQ(value, expected.value_or(12345)) << text;
    }
    std::int32_t value = 0;
    EXPECT_FALSE(readDecimalArgument(nullptr, value));
}

}  // namespace
