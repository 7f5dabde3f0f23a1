#include <locale.h>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "jsondoc/text.h"

namespace jsondoc::detail {
namespace {

constexpr int kMantissaBits = std::numeric_limits<Number>::digits;
#if defined(__x86_64__) || defined(__i386__)
// The x87 extended format: a 64-bit mantissa with an explicit integer bit, then the sign and a biased 15-bit
// exponent.
constexpr bool kExtendedLayout = kMantissaBits == 64;
#else
constexpr bool kExtendedLayout = false;
#endif
// Where long double is the IEEE double, as on the unit.
constexpr bool kDoubleLayout = kMantissaBits == 53 && sizeof(Number) == 8;

// A number as its sign and mantissa * 2^exponent, read straight from its bits where the layout is known: the x87
// operations and the library calls of frexp and ldexp cost more than the digits themselves.
struct Parts {
    bool negative;
    bool finite;
    std::uint64_t mantissa;  // 0 for a zero
    int exponent;
};

Parts split(const Number& number) {
    Parts parts{};
    if constexpr (kExtendedLayout) {
        unsigned char bytes[sizeof(Number)];
        std::memcpy(bytes, &number, sizeof bytes);
        std::memcpy(&parts.mantissa, bytes, sizeof parts.mantissa);
        const int biased = (bytes[9] & 0x7F) << 8 | bytes[8];
        parts.negative = (bytes[9] & 0x80) != 0;
        parts.finite = biased != 0x7FFF;
        parts.exponent = (biased == 0 ? 1 : biased) - 16383 - 63;
    } else if constexpr (kDoubleLayout) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        const auto biased = static_cast<int>(bits >> 52 & 0x7FF);
        parts.negative = (bits >> 63) != 0;
        parts.finite = biased != 0x7FF;
        parts.mantissa = (bits & ((std::uint64_t(1) << 52) - 1)) | (biased == 0 ? 0 : std::uint64_t(1) << 52);
        parts.exponent = (biased == 0 ? 1 : biased) - 1075;
    } else {
        // Other layouts take the library's way for every number.
        parts.negative = std::signbit(number);
    }
    return parts;
}

struct PowersOfTen {
    std::uint64_t value[19];  // 10^0 to 10^18
};
constexpr PowersOfTen makePowersOfTen() {
    PowersOfTen powers{};
    std::uint64_t p = 1;
    for (std::uint64_t& power : powers.value) {
        power = p;
        p *= 10;
    }
    return powers;
}
constexpr PowersOfTen kPowersOfTen = makePowersOfTen();

// The magnitude of an integral value that fits 64 bits.
bool integralValue(const Parts& parts, std::uint64_t& value) {
    if (!parts.finite) {
        return false;
    }
    if (parts.mantissa == 0) {
        value = 0;
    } else if (parts.exponent >= 0) {
        if (parts.exponent > 63 || (parts.mantissa >> (63 - parts.exponent)) != 0) {
            return false;
        }
        value = parts.mantissa << parts.exponent;
    } else {
        const int shift = -parts.exponent;
        if (shift > 63 || (parts.mantissa & ((std::uint64_t(1) << shift) - 1)) != 0) {
            return false;
        }
        value = parts.mantissa >> shift;
    }
    return true;
}

// Integral values below 10^precision print under %g as their plain digits, in every rounding mode.
std::size_t formatIntegral(const Parts& parts, int precision, char* buffer) {
    std::uint64_t value = 0;
    if (!integralValue(parts, value) || value >= kPowersOfTen.value[precision < 18 ? precision : 18]) {
        return 0;
    }
    char* out = buffer;
    if (parts.negative) {
        *out++ = '-';
    }
    return static_cast<std::size_t>(std::to_chars(out, buffer + generalBufferSize, value).ptr - buffer);
}

std::size_t formatByLibrary(Number number, int precision, char* buffer) {
    const auto result =
        std::to_chars(buffer, buffer + generalBufferSize, number, std::chars_format::general, precision);
    return static_cast<std::size_t>(result.ptr - buffer);
}

// std::to_chars rounds to nearest whatever the rounding mode; printf, and the stream through it, follow the mode.
// The classic locale's point is put in for the time of the call only, as the stream does.
std::size_t formatByPrintf(Number number, int precision, char* buffer) {
    static const locale_t classic = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
    const locale_t previous = uselocale(classic);
    const int size = std::snprintf(buffer, generalBufferSize, "%.*Lg", precision, static_cast<long double>(number));
    uselocale(previous);
    return size < 0 ? 0 : static_cast<std::size_t>(size);
}

#if defined(__SIZEOF_INT128__)

// The library's conversion of a long double goes through printf's multi-precision arithmetic. Where the type's
// mantissa fits 64 bits, the digits of any precision up to kMaxFastPrecision come exactly from 128-bit integers
// instead: the number is m * 2^e, and its leading digits are m * 2^e * 10^s for a suitable s, rounded as printf
// rounds (to nearest, ties to even). Whatever does not fit the integers goes to the library.
__extension__ typedef unsigned __int128 Wide;

constexpr bool kFastPathFits = kExtendedLayout || kDoubleLayout;
constexpr int kMaxFastPrecision = 17;

struct WidePowers {
    Wide value[39];
};
constexpr WidePowers makeWidePowers() {
    WidePowers powers{};
    Wide p = 1;
    for (Wide& power : powers.value) {
        power = p;
        p *= 10;
    }
    return powers;
}
constexpr WidePowers kPowers = makeWidePowers();

int bitWidth(Wide x) {
    const auto high = static_cast<std::uint64_t>(x >> 64);
    if (high != 0) {
        return 128 - __builtin_clzll(high);
    }
    const auto low = static_cast<std::uint64_t>(x);
    return low == 0 ? 0 : 64 - __builtin_clzll(low);
}

// A positive finite number as odd mantissa * 2^exponent.
struct Binary {
    std::uint64_t mantissa;
    int exponent;
};

Binary oddPart(const Parts& parts) {
    const int zeros = __builtin_ctzll(parts.mantissa);
    return {parts.mantissa >> zeros, parts.exponent + zeros};
}

// floor(m * 2^e * 10^s), and how the part dropped compares with one half.
struct Scaled {
    Wide quotient;
    int dropped;  // below one half (< 0), exactly one half (0) or above (> 0)
};

int compareWithHalf(Wide remainder, Wide divisor) {
    const Wide rest = divisor - remainder;
    return remainder < rest ? -1 : (remainder == rest ? 0 : 1);
}

// By 2^shift: the quotient and the dropped bits come from shifts alone.
Scaled shiftDown(Wide num, int shift) {
    if (shift == 0) {
        return {num, -1};
    }
    if (shift >= 128) {
        return {0, -1};  // far too small for this exponent; the caller tries a smaller one
    }
    const Wide mask = (Wide(1) << shift) - 1;
    return {num >> shift, compareWithHalf(num & mask, mask + 1)};
}

// Most divisions fit 64 bits, which are several times faster than the 128-bit ones.
Scaled divideDown(Wide num, Wide den) {
    if ((num >> 64) == 0 && (den >> 64) == 0) {
        const auto n = static_cast<std::uint64_t>(num);
        const auto d = static_cast<std::uint64_t>(den);
        return {n / d, compareWithHalf(n % d, d)};
    }
    return {num / den, compareWithHalf(num % den, den)};
}

// Tiny numbers need 10^s beyond 64 bits, and m * 10^s then needs up to 192: high * 2^64 + low.
struct Product {
    Wide high;
    std::uint64_t low;
};

Product multiply(std::uint64_t m, Wide power) {
    const Wide low = Wide(m) * static_cast<std::uint64_t>(power);
    const Wide high = Wide(m) * static_cast<std::uint64_t>(power >> 64);
    return {(low >> 64) + high, static_cast<std::uint64_t>(low)};
}

// By 2^shift with shift >= 64: the low word is dropped whole.
Scaled shiftDown(const Product& n, int shift) {
    const int highShift = shift - 64;
    if (highShift >= 128) {
        return {0, -1};
    }
    if (highShift == 0) {
        return {n.high, compareWithHalf(n.low, Wide(1) << 64)};
    }
    const Wide half = Wide(1) << (highShift - 1);
    const Wide dropped = n.high & ((half << 1) - 1);
    if (dropped != half) {
        return {n.high >> highShift, dropped < half ? -1 : 1};
    }
    return {n.high >> highShift, n.low == 0 ? 0 : 1};
}

// False when the numbers involved do not fit the integers.
bool scale(const Binary& b, int s, Scaled& result) {
    if (s > 19) {
        if (s > 38 || b.exponent > -64) {
            return false;
        }
        result = shiftDown(multiply(b.mantissa, kPowers.value[s]), -b.exponent);
        return true;
    }
    if (s >= 0) {
        const Wide num = b.mantissa * kPowers.value[s];
        if (b.exponent < 0) {
            result = shiftDown(num, -b.exponent);
            return true;
        }
        if (bitWidth(num) + b.exponent > 127) {
            return false;
        }
        result = {num << b.exponent, -1};
        return true;
    }
    if (s < -38) {
        return false;
    }
    Wide num = b.mantissa;
    Wide den = kPowers.value[-s];
    if (b.exponent >= 0) {
        if (bitWidth(num) + b.exponent > 127) {
            return false;
        }
        num <<= b.exponent;
    } else {
        if (bitWidth(den) - b.exponent > 127) {
            return false;
        }
        den <<= -b.exponent;
    }
    result = divideDown(num, den);
    return true;
}

// The number's leading decimal digits: digits is in [10^(precision-1), 10^precision), and the number is about
// digits * 10^(exponent - precision + 1).
struct Decimal {
    std::uint64_t digits;
    int exponent;
};

bool decimalOf(const Binary& b, int precision, Decimal& result) {
    // log2 of the number in 1/65536, the mantissa's share taken as the straight line under the curve of
    // log2(1 + f), times log10(2): that rarely misses the decimal exponent, and the truncated digits below tell
    // whether it did and which way.
    const int leading = __builtin_clzll(b.mantissa);
    const long long whole = b.exponent + 63 - leading;
    const auto fraction = static_cast<long long>((b.mantissa << leading << 1) >> 48);
    int exponent = static_cast<int>((whole * 65536 + fraction) * 78913 >> 34);
    const Wide low = kPowers.value[precision - 1];
    const Wide high = kPowers.value[precision];
    for (int attempt = 0; attempt < 3; ++attempt) {
        Scaled scaled{};
        if (!scale(b, precision - 1 - exponent, scaled)) {
            return false;
        }
        if (scaled.quotient < low) {
            --exponent;
            continue;
        }
        if (scaled.quotient >= high) {
            ++exponent;
            continue;
        }
        Wide digits = scaled.quotient;
        if (scaled.dropped > 0 || (scaled.dropped == 0 && (digits & 1) != 0)) {
            ++digits;
        }
        if (digits == high) {
            result = {static_cast<std::uint64_t>(low), exponent + 1};  // carried into a new leading digit
        } else {
            result = {static_cast<std::uint64_t>(digits), exponent};
        }
        return true;
    }
    return false;
}

// Integers of more digits than the precision and fewer than 20 (identifiers, counters, times) round with one
// 64-bit division, to nearest with ties to even.
bool roundedIntegral(const Parts& parts, int precision, Decimal& result) {
    std::uint64_t value = 0;
    if (!integralValue(parts, value) || value >= kPowersOfTen.value[18] * 10 || value < kPowersOfTen.value[precision]) {
        return false;
    }
    int digits = precision + 1;
    while (digits < 19 && value >= kPowersOfTen.value[digits]) {
        ++digits;
    }
    const std::uint64_t unit = kPowersOfTen.value[digits - precision];
    std::uint64_t kept = value / unit;
    const std::uint64_t rest = value % unit;
    if (rest > unit / 2 || (rest == unit / 2 && (kept & 1) != 0)) {
        ++kept;
    }
    if (kept == kPowersOfTen.value[precision]) {
        result = {kPowersOfTen.value[precision - 1], digits};  // carried into a new leading digit
    } else {
        result = {kept, digits - 1};
    }
    return true;
}

std::size_t writeExponent(char* out, int exponent) {
    std::size_t size = 0;
    out[size++] = 'e';
    out[size++] = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) {
        out[size++] = '0';
    }
    const auto result = std::to_chars(out + size, out + 8, magnitude);
    return static_cast<std::size_t>(result.ptr - out);
}

// Lays the digits out as %g does: fixed notation for exponents from -4 to precision - 1, exponent notation
// otherwise, trailing zeros of the fraction and a bare point dropped.
std::size_t layOut(bool negative, const Decimal& decimal, int precision, char* buffer) {
    char digits[24];
    auto count = static_cast<int>(std::to_chars(digits, digits + sizeof digits, decimal.digits).ptr - digits);
    while (count > 1 && digits[count - 1] == '0') {
        --count;
    }
    char* out = buffer;
    if (negative) {
        *out++ = '-';
    }
    const int exponent = decimal.exponent;
    if (exponent < -4 || exponent >= precision) {
        *out++ = digits[0];
        if (count > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, static_cast<std::size_t>(count - 1));
            out += count - 1;
        }
        out += writeExponent(out, exponent);
    } else if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        std::memset(out, '0', static_cast<std::size_t>(-exponent - 1));
        out += -exponent - 1;
        std::memcpy(out, digits, static_cast<std::size_t>(count));
        out += count;
    } else {
        const int whole = exponent + 1;
        const int copied = count < whole ? count : whole;
        std::memcpy(out, digits, static_cast<std::size_t>(copied));
        std::memset(out + copied, '0', static_cast<std::size_t>(whole - copied));
        out += whole;
        if (count > whole) {
            *out++ = '.';
            std::memcpy(out, digits + whole, static_cast<std::size_t>(count - whole));
            out += count - whole;
        }
    }
    return static_cast<std::size_t>(out - buffer);
}

std::size_t formatExactly(const Parts& parts, int precision, char* buffer) {
    if (!kFastPathFits || precision > kMaxFastPrecision || !parts.finite) {
        return 0;
    }
    if (parts.mantissa == 0) {
        const std::string_view zero = parts.negative ? "-0" : "0";
        zero.copy(buffer, zero.size());
        return zero.size();
    }
    Decimal decimal{};
    if (!roundedIntegral(parts, precision, decimal) && !decimalOf(oddPart(parts), precision, decimal)) {
        return 0;
    }
    return layOut(parts.negative, decimal, precision, buffer);
}

#else

std::size_t formatExactly(const Parts&, int, char*) {
    return 0;
}

#endif

}  // namespace

GeneralFormat::GeneralFormat() : toNearest_(std::fegetround() == FE_TONEAREST) {}

std::size_t GeneralFormat::operator()(const Number& number, int precision, char* buffer) const {
    const Parts parts = split(number);
    if (const std::size_t size = formatIntegral(parts, precision, buffer)) {
        return size;
    }
    if (toNearest_) {
        if (const std::size_t size = formatExactly(parts, precision, buffer)) {
            return size;
        }
    }
    return toNearest_ ? formatByLibrary(number, precision, buffer) : formatByPrintf(number, precision, buffer);
}

void appendNumber(std::string& out, const Number& number, const GeneralFormat& format) {
    char buffer[generalBufferSize];
    out.append(buffer, format(number, 16, buffer));
}

}  // namespace jsondoc::detail
