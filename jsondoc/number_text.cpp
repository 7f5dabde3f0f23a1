#include <locale.h>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "jsondoc/text.h"

namespace jsondoc::detail {
namespace {

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

std::size_t formatByLibrary(const Number& number, int precision, char* buffer) {
    const auto result =
        std::to_chars(buffer, buffer + generalBufferSize, number, std::chars_format::general, precision);
    return static_cast<std::size_t>(result.ptr - buffer);
}

// std::to_chars rounds to nearest whatever the rounding mode; printf, and the stream through it, follow the mode.
// The classic locale's point is put in for the time of the call only, as the stream does.
std::size_t formatByPrintf(const Number& number, int precision, char* buffer) {
    static const locale_t classic = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
    const locale_t previous = uselocale(classic);
    const int size = std::snprintf(buffer, generalBufferSize, "%.*Lg", precision, static_cast<long double>(number));
    uselocale(previous);
    return size < 0 ? 0 : static_cast<std::size_t>(size);
}

}  // namespace

GeneralFormat::GeneralFormat() : toNearest_(std::fegetround() == FE_TONEAREST) {}

std::size_t GeneralFormat::operator()(const Number& number, int precision, char* buffer) const {
    if (const std::size_t size = formatIntegral(number, precision, buffer)) {
        return size;
    }
    return toNearest_ ? formatByLibrary(number, precision, buffer) : formatByPrintf(number, precision, buffer);
}

void appendNumber(std::string& out, const Number& number, const GeneralFormat& format) {
    char buffer[generalBufferSize];
    out.append(buffer, format(number, 16, buffer));
}

}  // namespace jsondoc::detail
