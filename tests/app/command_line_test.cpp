#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(ReadDecimalArgumentTest, ReadsLeadingDecimalNumber) {
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"4", 4},
        {" 4", 4},
        {"\t\n 4", 4},
        {"4abc", 4},
        {"12abc", 12},
        {"0x10", 0},
        {"+7", 7},
        {"-1", -1},
        {"257", 257},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"00000000000000000000042", 42},
    };
    for (const auto& c : cases) {
        std::int32_t value = 12345;
        EXPECT_TRUE(readDecimalArgument(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(ReadDecimalArgumentTest, RejectsTextWithoutDigitsOrOutOfRange) {
    const char* cases[] = {"",     " ",  "abc",        "+",           "-",           "+-1",
                           " + 1", "x4", "2147483648", "-2147483649", "99999999999", "99999999999999999999999999999"};
    for (const char* text : cases) {
        std::int32_t value = 12345;
        EXPECT_FALSE(readDecimalArgument(text, value)) << text;
        EXPECT_EQ(value, 12345) << "value changed for " << text;
    }
    std::int32_t value = 0;
    EXPECT_FALSE(readDecimalArgument(nullptr, value));
}

}  // namespace
