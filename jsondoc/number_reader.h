#pragma once

// Text to numbers, as the standard long double extraction in the classic locale reads them: text in memory is
// scanned once where it lies, a stream's characters are collected as they go by. Internal to the library.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "jsondoc/decimal.h"
#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

// Decimal exponents that the nearest reading below takes: a power of ten within them is at most two exact
// factors, so the first guess is off by a few units in the last place at most. With a mantissa from 1 to 2^64 - 1
// every value in the range is a normal number of the type, far from overflow.
template <typename Float>
inline constexpr int kNearestPowerLimit = 2 * maxExactPowerOfTen<Float>();

// The sign of a * 2^aShift - b * 2^bShift. Only the side with the lower power of two is shifted, and only when
// both then have as many bits, so nothing grows past the longer of the two.
template <int Limbs>
int compareScaled(WideUnsigned<Limbs> a, int aShift, WideUnsigned<Limbs> b, int bShift) {
    const int common = aShift < bShift ? aShift : bShift;
    aShift -= common;
    bShift -= common;
    const int aBits = a.bitLength() + aShift;
    const int bBits = b.bitLength() + bShift;
    if (aBits != bBits) {
        return aBits < bBits ? -1 : 1;
    }
    a.shiftLeft(aShift);
    b.shiftLeft(bShift);
    return compare(a, b);
}

// A value as the sum of two Floats, the second at most half a unit in the last place of the first.
template <typename Float>
struct FloatPair {
    Float high, low;
};

// a + b exactly, for |a| >= |b| or a == 0.
template <typename Float>
FloatPair<Float> exactSum(Float a, Float b) {
    const Float sum = a + b;
    return {sum, b - (sum - a)};
}

// a * b exactly: each factor is split into halves whose products the type holds.
template <typename Float>
FloatPair<Float> exactProduct(Float a, Float b) {
    constexpr auto kSplit = static_cast<Float>((std::uint64_t{1} << (std::numeric_limits<Float>::digits + 1) / 2) + 1);
    const auto split = [](Float x) {
        const Float scaled = kSplit * x;
        const Float high = scaled - (scaled - x);
        return FloatPair<Float>{high, x - high};
    };
    const FloatPair<Float> x = split(a), y = split(b);
    const Float product = a * b;
    return {product, ((x.high * y.high - product) + x.high * y.low + x.low * y.high) + x.low * y.low};
}

// The neighbours of a positive normal Float: where it is the IEEE double, one step of its bits, without a call.
template <typename Float>
Float neighbour(Float x, bool up) {
    if constexpr (kIsDouble<Float>) {
        const std::uint64_t bits = doubleBits(x);
        return fromDoubleBits<Float>(up ? bits + 1 : bits - 1);
    } else {
        return std::nextafter(x, up ? std::numeric_limits<Float>::infinity() : Float(0));
    }
}

// The cheap first test of the nearest reading: mantissa * 10^exponent to about twice the type's precision, from
// exact products and one corrected quotient. Where that lies clearly on one side of the midpoints around its
// nearest Float, that Float is the answer; false where it lies too near a midpoint to tell, which few numbers do.
template <typename Float>
bool settleNearest(std::uint64_t mantissa, int exponent, Float& result) {
    constexpr int kDigits = std::numeric_limits<Float>::digits;
    constexpr int kExact = maxExactPowerOfTen<Float>();
    // The pair below is within 2^(5 - 2 kDigits) of the value, relatively; the test leaves room for eight times that.
    constexpr Float kHalfPrecision = static_cast<Float>(std::uint64_t{1} << (kDigits - 4));
    constexpr Float kTolerance = 1 / (kHalfPrecision * kHalfPrecision);
    const auto& powers = kFloatPowersOfTen<Float>.value;
    const int power = exponent < 0 ? -exponent : exponent;
    // The mantissa in two exact halves, and the power of ten as one exact Float or the exact product of two.
    // Each half converts from 32 bits, which the machine does itself; from 64 bits a 32-bit core calls a routine.
    const FloatPair<Float> m = exactSum(static_cast<Float>(static_cast<std::uint32_t>(mantissa >> 32)) * 4294967296.0f,
                                        static_cast<Float>(static_cast<std::uint32_t>(mantissa)));
    const FloatPair<Float> p =
        power <= kExact ? FloatPair<Float>{powers[power], 0} : exactProduct(powers[kExact], powers[power - kExact]);
    FloatPair<Float> value;
    if (exponent >= 0) {
        const FloatPair<Float> product = exactProduct(m.high, p.high);
        value = exactSum(product.high, product.low + (m.high * p.low + m.low * p.high));
    } else {
        const Float quotient = m.high / p.high;
        const FloatPair<Float> back = exactProduct(quotient, p.high);
        // m - quotient * p; its first difference is exact, the two sides being within a factor of two.
        const Float rest = (((m.high - back.high) - back.low) + m.low) - quotient * p.low;
        value = exactSum(quotient, rest / p.high);
    }
    const Float nearest = value.high;
    // The distance to the midpoint on the side where the rest of the pair lies; below a power of two the
    // neighbour is half as far.
    const Float margin = value.low >= 0 ? (neighbour(nearest, true) - nearest) / 2 - value.low
                                        : (nearest - neighbour(nearest, false)) / 2 + value.low;
    if (!(margin > nearest * kTolerance)) {
        return false;
    }
    result = nearest;
    return true;
}

// The Float nearest to mantissa * 10^exponent, ties to the even mantissa, for a mantissa from 1 to 2^64 - 1 and
// |exponent| <= kNearestPowerLimit<Float>; the arithmetic assumes rounding to nearest. Past the first test, a guess
// from two or three rounded operations is checked against the midpoints to its neighbours in exact integers and
// moved one unit in the last place at a time until the value lies between them.
template <typename Float>
Float nearestDecimal(std::uint64_t mantissa, int exponent) {
    constexpr int kDigits = std::numeric_limits<Float>::digits;
    constexpr int kExact = maxExactPowerOfTen<Float>();
    constexpr int kLimit = kNearestPowerLimit<Float>;
    static_assert(kDigits <= 64 && std::numeric_limits<Float>::radix == 2, "a binary mantissa of 64 bits at most");
    static_assert(std::numeric_limits<Float>::min_exponent10 < -kLimit &&
                      std::numeric_limits<Float>::max_exponent10 > 20 + kLimit,
                  "results stay normal and finite");
    // Sides are at most a 65-bit midpoint or a 64-bit mantissa times 5^kLimit < 2^(7 kLimit / 3), as 5^3 < 2^7.
    using Scaled = WideUnsigned<(65 + (7 * kLimit + 2) / 3 + 31) / 32>;
    if (Float settled = 0; settleNearest(mantissa, exponent, settled)) {
        return settled;
    }

    const int power = exponent < 0 ? -exponent : exponent;
    const Float first = kFloatPowersOfTen<Float>.value[power < kExact ? power : kExact];
    const Float second = kFloatPowersOfTen<Float>.value[power < kExact ? 0 : power - kExact];
    Float guess = static_cast<Float>(mantissa);
    guess = exponent < 0 ? guess / first / second : guess * first * second;

    // The value is exact * 2^exponent, divided by 5^-exponent when that is negative: then the midpoints take
    // that factor instead.
    Scaled exact(mantissa);
    if (exponent > 0) {
        exact.multiplyByPowerOfFive(exponent);
    }
    // The sign of value - ((base << shift) | low) * 2^(binaryExponent - shift).
    const auto against = [&](std::uint64_t base, int shift, std::uint32_t low, int binaryExponent) {
        Scaled midpoint(base, shift, low);
        if (exponent < 0) {
            midpoint.multiplyByPowerOfFive(-exponent);
        }
        return compareScaled(exact, exponent, midpoint, binaryExponent - shift);
    };
    // After a step one way the midpoint on the other side is the one just passed, and need not be checked again.
    int moved = 0;
    for (;;) {
        int binaryExponent = 0;
        const auto m = static_cast<std::uint64_t>(std::ldexp(std::frexp(guess, &binaryExponent), kDigits));
        binaryExponent -= kDigits;  // guess = m * 2^binaryExponent
        const bool odd = (m & 1) != 0;
        // Above (2m + 1) / 2, or on it with an odd m: the next one up is nearer, or as near and even.
        const int above = moved < 0 ? -1 : against(m, 1, 1, binaryExponent);
        if (above > 0 || (above == 0 && odd)) {
            guess = std::nextafter(guess, std::numeric_limits<Float>::infinity());
            moved = 1;
            continue;
        }
        if (moved > 0) {
            return guess;
        }
        // At a power of two the next one down is half as far: the midpoint is (4m - 1) / 4.
        const bool powerOfTwo = m == std::uint64_t{1} << (kDigits - 1);
        const int below = powerOfTwo ? against(m - 1, 2, 3, binaryExponent) : against(m - 1, 1, 1, binaryExponent);
        if (below < 0 || (below == 0 && odd)) {
            guess = std::nextafter(guess, Float(0));
            moved = -1;
            continue;
        }
        return guess;
    }
}

// What reading a number did: whether it converted, whether it met the end of the input, and how many bytes it
// consumed.
struct NumberRead {
    bool converted;
    bool atEnd;
    std::size_t consumed;
};

// A decimal as the scan takes it in: the sign, up to 19 significant digits and the power of ten that goes with
// them. Past that the kit's arithmetic does not decide and the C library converts the text.
struct Decimal {
    bool negative = false;
    bool withinReach = true;
    std::uint64_t mantissa = 0;
    int significant = 0;
    long exponent = 0;
};

inline bool isDigit(int c) {
    return static_cast<unsigned>(c - '0') <= 9;
}

// Walks a number as the extraction collects one: an optional sign, digits with at most one point, an exponent
// only after a digit, and takes in its decimal on the way. Whether the text is a number: a digit before the
// exponent and one in it, if it has one. The input offers peek() and next() as the byte sources do, and
// fourDigits(), which takes four digits at once where it can.
template <typename Input>
bool scanDecimal(Input& input, Decimal& decimal) {
    int c = input.peek();
    if (c == '+' || c == '-') {
        decimal.negative = c == '-';
        c = input.next();
    }
    bool anyDigit = false;
    const auto digit = [&](bool fraction) {
        anyDigit = true;
        const auto value = static_cast<std::uint64_t>(c - '0');
        if (decimal.significant == 19) {
            decimal.withinReach = false;
        } else if (decimal.mantissa != 0 || value != 0) {
            decimal.mantissa = decimal.mantissa * 10 + value;
            ++decimal.significant;
        }
        decimal.exponent -= fraction ? 1 : 0;
        c = input.next();
    };
    // Once the mantissa has begun, digits go four at a time while it has room for them (a failed try costs less
    // than with eight, and short numbers are common); zeros before it and the digits past the fours one at a time.
    const auto digits = [&](bool fraction) {
        while (isDigit(c) && decimal.mantissa == 0) {
            digit(fraction);
        }
        std::uint32_t four = 0;
        while (decimal.mantissa != 0 && decimal.significant <= 15 && input.fourDigits(four)) {
            decimal.mantissa = decimal.mantissa * 10000 + four;
            decimal.significant += 4;
            decimal.exponent -= fraction ? 4 : 0;
            c = input.peek();
        }
        while (isDigit(c)) {
            digit(fraction);
        }
    };
    digits(false);
    if (c == '.') {
        c = input.next();
        digits(true);
    }
    if (!anyDigit) {
        return false;
    }
    if (c != 'e' && c != 'E') {
        return true;
    }
    c = input.next();
    bool negativeExponent = false;
    if (c == '+' || c == '-') {
        negativeExponent = c == '-';
        c = input.next();
    }
    if (!isDigit(c)) {
        return false;
    }
    // Past this length the digits are not counted, but as many zeros may lead the mantissa and take the exponent
    // back into the range: the C library weighs the two.
    constexpr long kLongestExponent = 100000;
    long written = 0;
    for (; isDigit(c); c = input.next()) {
        written = written < kLongestExponent ? written * 10 + (c - '0') : written;
    }
    decimal.withinReach = decimal.withinReach && written < kLongestExponent;
    decimal.exponent += negativeExponent ? -written : written;
    return true;
}

// The value of a scanned number whose text is text: the kit's arithmetic where it decides, else the C library's
// conversion of the whole text, which must take all of it; a magnitude that rounds to infinity fails.
bool convertScanned(Decimal decimal, std::string_view text, Number& result);

// Reads the number at the start of text in one pass: the bytes it took, or 0 when there is none or it does not
// convert.
std::size_t readNumber(std::string_view text, Number& result);

// The characters of a number as the standard extraction collects them from a stream; short ones stay off the heap.
class NumberText {
  public:
    void push(char c) {
        if (size_ < sizeof(inline_)) {
            inline_[size_++] = c;
            return;
        }
        if (size_ == sizeof(inline_)) {
            long_.assign(inline_, size_);
        }
        long_.push_back(c);
        ++size_;
    }
    std::string_view view() const { return std::string_view(size_ <= sizeof(inline_) ? inline_ : long_.data(), size_); }

  private:
    char inline_[48];
    std::size_t size_ = 0;
    std::string long_;
};

// Reads the number at the next byte of a source of bytes, one at a time, collecting its characters as it goes.
template <typename Bytes>
NumberRead collectNumber(Bytes& bytes, Number& result) {
    // The scan's input: each byte it passes is kept and counted.
    class Collecting {
      public:
        explicit Collecting(Bytes& bytes) : bytes_(bytes), c_(bytes.peek()) {}
        int peek() const { return c_; }
        int next() {
            text_.push(static_cast<char>(c_));
            ++consumed_;
            c_ = bytes_.next();
            return c_;
        }
        bool fourDigits(std::uint32_t&) { return false; }

        Bytes& bytes_;
        int c_;
        NumberText text_;
        std::size_t consumed_ = 0;
    };
    Collecting input(bytes);
    Decimal decimal;
    const bool converted = scanDecimal(input, decimal) && convertScanned(decimal, input.text_.view(), result);
    return {converted, input.c_ == std::char_traits<char>::eof(), input.consumed_};
}

}  // namespace jsondoc::detail
