#include "jsondoc/number_writer.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "jsondoc/decimal.h"

namespace jsondoc::detail {
namespace {

// Integral values below 10^precision print under %g as their plain digits, in every rounding mode; counters and
// identifiers are most of the numbers written, and their digits cost less than a general conversion.
std::size_t formatIntegral(const Number& number, int precision, char* buffer) {
    const Number magnitude = std::fabs(number);
    const auto limit = static_cast<Number>(kPowersOfTen.value[precision < 18 ? precision : 18]);
    // Not a NaN, an infinity or a fraction.
    if (!(magnitude < limit) || magnitude != std::floor(magnitude)) {
        return 0;
    }
    char* out = buffer;
    if (std::signbit(number)) {
        *out++ = '-';
    }
    const auto value = static_cast<std::uint64_t>(magnitude);
    return static_cast<std::size_t>(std::to_chars(out, buffer + generalBufferSize, value).ptr - buffer);
}

// The exact conversion below takes precisions up to this, so that the digits before rounding (fewer than
// 10^(precision + 1)) fit in 64 bits.
constexpr int kMaxExactPrecision = 17;

// What is left of a scaled value past its integer part, against one half.
enum class Rest { kZero, kBelowHalf, kHalf, kAboveHalf };

// The rest is (twice + more) / (2 * whole) with twice an integer and more in [0, 1), nonzero if moreNonzero.
Rest restOf(std::uint64_t twice, std::uint64_t whole, bool moreNonzero) {
    if (twice < whole) {
        return twice == 0 && !moreNonzero ? Rest::kZero : Rest::kBelowHalf;
    }
    return twice == whole && !moreNonzero ? Rest::kHalf : Rest::kAboveHalf;
}
// The same with the binary fraction below the point at the top of 64 bits: its first bit counts to twice.
Rest restOf(std::uint64_t twice, std::uint64_t whole, std::uint64_t below) {
    return restOf(twice + (below >> 63), whole, (below << 1) != 0);
}

// floor(mantissa * 10^scale / 2^shift) and its rest, for the scales and shifts past the usual ones, on the kit's
// wide integer. Rare, and kept out of line: inlined, it takes registers that the usual path needs.
[[gnu::noinline, gnu::cold]] bool scaleWide(std::uint64_t mantissa, int shift, int scale, std::uint64_t& integer,
                                            Rest& rest) {
    // 10^scale is 5^scale * 2^scale: the power of two only moves the point.
    const int point = shift - scale;
    if (scale > 38 || shift >= 192 || point <= 0) {
        return false;
    }
    WideUnsigned<8> product(mantissa);
    product.multiplyByPowerOfFive(scale);
    integer = product.bitsFrom(point);
    // The first bit below the point is the half; any bit under it breaks a tie.
    rest = restOf(product.bitsFrom(point - 1) & 1, 1, product.anyBelow(point - 1));
    return true;
}

// floor(|x| * 10^scale) for |x| = mantissa * 2^binary, and its rest; false where 64-bit pieces do not hold it.
bool scale(std::uint64_t mantissa, int binary, int scale, std::uint64_t& integer, Rest& rest) {
    if (scale > 0) {
        const int shift = -binary;
        if (scale > 19 || shift <= 0 || shift >= 128) {
            return scaleWide(mantissa, shift, scale, integer, rest);
        }
        // The usual case: the product in two words, shifted right.
        const Product product = multiply(mantissa, kPowersOfTen.value[scale]);
        if (shift < 64) {
            integer = (product.high << (64 - shift)) | (product.low >> shift);
            rest = restOf(0, 1, product.low << (64 - shift));
        } else if (shift == 64) {
            integer = product.high;
            rest = restOf(0, 1, product.low);
        } else {
            integer = product.high >> (shift - 64);
            const std::uint64_t below = (product.high << (128 - shift)) | (product.low >> (shift - 64));
            rest = restOf(below >> 63, 1, (below << 1) != 0 || (product.low << (128 - shift)) != 0);
        }
        return true;
    }
    const int t = -scale;
    std::uint64_t whole = 0, below = 0;  // the integral part of |x|, and its fraction at the top of 64 bits
    if (t > 18 || binary >= 64 || binary <= -64) {
        return false;
    }
    if (binary >= 0) {
        if (binary > 0 && mantissa >> (64 - binary) != 0) {
            return false;
        }
        whole = mantissa << binary;
    } else {
        whole = mantissa >> -binary;
        below = mantissa << (64 + binary);
    }
    std::uint64_t remainder = 0;
    integer = t == 0 ? whole : divideByPowerOfTen(whole, t, remainder);
    rest = restOf(2 * remainder, kPowersOfTen.value[t], below);
    return true;
}

// Writes count digits of value before end, leading zeros included; two a step, each step a 32-bit division.
void writeDigits(std::uint32_t value, int count, char* end) {
    for (; count >= 2; count -= 2, value /= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs.text + 2 * (value % 100), 2);
    }
    if (count != 0) {
        *--end = static_cast<char>('0' + value % 10);
    }
}

// precision significant digits of value times 10^(exponent - precision + 1), laid out as %g lays them out.
std::size_t layOut(bool negative, std::uint64_t value, int exponent, int precision, char* buffer) {
    char digits[2 * kMaxExactPrecision];
    if (precision > 8) {  // the last eight digits apart, so that each part fits 32 bits
        std::uint64_t low = 0;
        value = divideByPowerOfTen(value, 8, low);
        writeDigits(static_cast<std::uint32_t>(low), 8, digits + precision);
    }
    writeDigits(static_cast<std::uint32_t>(value), precision > 8 ? precision - 8 : precision,
                digits + (precision > 8 ? precision - 8 : precision));
    int length = precision;
    while (length > 1 && digits[length - 1] == '0') {
        --length;
    }
    char* out = buffer;
    if (negative) {
        *out++ = '-';
    }
    // A copy of fixed size is a few moves where one of the exact size is a call; the buffer has room for it.
    const auto copy = [&out, &digits](int from, int to) {
        std::memcpy(out, digits + from, kMaxExactPrecision);
        out += to - from;
    };
    if (exponent < -4 || exponent >= precision) {
        *out++ = digits[0];
        if (length > 1) {
            *out++ = '.';
            copy(1, length);
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude >= 100) {
            *out++ = static_cast<char>('0' + magnitude / 100);
        }
        *out++ = static_cast<char>('0' + magnitude / 10 % 10);
        *out++ = static_cast<char>('0' + magnitude % 10);
    } else if (exponent >= 0) {
        copy(0, exponent + 1);
        if (length > exponent + 1) {
            *out++ = '.';
            copy(exponent + 1, length);
        }
    } else {
        std::memcpy(out, "0.000", 5);
        out += 1 - exponent;
        copy(0, length);
    }
    return static_cast<std::size_t>(out - buffer);
}

// The significant digits of a number rounded to the precision, and the decimal exponent of the first.
struct Significand {
    std::uint64_t digits = 0;
    int exponent = 0;
};

// Whether |x| is an integer below 2^32, and which: the counters and identifiers that most documents hold, written
// from 32-bit arithmetic, which 32-bit ARM has in hardware.
bool wholeWord(const Number& number, std::uint32_t& word) {
    if constexpr (kNumberIsDouble) {
        const std::uint64_t bits = doubleBits(number);
        const int exponent = static_cast<int>(bits >> 52 & 0x7FF) - 1023;
        const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
        if (exponent < 0) {  // zero, a fraction or a subnormal
            word = 0;
            return exponent == -1023 && fraction == 0;
        }
        if (exponent > 31 || fraction << (12 + exponent) != 0) {
            return false;
        }
        word = static_cast<std::uint32_t>((fraction | std::uint64_t{1} << 52) >> (52 - exponent));
        return true;
    }
    const Number magnitude = std::fabs(number);
    if (!(magnitude < 4294967296.0L)) {
        return false;
    }
    // Past 2^(digits - 1) a Number has no bits below the units: the sum less that power is the magnitude rounded
    // to an integer, which a fraction is not. Only integers go on to the conversion, a slow round trip on x87.
    constexpr Number kUnits = static_cast<Number>(std::uint64_t{1} << (std::numeric_limits<Number>::digits - 1));
    if (magnitude + kUnits - kUnits != magnitude) {
        return false;
    }
    // Rounded, not truncated: a truncating conversion of an x87 long double switches the rounding mode twice.
    word = static_cast<std::uint32_t>(std::llrint(magnitude));
    return true;
}

// The number of digits of word, from its bit length; 1233 / 2^12 is log10(2) closely enough below 2^32.
int digitCount(std::uint32_t word) {
    const int estimate = (32 - __builtin_clz(word | 1)) * 1233 >> 12;
    return estimate + (word >= kPowersOfTen.value[estimate] ? 1 : 0) + (word == 0 ? 1 : 0);
}

// word rounded to nearest (ties to even) at precision digits, fewer than its length: exactly, as the integer is the
// value itself.
Significand roundWord(std::uint32_t word, int length, int precision) {
    // word / 10^cut by the reciprocal, which gives the quotient or one less.
    const int cut = length - precision;
    const auto divisor = static_cast<std::uint32_t>(kPowersOfTen.value[cut]);
    const std::uint64_t reciprocal = kPowersOfTen.reciprocal[cut];
    const std::uint64_t low = std::uint64_t{word} * static_cast<std::uint32_t>(reciprocal);
    auto quotient = static_cast<std::uint32_t>((std::uint64_t{word} * (reciprocal >> 32) + (low >> 32)) >> 32);
    std::uint32_t remainder = word - quotient * divisor;
    if (remainder >= divisor) {
        ++quotient;
        remainder -= divisor;
    }
    Significand rounded{quotient, length - 1};
    if (remainder > divisor / 2 || (remainder == divisor / 2 && (quotient & 1) != 0)) {
        if (++rounded.digits == kPowersOfTen.value[precision]) {
            rounded.digits /= 10;
            ++rounded.exponent;
        }
    }
    return rounded;
}

// An integer below 2^32 of more digits than the precision, rounded to it, as %g lays it out: always with an
// exponent, which is positive and, below 10^10, of one digit. The identifiers of a million or more that documents
// hold come here.
std::size_t layOutWord(bool negative, const Significand& rounded, int precision, char* buffer) {
    auto value = static_cast<std::uint32_t>(rounded.digits);
    int length = precision;
    while (length > 1 && value % 10 == 0) {  // %g leaves no trailing zeros
        value /= 10;
        --length;
    }
    char* out = buffer;
    if (negative) {
        *out++ = '-';
    }
    // The digits one place on, and the first moved back before the point; with one digit the exponent takes the
    // point's place.
    writeDigits(value, length, out + 1 + length);
    out[0] = out[1];
    out[1] = '.';
    out += length > 1 ? length + 1 : 1;
    std::memcpy(out, "e+0", 4);
    out[3] = static_cast<char>('0' + rounded.exponent);
    return static_cast<std::size_t>(out + 4 - buffer);
}

// Rounds to nearest, exactly, the numbers whose scaled digits 64-bit arithmetic holds; false for the others.
bool roundExactly(const Number& number, int precision, Significand& rounded) {
    if (precision < 1 || precision > kMaxExactPrecision || !std::isfinite(number) || number == 0) {
        return false;
    }
    constexpr int kDigits = std::numeric_limits<Number>::digits;
    static_assert(kDigits <= 64, "the mantissa is taken in 64 bits");
    const Number magnitude = std::fabs(number);
    // The exponent from the bits of the nearest double, which every platform lays out alike (frexp would be a call),
    // and a double's mantissa with it. Subnormal doubles and the exponents the arithmetic below does not take fall
    // out here.
    const std::uint64_t bits = doubleBits(static_cast<double>(magnitude));
    int binary = static_cast<int>(bits >> 52 & 0x7FF) - 1022;  // 2^(binary - 1) <= that double < 2^binary
    if (binary < -200 || binary > 200) {
        return false;
    }
    std::uint64_t mantissa = 0;  // |x| = mantissa * 2^(binary - kDigits)
    if constexpr (kNumberIsDouble) {
        mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
    } else {
        // The double may have rounded up to the next power of two, and then the scaled magnitude lies below the top
        // bit. The mantissa is an integer, exact in any rounding mode: rounded rather than truncated as above, and a
        // 64-bit one taken less its top bit, which a signed conversion cannot hold.
        constexpr Number kTop = static_cast<Number>(std::uint64_t{1} << (kDigits - 1));
        Number scaled = magnitude * fromDoubleBits<double>(static_cast<std::uint64_t>(1023 + kDigits - binary) << 52);
        if (scaled < kTop) {
            scaled *= 2;
            --binary;
        }
        mantissa = kDigits < 64 ? static_cast<std::uint64_t>(std::llrint(scaled))
                                : static_cast<std::uint64_t>(std::llrint(scaled - kTop)) | std::uint64_t{1} << 63;
    }
    // The decimal exponent is that of 2^(binary - 1) or one more. 78913 / 2^18 is log10(2) closely enough for the
    // floor to be exact within +-1650; 1000 keeps the division's operand positive.
    int exponent = ((binary - 1) * 78913 + 1000 * 262144) / 262144 - 1000;
    std::uint64_t digits = 0;
    Rest rest = Rest::kZero;
    if (!scale(mantissa, binary - kDigits, precision - 1 - exponent, digits, rest)) {
        return false;
    }
    const std::uint64_t least = kPowersOfTen.value[precision - 1], bound = kPowersOfTen.value[precision];
    if (digits >= bound) {  // one digit too many: the exponent is the larger one
        std::uint64_t last = 0;
        digits = divideByPowerOfTen(digits, 1, last);
        rest =
            restOf(2 * last + (rest >= Rest::kHalf ? 1 : 0), 10, rest == Rest::kBelowHalf || rest == Rest::kAboveHalf);
        ++exponent;
    }
    if (digits < least || digits >= bound) {
        return false;
    }
    if (rest == Rest::kAboveHalf || (rest == Rest::kHalf && (digits & 1) != 0)) {
        if (++digits == bound) {
            digits = least;
            ++exponent;
        }
    }
    rounded = {digits, exponent};
    return true;
}

std::size_t formatByLibrary(const Number& number, int precision, char* buffer) {
    const auto result =
        std::to_chars(buffer, buffer + generalBufferSize, number, std::chars_format::general, precision);
    return static_cast<std::size_t>(result.ptr - buffer);
}

// std::to_chars rounds to nearest whatever the rounding mode; printf, and the stream through it, follow the mode.
// The classic locale's point is put in for the time of the call only, as the stream does.
std::size_t formatByPrintf(const Number& number, int precision, char* buffer) {
    const locale_t previous = uselocale(classicCLocale());
    const int size = std::snprintf(buffer, generalBufferSize, "%.*Lg", precision, static_cast<long double>(number));
    uselocale(previous);
    return size < 0 ? 0 : static_cast<std::size_t>(size);
}

// The numbers that are not integers below 2^32. Apart, so that the integers' path saves and restores only the
// registers it uses.
[[gnu::noinline]] std::size_t formatOther(const Number& number, int precision, bool toNearest, char* buffer) {
    Significand significand;
    if (toNearest && roundExactly(number, precision, significand)) {
        return layOut(std::signbit(number), significand.digits, significand.exponent, precision, buffer);
    }
    if (const std::size_t size = formatIntegral(number, precision, buffer)) {
        return size;
    }
    return toNearest ? formatByLibrary(number, precision, buffer) : formatByPrintf(number, precision, buffer);
}

}  // namespace

GeneralFormat::GeneralFormat() : toNearest_(std::fegetround() == FE_TONEAREST) {}

std::size_t GeneralFormat::operator()(const Number& number, int precision, char* buffer) const {
    std::uint32_t word = 0;
    if (wholeWord(number, word)) {
        // Below 10^precision its digits, in every rounding mode.
        const int length = digitCount(word);
        if (length <= precision) {
            char* out = buffer;
            if (std::signbit(number)) {
                *out++ = '-';
            }
            writeDigits(word, length, out + length);
            return static_cast<std::size_t>(out + length - buffer);
        }
        if (toNearest_) {
            return layOutWord(std::signbit(number), roundWord(word, length, precision), precision, buffer);
        }
    }
    return formatOther(number, precision, toNearest_, buffer);
}

void appendNumber(std::string& out, const Number& number, const GeneralFormat& format) {
    char buffer[generalBufferSize];
    out.append(buffer, format(number, 16, buffer));
}

}  // namespace jsondoc::detail
