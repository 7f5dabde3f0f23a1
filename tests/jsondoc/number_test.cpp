#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <locale>
#include <random>
#include <vector>

#include "jsondoc_testing.h"

namespace jsondoc {
namespace {

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
    std::istringstream reference(text);
    Number extracted = 0;
    reference >> extracted;
    std::istringstream input(text);
    Value value;
    const bool ok = Value::parse(input, value);
    if (!ok) {
        EXPECT_TRUE(input.good() && input.tellg() == 0) << "not rewound: " << text;
    }
    EXPECT_EQ(describe(ok, ok ? value.get<Number>() : 0, input), describe(!reference.fail(), extracted, reference))
        << text;
}

// Decimal text as instruments and logs write it, up to 39 digits with a point anywhere and often an exponent; now
// and then one beyond the type's range.
std::string randomDecimal(std::mt19937_64& random) {
    std::string digits = std::to_string(random() >> random() % 64);
    if (random() % 2 == 0) {
        digits += std::to_string(random() >> random() % 64);
    }
    const auto point = random() % (digits.size() + 1);
    std::string text = (random() % 3 == 0 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point);
    const int range = std::numeric_limits<Number>::max_exponent10 + 40;
    const auto exponent =
        random() % 4 == 0 ? static_cast<long>(random() % (2 * range)) - range : static_cast<long>(random() % 80) - 40;
    return random() % 2 == 0 ? text : text + "e" + std::to_string(exponent);
}

TEST(NumberReading, AgreesWithTheStreamExtraction) {
    for (const int rounding : {FE_UPWARD, FE_DOWNWARD, FE_TONEAREST}) {  // the last one stays in force
        std::fesetround(rounding);
        std::istringstream edges("0.1 -0.1 -3.3 3.3 -12.5e-3 -1e-5 1e-5 -9007199254740993 -1e400 -1e5000");
        for (std::string text; edges >> text;) {
            expectReadAsTheStreamReads(text);
        }
    }
    std::istringstream edges(  // separated by single blanks
        "0 -0 +0 00 000.000 0. .0 -.5 +.5 5. 1e5 1E5 1e+5 1e-5 1e 1e+ 1e- 1e+x .e5 1.e5 0e5 -0e-5 1..2 1.2.3 1e5e5 "
        "1e5.5 --1 +-1 - + . -. 0x1A 1,5 007 0.1 0.3 3.14159265358979323846264338327950288 2.2250738585072014e-308 "
        "4.9e-324 2.4e-324 1e-400 1e-5000 1.7976931348623157e308 1.7976931348623159e308 1e308 1e309 1e4932 1e4933 "
        "-1e309 9007199254740993 9007199254740992.5 18446744073709551615 18446744073709551616 123456789012345678 "
        "1234567890123456789 12345678901234567890123 1e22 1e23 1e27 1e28 5e-22 5e-28 0.000000000000000000000000000001 "
        "100000000000000000000000000000e-29 1e0000000000000000000001 1e-0000000000000000000001 0e99999999999999999999 "
        "1e99999999999999999999 1e-99999999999999999999 1] 1, 1x 1.5e3] -12.5e-3, 7e");
    for (std::string text; edges >> text;) {
        expectReadAsTheStreamReads(text);
    }
    for (const auto& text : {std::string("1 "), std::string(400, '7'), "0." + std::string(60, '0') + "1",
                             "1" + std::string(5000, '0'), std::string(80, '0') + "12.5"}) {
        expectReadAsTheStreamReads(text);
    }
    // Random texts of number characters, and random numbers.
    std::mt19937_64 random(0x5eed);
    const std::string alphabet = "0123456789012345678901234567890123456789..eE+-";
    for (int i = 0; i < 4000; ++i) {
        std::string text(1 + random() % 24, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        expectReadAsTheStreamReads(text);
        expectReadAsTheStreamReads(randomDecimal(random));
    }
}

// Grouping of thousands and a comma as decimal point.
struct Grouped : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// The stream form writes each number as the stream itself would, whatever the caller set on the stream.
void expectAsTheStreamWrites(Number number, const std::function<void(std::ostream&)>& set) {
    std::ostringstream expected;
    std::ostringstream written;
    set(expected);
    set(written);
    expected << number;
    written << Value(number);
    EXPECT_EQ(written.str(), expected.str())
        << "flags " << expected.flags() << ", precision " << expected.precision() << ", " << std::hexfloat << number;
}

// The indented form writes each number as printf's %.16Lg.
void expectWrittenAsTheReferencesWrite(Number number) {
    for (std::streamsize precision : {0, 1, 2, 3, 5, 6, 7, 10, 15, 16, 17, 18, 21, 30, 60}) {
        expectAsTheStreamWrites(number, [=](std::ostream& out) { out.precision(precision); });
    }
    using Flags = std::ios_base;
    for (auto flags :
         {Flags::fixed, Flags::scientific, Flags::showpos, Flags::uppercase, Flags::showpoint, Flags::hex}) {
        expectAsTheStreamWrites(number, [=](std::ostream& out) { out.setf(flags); });
    }
    expectAsTheStreamWrites(number,
                            [](std::ostream& out) { out.imbue(std::locale(std::locale::classic(), new Grouped)); });
    char text[128];
    std::snprintf(text, sizeof text, "%.16Lg", static_cast<long double>(number));
    Array array;
    array << number;
    EXPECT_EQ(array.json(), "[\n\t" + std::string(text) + " \n] \n") << std::hexfloat << number;
}

// Ties, carries into a new leading digit, the boundaries of the exponent notation and the extremes of the type;
// then random binary values with long and short mantissas, and random decimal text read by the parser.
TEST(NumberWriting, AgreesWithTheStreamAndPrintf) {
    using Limits = std::numeric_limits<Number>;
    std::vector<Number> numbers = {1.0L / 3,      2.0L / 3,          Limits::min(),      Limits::denorm_min(),
                                   Limits::max(), Limits::epsilon(), Limits::infinity(), Limits::quiet_NaN()};
    std::istringstream edges(
        "0.125 0.375 2.5 3.5 0.5 1234565 1234575 9.999995 999999.5 9999995 99999950 0.00009999995 0.0001 0.00001 "
        "0.000099999 1e15 1e16 1e17 9999999999999999 99999999999999999 123456789012 18446744073709551615 "
        "18446744073709551616 0.1 1e-14 1e-15 1e-300 1e300 0");
    for (Number number; edges >> number;) {
        numbers.push_back(number);
    }
    // Both references follow the rounding mode: 0.1 rounded up is "0.100001" at precision 6.
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO, FE_TONEAREST}) {
        std::fesetround(mode);
        for (Number number : numbers) {
            expectWrittenAsTheReferencesWrite(number);
            expectWrittenAsTheReferencesWrite(-number);
        }
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 3000; ++i) {
        const bool small = i % 3 == 0;  // the integers and plain binary fractions that counters and flags are made of
        const int exponent = small ? static_cast<int>(random() % 40) - 20 : static_cast<int>(random() % 200) - 163;
        const Number number = std::ldexp(static_cast<Number>(random() >> (small ? 44 : 1)), exponent);
        expectWrittenAsTheReferencesWrite(i % 2 == 0 ? number : -number);
    }
    for (int i = 0; i < 3000; ++i) {
        Value value;
        if (value.parse(randomDecimal(random))) {  // all but those beyond the type's range
            expectWrittenAsTheReferencesWrite(value.get<Number>());
        }
    }
}

}  // namespace
}  // namespace jsondoc
