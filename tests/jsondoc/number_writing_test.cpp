#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"

using jsondoc::Array;
using jsondoc::Number;
using jsondoc::Value;

namespace {

// The writers make their number text themselves; the stream's own insertion and printf's %Lg are the references.
std::string byStream(Number number, int precision) {
    std::ostringstream out;
    out.precision(precision);
    out << number;
    return out.str();
}

std::string byWriter(Number number, int precision) {
    std::ostringstream out;
    out.precision(precision);
    out << Value(number);
    return out.str();
}

std::string byPrintf16(Number number) {
    char text[128];
    std::snprintf(text, sizeof text, "%.16Lg", static_cast<long double>(number));
    return text;
}

// The indented form holds the number alone on the line between the brackets.
std::string byIndentedForm(Number number) {
    Array array;
    array << number;
    const std::string text = array.json();
    const std::string head = "[\n\t";
    const std::string tail = " \n] \n";
    if (text.size() < head.size() + tail.size()) {
        return text;
    }
    return text.substr(head.size(), text.size() - head.size() - tail.size());
}

const int kPrecisions[] = {1, 2, 3, 5, 6, 7, 10, 15, 16, 17, 18, 21};

void expectWrittenAsReferences(Number number) {
    for (int precision : kPrecisions) {
        EXPECT_EQ(byWriter(number, precision), byStream(number, precision))
            << "precision " << precision << ", value " << std::hexfloat << number;
    }
    EXPECT_EQ(byIndentedForm(number), byPrintf16(number)) << std::hexfloat << number;
}

Number parsed(const std::string& text) {
    Value value;
    if (!value.parse(text) || !value.is<Number>()) {
        ADD_FAILURE() << "not a number: " << text;
        return 0;
    }
    return value.get<Number>();
}

// Values where rounding to the precision ties, carries into a new leading digit, or crosses the boundaries of the
// exponent notation; and the extremes of the type.
TEST(NumberWriting, TiesCarriesAndNotationBoundariesFollowTheReferences) {
    const std::vector<Number> numbers = {
        0.125L,
        0.375L,
        2.5L,
        3.5L,
        0.5L,
        1234565,
        1234575,
        9.999995L,
        999999.5L,
        9999995,
        99999950,
        0.00009999995L,
        0.0001L,
        0.00001L,
        0.000099999L,
        1e15L,
        1e16L,
        1e17L,
        9999999999999999.0L,
        99999999999999999.0L,
        123456789012.0L,
        18446744073709551615.0L,
        18446744073709551616.0L,
        0.1L,
        1.0L / 3,
        2.0L / 3,
        1e-14L,
        1e-15L,
        1e-300L,
        1e300L,
        std::numeric_limits<Number>::min(),
        std::numeric_limits<Number>::denorm_min(),
        std::numeric_limits<Number>::max(),
        std::numeric_limits<Number>::epsilon(),
        -0.0L,
    };
    for (Number number : numbers) {
        expectWrittenAsReferences(number);
        expectWrittenAsReferences(-number);
    }
}

TEST(NumberWriting, RandomBinaryValuesFollowTheReferences) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 3000; ++i) {
        const Number fraction = static_cast<Number>(random() >> 1) / static_cast<Number>(UINT64_C(1) << 63);
        const int exponent = static_cast<int>(random() % 200) - 100;
        Number number = std::ldexp(fraction, exponent);
        if (i % 3 == 0) {
            // Short mantissas, the integers and plain binary fractions that counters and flags are made of.
            number = std::ldexp(std::trunc(std::ldexp(fraction, 20)), exponent % 40 - 20);
        }
        expectWrittenAsReferences(i % 2 == 0 ? number : -number);
    }
}

// Numbers as documents hold them: decimal text read by the parser, in the forms instruments and logs write.
TEST(NumberWriting, ParsedDecimalTextFollowsTheReferences) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 3000; ++i) {
        const auto digits = std::to_string(random() % UINT64_C(100000000000000000));
        const int point = static_cast<int>(random() % (digits.size() + 1));
        std::string text = digits.substr(0, point) + "." + digits.substr(point);
        if (i % 4 == 0) {
            text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
        }
        expectWrittenAsReferences(parsed(text));
    }
}

}  // namespace
