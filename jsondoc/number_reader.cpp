#include "jsondoc/number_reader.h"

#include <stdlib.h>  // strtold_l

#include <cerrno>
#include <cfenv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace jsondoc::detail {
namespace {

constexpr std::uint64_t kMaxExactMantissa = maxExactMantissa<Number>();
constexpr int kMaxExactPower = maxExactPowerOfTen<Number>();

// The value of +-mantissa * 10^exponent as the C library would round it, where the kit's arithmetic gets it right:
// one operation on a mantissa and a power of ten that the type holds exactly, in any rounding mode, or the nearest
// reading when rounding to nearest. False where the C library must decide.
bool roundDecimal(bool negative, std::uint64_t mantissa, long exponent, Number& result) {
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
        value *= kFloatPowersOfTen<Number>.value[exponent];
    } else if (exponent < 0) {
        value /= kFloatPowersOfTen<Number>.value[-exponent];
    }
    result = value;
    return true;
}

bool convertByLibrary(std::string_view text, Number& result) {
    // The view ends where the number does, not with a terminator: the library's conversion gets a terminated copy.
    const std::string copy(text);
    const int savedErrno = errno;
    char* stop = nullptr;
    const Number value = strtold_l(copy.c_str(), &stop, classicCLocale());
    errno = savedErrno;
    if (stop != copy.c_str() + copy.size() || value == std::numeric_limits<Number>::infinity() ||
        value == -std::numeric_limits<Number>::infinity()) {
        return false;
    }
    result = value;
    return true;
}

constexpr std::uint32_t kNotDigits = ~std::uint32_t{0};

// The value of four decimal digits, or kNotDigits when any of the four bytes is not one. In 32-bit words, which a
// 32-bit core takes in one instruction per step.
inline std::uint32_t fourDigitsAt(const char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    // The arithmetic below takes the first byte as the lowest; elsewhere the digits go one at a time.
    static_cast<void>(p);
    return kNotDigits;
#endif
    std::uint32_t word = 0;
    std::memcpy(&word, p, sizeof word);
    if (((word & 0xF0F0F0F0) | (((word + 0x06060606) & 0xF0F0F0F0) >> 4)) != 0x33333333) {
        return kNotDigits;
    }
    // The first byte is the leading digit: pairs, then the four, each step one multiply.
    word -= 0x30303030;
    word = (word * 10 + (word >> 8)) & 0x00FF00FF;
    return (word * 100 + (word >> 16)) & 0xFFFF;
}

// Text in memory as the scan's input.
class InPlace {
  public:
    explicit InPlace(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}
    int peek() const { return at_ == end_ ? std::char_traits<char>::eof() : static_cast<unsigned char>(*at_); }
    int next() {
        ++at_;
        return peek();
    }
    bool fourDigits(std::uint32_t& value) {
        if (end_ - at_ < 4 || (value = fourDigitsAt(at_)) == kNotDigits) {
            return false;
        }
        at_ += 4;
        return true;
    }
    const char* at() const { return at_; }

  private:
    const char* at_;
    const char* const end_;
};

}  // namespace

bool convertScanned(Decimal decimal, std::string_view text, Number& result) {
    return (decimal.withinReach && roundDecimal(decimal.negative, decimal.mantissa, decimal.exponent, result)) ||
           convertByLibrary(text, result);
}

namespace {

// An integer of up to nine digits, the most common number, is exact in 32-bit arithmetic: the bytes it took, or 0
// to leave the text to the general reading.
std::size_t readShortInteger(std::string_view text, Number& result) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    const char* const first = p;
    constexpr std::ptrdiff_t kMostDigits = 9;
    std::uint32_t value = 0;
    for (; p != end && isDigit(*p); ++p) {
        if (p - first == kMostDigits) {
            return 0;
        }
        value = value * 10 + static_cast<std::uint32_t>(*p - '0');
    }
    if (p == first || (p != end && (*p == '.' || *p == 'e' || *p == 'E'))) {
        return 0;
    }
    result = negative ? -static_cast<Number>(value) : static_cast<Number>(value);
    return static_cast<std::size_t>(p - text.data());
}

}  // namespace

std::size_t readNumber(std::string_view text, Number& result) {
    if (const std::size_t taken = readShortInteger(text, result); taken != 0) {
        return taken;
    }
    InPlace input(text);
    Decimal decimal;
    if (!scanDecimal(input, decimal)) {
        return 0;
    }
    const auto taken = static_cast<std::size_t>(input.at() - text.data());
    const bool converted =
        (decimal.withinReach && roundDecimal(decimal.negative, decimal.mantissa, decimal.exponent, result)) ||
        convertByLibrary(text.substr(0, taken), result);
    return converted ? taken : 0;
}

}  // namespace jsondoc::detail
