#pragma once

// Numbers read as the standard long double extraction in the classic locale reads them. Internal to the library.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

// The largest integer mantissa that Float holds exactly, within 64 bits.
template <typename Float>
constexpr std::uint64_t maxExactMantissa() {
    constexpr int digits = std::numeric_limits<Float>::digits;
    return digits >= 64 ? UINT64_MAX : (std::uint64_t{1} << digits) - 1;
}

// The largest k for which 10^k is exact in Float: 5^k fits in its mantissa, the factor 2^k only moves the exponent.
template <typename Float>
constexpr int maxExactPowerOfTen() {
    std::uint64_t five = 1;
    int k = 0;
    while (five <= maxExactMantissa<Float>() / 5) {
        five *= 5;
        ++k;
    }
    return k;
}

template <typename Float>
struct PowersOfTen {
    constexpr PowersOfTen() : value{} {
        Float power = 1;
        for (int i = 0; i <= maxExactPowerOfTen<Float>(); ++i) {
            value[i] = power;
            power *= 10;
        }
    }
    Float value[maxExactPowerOfTen<Float>() + 1];
};
template <typename Float>
inline constexpr PowersOfTen<Float> kPowersOfTen{};

// Decimal exponents that the nearest reading below takes: a power of ten within them is at most two exact
// factors, so the first guess is off by a few units in the last place at most. With a mantissa from 1 to 2^64 - 1
// every value in the range is a normal number of the type, far from overflow.
template <typename Float>
inline constexpr int kNearestPowerLimit = 2 * maxExactPowerOfTen<Float>();

// An unsigned integer of Limbs 32-bit limbs, lowest first, with just what comparing scaled values needs.
template <int Limbs>
class WideUnsigned {
    static_assert(Limbs >= 3, "room for a 66-bit midpoint");

  public:
    // (base << shift) | low, where shift <= 2 and low < 2^shift.
    WideUnsigned(std::uint64_t base, int shift, std::uint32_t low) : limb_{} {
        const std::uint64_t bottom = (base & 0xFFFFFFFF) << shift;
        const std::uint64_t top = (base >> 32 << shift) + (bottom >> 32);
        limb_[0] = static_cast<std::uint32_t>(bottom) | low;
        limb_[1] = static_cast<std::uint32_t>(top);
        limb_[2] = static_cast<std::uint32_t>(top >> 32);
        used_ = 3;
        trim();
    }

    void multiplyByPowerOfFive(int k) {
        constexpr std::uint32_t kFiveTo13 = 1220703125;  // the largest power of five in a limb
        for (; k >= 13; k -= 13) {
            multiply(kFiveTo13);
        }
        std::uint32_t rest = 1;
        for (; k > 0; --k) {
            rest *= 5;
        }
        multiply(rest);
    }

    // The caller makes sure that the result fits.
    void shiftLeft(int bits) {
        const int limbs = bits / 32;
        const int rest = bits % 32;
        if (rest != 0) {
            std::uint32_t carry = 0;
            for (int i = 0; i < used_; ++i) {
                const std::uint32_t out = limb_[i] >> (32 - rest);
                limb_[i] = limb_[i] << rest | carry;
                carry = out;
            }
            if (carry != 0) {
                limb_[used_++] = carry;
            }
        }
        if (limbs != 0) {
            for (int i = used_ - 1; i >= 0; --i) {
                limb_[i + limbs] = limb_[i];
            }
            for (int i = 0; i < limbs; ++i) {
                limb_[i] = 0;
            }
            used_ += limbs;
        }
    }

    int bitLength() const {
        std::uint32_t top = used_ == 0 ? 0 : limb_[used_ - 1];
        int bits = 32 * used_;
        for (int step = 16; step > 0; step /= 2) {
            if (top >> (32 - step) == 0) {
                top <<= step;
                bits -= step;
            }
        }
        return bits;
    }

    friend int compare(const WideUnsigned& a, const WideUnsigned& b) {
        if (a.used_ != b.used_) {
            return a.used_ < b.used_ ? -1 : 1;
        }
        for (int i = a.used_ - 1; i >= 0; --i) {
            if (a.limb_[i] != b.limb_[i]) {
                return a.limb_[i] < b.limb_[i] ? -1 : 1;
            }
        }
        return 0;
    }

  private:
    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (int i = 0; i < used_; ++i) {
            carry += std::uint64_t{limb_[i]} * factor;
            limb_[i] = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
        if (carry != 0 && used_ < Limbs) {
            limb_[used_++] = static_cast<std::uint32_t>(carry);
        }
    }
    void trim() {
        while (used_ > 0 && limb_[used_ - 1] == 0) {
            --used_;
        }
    }

    std::uint32_t limb_[Limbs];
    int used_;
};

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

// The Float nearest to mantissa * 10^exponent, ties to the even mantissa, for a mantissa from 1 to 2^64 - 1 and
// |exponent| <= kNearestPowerLimit<Float>; the arithmetic of the guess assumes rounding to nearest. A guess from
// two or three rounded operations is checked against the midpoints to its neighbours in exact integers and moved
// one unit in the last place at a time until the value lies between them.
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
    using Wide = WideUnsigned<(65 + (7 * kLimit + 2) / 3 + 31) / 32>;

    const int power = exponent < 0 ? -exponent : exponent;
    const Float first = kPowersOfTen<Float>.value[power < kExact ? power : kExact];
    const Float second = kPowersOfTen<Float>.value[power < kExact ? 0 : power - kExact];
    Float guess = static_cast<Float>(mantissa);
    guess = exponent < 0 ? guess / first / second : guess * first * second;

    // The value is exact * 2^exponent, divided by 5^-exponent when that is negative: then the midpoints take
    // that factor instead.
    Wide exact(mantissa, 0, 0);
    if (exponent > 0) {
        exact.multiplyByPowerOfFive(exponent);
    }
    // The sign of value - ((base << shift) | low) * 2^(binaryExponent - shift).
    const auto against = [&](std::uint64_t base, int shift, std::uint32_t low, int binaryExponent) {
        Wide midpoint(base, shift, low);
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

// The usual number, read in one pass where it lies (in text in memory, or as a stream's number was collected):
// sign, digits, fraction, exponent. Gives the end of the number when its value is exact in one operation, else
// null, and the general reading decides. It stops where the general reading stops.
const char* scanExactNumber(const char* p, const char* end, Number& result);

// Converts text that the one-pass reading does not take as exact with strtold, which rounds correctly too; a
// magnitude that rounds to infinity fails.
bool convertGeneralNumber(const char* text, std::size_t size, Number& result);

// Converts the text of a number as the extraction does: the whole text must convert.
inline bool convertNumber(const char* text, std::size_t size, Number& result) {
    return scanExactNumber(text, text + size, result) == text + size || convertGeneralNumber(text, size, result);
}

// The characters of a number as the standard extraction collects them from a stream; short ones stay off the heap.
class NumberText {
  public:
    void push(char c) {
        if (size_ < sizeof(inline_) - 1) {
            inline_[size_++] = c;
            return;
        }
        if (size_ == sizeof(inline_) - 1) {
            long_.assign(inline_, size_);
        }
        long_.push_back(c);
        ++size_;
    }
    bool convert(std::size_t /*consumed*/, Number& result) { return convertNumber(c_str(), size_, result); }

  private:
    const char* c_str() {
        if (size_ < sizeof(inline_)) {
            inline_[size_] = '\0';
            return inline_;
        }
        return long_.c_str();
    }

    char inline_[48];
    std::size_t size_ = 0;
    std::string long_;
};

// Text in memory needs no collecting: what was consumed converts where it lies.
class NumberInPlace {
  public:
    explicit NumberInPlace(const char* start) : start_(start) {}
    void push(char) {}
    bool convert(std::size_t consumed, Number& result) { return convertNumber(start_, consumed, result); }

  private:
    const char* start_;
};

// What a number read did: whether the number converted, whether the input ended, and how many bytes it consumed,
// for the caller to step back over after a failure.
struct NumberRead {
    bool converted;
    bool atEnd;
    std::size_t consumed;
};

// The general reading, character by character as the extraction goes: an optional sign, digits with at most one
// point, an exponent only after a digit. What it collected converts as a whole or the read fails.
template <typename Bytes>
NumberRead readCollectedNumber(Bytes& bytes, Number& result) {
    std::size_t consumed = 0;
    auto text = bytes.numberText();
    int c = bytes.peek();
    bool atEnd = c == std::char_traits<char>::eof();
    auto advance = [&] {
        ++consumed;
        c = bytes.next();
        atEnd = c == std::char_traits<char>::eof();
    };
    if (!atEnd && (c == '+' || c == '-')) {
        text.push(static_cast<char>(c));
        advance();
    }
    bool mantissa = false;
    while (!atEnd && c == '0') {
        if (!mantissa) {
            text.push('0');
            mantissa = true;
        }
        advance();
    }
    bool point = false;
    bool exponent = false;
    while (!atEnd) {
        if (c >= '0' && c <= '9') {
            text.push(static_cast<char>(c));
            mantissa = true;
        } else if (c == '.' && !point && !exponent) {
            text.push('.');
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
            text.push('e');
            exponent = true;
            advance();
            if (atEnd) {
                break;
            }
            if (c != '+' && c != '-') {
                continue;
            }
            text.push(static_cast<char>(c));
        } else {
            break;
        }
        advance();
    }
    return {text.convert(consumed, result), atEnd, consumed};
}

// A number at the next byte, in the classic locale: the byte source's in-place reading of the usual number, which
// hands anything else to the general reading.
template <typename Bytes>
NumberRead readNumber(Bytes& bytes, Number& result) {
    if (bytes.exactNumber(result)) {
        return {true, bytes.peek() == std::char_traits<char>::eof(), 0};
    }
    return readCollectedNumber(bytes, result);
}

}  // namespace jsondoc::detail
