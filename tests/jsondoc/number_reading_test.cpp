#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"

using jsondoc::Number;
using jsondoc::Value;

namespace {

// What a read left behind: whether it succeeded, the number, how far it read and whether it met the end.
struct Reading {
    bool ok = false;
    Number value = 0;
    std::streamoff position = 0;
    bool atEnd = false;
};

bool operator==(const Reading& a, const Reading& b) {
    if (a.ok != b.ok) {
        return false;
    }
    return !a.ok || (a.value == b.value && std::signbit(a.value) == std::signbit(b.value) && a.position == b.position &&
                     a.atEnd == b.atEnd);
}

std::ostream& operator<<(std::ostream& out, const Reading& r) {
    out.precision(21);
    return out << (r.ok ? "ok " : "failed ") << r.value << " at " << r.position << (r.atEnd ? " (end)" : "");
}

Reading byExtraction(const std::string& text) {
    std::istringstream input(text);
    Reading reading;
    input >> reading.value;
    reading.ok = !input.fail();
    reading.atEnd = input.eof();
    input.clear();
    reading.position = input.tellg();
    return reading;
}

// The parser reads numbers its own way; it must accept exactly the texts the extraction accepts, with the same
// value, stopping at the same character, and rewind completely when it fails.
Reading byParser(const std::string& text) {
    std::istringstream input(text);
    Value value;
    Reading reading;
    reading.ok = Value::parse(input, value);
    reading.atEnd = input.eof();
    const bool failedCleanly = !input.fail() && !input.bad();
    input.clear();
    reading.position = input.tellg();
    if (reading.ok) {
        reading.value = value.get<Number>();
    } else if (!failedCleanly || reading.position != 0) {
        ADD_FAILURE() << "not rewound: " << text;
    }
    return reading;
}

void expectSameReading(const std::string& text) {
    EXPECT_EQ(byParser(text), byExtraction(text)) << "text: " << text;
}

TEST(NumberReading, AgreesWithTheStreamExtractionOnEdgeCases) {
    const std::vector<std::string> texts = {
        "0",
        "-0",
        "+0",
        "00",
        "000.000",
        "0.",
        ".0",
        "-.5",
        "+.5",
        "5.",
        "1e5",
        "1E5",
        "1e+5",
        "1e-5",
        "1e",
        "1e+",
        "1e-",
        "1e+x",
        ".e5",
        "1.e5",
        "0e5",
        "-0e-5",
        "1..2",
        "1.2.3",
        "1e5e5",
        "1e5.5",
        "--1",
        "+-1",
        "-",
        "+",
        ".",
        "-.",
        "0x1A",
        "1,5",
        "007",
        "0.1",
        "0.3",
        "3.14159265358979323846264338327950288",
        "2.2250738585072014e-308",
        "4.9e-324",
        "2.4e-324",
        "1e-400",
        "1e-5000",
        "1.7976931348623157e308",
        "1.7976931348623159e308",
        "1e308",
        "1e309",
        "1e4932",
        "1e4933",
        "-1e309",
        "9007199254740993",
        "9007199254740992.5",
        "18446744073709551615",
        "18446744073709551616",
        "123456789012345678",
        "1234567890123456789",
        "12345678901234567890123",
        "1e22",
        "1e23",
        "1e27",
        "1e28",
        "5e-22",
        "5e-28",
        "0.000000000000000000000000000001",
        "100000000000000000000000000000e-29",
        "1e0000000000000000000001",
        "1e-0000000000000000000001",
        "0e99999999999999999999",
        "1e99999999999999999999",
        "1e-99999999999999999999",
        "1 ",
        "1]",
        "1,",
        "1x",
        "1.5e3]",
        "-12.5e-3,",
        "7e",
    };
    for (const auto& text : texts) {
        expectSameReading(text);
    }
    std::string manyDigits(400, '7');
    expectSameReading(manyDigits);
    expectSameReading("0." + std::string(60, '0') + "1");
    expectSameReading("1" + std::string(350, '0'));
    expectSameReading("1" + std::string(5000, '0'));
    expectSameReading(std::string(80, '0') + "12.5");
}

// A small deterministic generator, so that a failure names a text that reproduces.
class Generator {
  public:
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

  private:
    std::uint64_t state_ = 0x5eed;
};

TEST(NumberReading, AgreesWithTheStreamExtractionOnRandomTexts) {
    Generator random;
    const std::string alphabet = "0123456789012345678901234567890123456789..eE+-";
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int length = 1 + random.below(24);
        for (int j = 0; j < length; ++j) {
            text += alphabet[static_cast<std::size_t>(random.below(static_cast<int>(alphabet.size())))];
        }
        expectSameReading(text);
    }
}

TEST(NumberReading, AgreesWithTheStreamExtractionOnRandomNumbers) {
    Generator random;
    const int exponentRange = std::numeric_limits<Number>::max_exponent10 + 40;
    for (int i = 0; i < 4000; ++i) {
        std::string text = random.below(3) == 0 ? "-" : "";
        const int digits = 1 + random.below(i % 2 == 0 ? 19 : 30);
        const int point = random.below(digits + 2);
        for (int j = 0; j < digits; ++j) {
            if (j == point) {
                text += '.';
            }
            text += static_cast<char>('0' + random.below(10));
        }
        if (random.below(2) == 0) {
            const int small = random.below(60) - 30;
            const int exponent = random.below(4) == 0 ? random.below(2 * exponentRange) - exponentRange : small;
            text += "e" + std::to_string(exponent);
        }
        expectSameReading(text);
    }
}

}  // namespace
