#include "jsondoc/number_reader.h"

#include <stdlib.h>  // strtold_l

#include <cerrno>
#include <cfenv>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <limits>

namespace jsondoc::detail {
namespace {

constexpr std::uint64_t kMaxExactMantissa = maxExactMantissa<Number>();
constexpr int kMaxExactPower = maxExactPowerOfTen<Number>();

locale_t classicCLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// Whether the value is exact in one operation on a mantissa and a power of ten that the type holds exactly: then
// that operation gives the correctly rounded result.
bool exactValue(bool negative, std::uint64_t mantissa, long exponent, Number& result) {
    if (mantissa == 0) {
        result = negative ? -Number(0) : Number(0);
        return true;
    }
    if (mantissa > kMaxExactMantissa || exponent < -kMaxExactPower || exponent > kMaxExactPower) {
        // Rounded to nearest the sign does not matter; other modes are left to the library's conversion.
        if (exponent < -kNearestPowerLimit<Number> || exponent > kNearestPowerLimit<Number> ||
            std::fegetround() != FE_TONEAREST) {
            return false;
        }
        const Number value = nearestDecimal<Number>(mantissa, static_cast<int>(exponent));
        result = negative ? -value : value;
        return true;
    }
    // The sign goes on first: the one rounding operation then rounds the signed value, in whatever direction the
    // floating-point rounding mode asks for, as the library's conversion does.
    const Number exactMantissa = static_cast<Number>(mantissa);
    Number value = negative ? -exactMantissa : exactMantissa;
    if (exponent > 0) {
        value *= kPowersOfTen<Number>.value[exponent];
    } else if (exponent < 0) {
        value /= kPowersOfTen<Number>.value[-exponent];
    }
    result = value;
    return true;
}

inline bool isDigit(char c) {
    return static_cast<unsigned char>(c - '0') <= 9;
}

constexpr std::uint64_t kNotDigits = ~std::uint64_t{0};

// The value of eight decimal digits, or kNotDigits when any of the eight bytes is not one.
inline std::uint64_t eightDigits(const char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    // The arithmetic below takes the first byte as the lowest; elsewhere the digits go one at a time.
    static_cast<void>(p);
    return kNotDigits;
#endif
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    if (((word & 0xF0F0F0F0F0F0F0F0) | (((word + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) !=
        0x3333333333333333) {
        return kNotDigits;
    }
    // The first byte is the leading digit: pairs, then fours, then the eight, each step one multiply.
    word -= 0x3030303030303030;
    word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FF;
    word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFF;
    return (word * 10000 + (word >> 32)) & 0xFFFFFFFF;
}

}  // namespace

const char* scanExactNumber(const char* p, const char* const end, Number& result) {
    bool negative = false;
    if (p != end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t mantissa = 0;
    int significant = 0;
    long exponent = 0;
    bool anyDigit = false;
    auto digits = [&](long step) {
        // Eight digits at a time while the mantissa has begun and has room for them.
        std::uint64_t eight = 0;
        while (mantissa != 0 && significant <= 11 && end - p >= 8 && (eight = eightDigits(p)) != kNotDigits) {
            mantissa = mantissa * 100000000 + eight;
            significant += 8;
            exponent -= 8 * step;
            p += 8;
        }
        for (; p != end && isDigit(*p); ++p) {
            anyDigit = true;
            const auto digit = static_cast<std::uint64_t>(*p - '0');
            if (mantissa == 0 && digit == 0) {
                exponent -= step;
                continue;
            }
            if (significant == 19) {
                return false;
            }
            mantissa = mantissa * 10 + digit;
            ++significant;
            exponent -= step;
        }
        return true;
    };
    if (!digits(0)) {
        return nullptr;
    }
    if (p != end && *p == '.') {
        ++p;
        if (!digits(1)) {
            return nullptr;
        }
    }
    if (!anyDigit) {
        return nullptr;
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        if (p == end || !isDigit(*p)) {
            return nullptr;
        }
        // Past this length the digits are not counted, but as many zeros may lead the mantissa and take the
        // exponent back into the range: the general conversion weighs the two.
        constexpr long kLongestExponent = 100000;
        long written = 0;
        for (; p != end && isDigit(*p); ++p) {
            written = written < kLongestExponent ? written * 10 + (*p - '0') : written;
        }
        if (written >= kLongestExponent) {
            return nullptr;
        }
        exponent += negativeExponent ? -written : written;
    }
    return exactValue(negative, mantissa, exponent, result) ? p : nullptr;
}

bool convertGeneralNumber(const char* text, std::size_t size, Number& result) {
    // Text in memory is converted where it lies, so the library's conversion gets a terminated copy.
    const std::string copy(text, size);
    const int savedErrno = errno;
    char* stop = nullptr;
    const Number value = strtold_l(copy.c_str(), &stop, classicCLocale());
    errno = savedErrno;
    if (stop != copy.c_str() + size || value == std::numeric_limits<Number>::infinity() ||
        value == -std::numeric_limits<Number>::infinity()) {
        return false;
    }
    result = value;
    return true;
}

}  // namespace jsondoc::detail
