#pragma once

// Numbers to text, as printf's %g writes them. Internal to the library.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

// Writes numbers into a buffer as printf's %g with the given precision (1 to maxGeneralPrecision) writes them, in
// the classic locale, and returns the length; the buffer needs room for generalBufferSize bytes. printf follows the
// floating-point rounding mode, which the formatter reads once when it is made: one formatter serves one writing.
inline constexpr int maxGeneralPrecision = 40;
inline constexpr std::size_t generalBufferSize = 96;
class GeneralFormat {
  public:
    GeneralFormat();
    std::size_t operator()(const Number& number, int precision, char* buffer) const;

  private:
    bool toNearest_;
};

// Whether the type is the 64-bit double, whose bits the writer reads instead of computing with it: the emulator that
// runs the unit's code in the benchmarks makes each floating-point instruction a call.
inline constexpr bool kNumberIsDouble =
    std::numeric_limits<Number>::is_iec559 && sizeof(Number) == sizeof(std::uint64_t);

inline std::uint64_t bitsOf(const Number& number) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}

inline bool isFinite(const Number& number) {
    if constexpr (kNumberIsDouble) {
        return (bitsOf(number) >> 52 & 0x7FF) != 0x7FF;
    }
    return std::isfinite(number);
}

// Appends the number as printf's %g with precision 16 writes it.
void appendNumber(std::string& out, const Number& number, const GeneralFormat& format);

}  // namespace jsondoc::detail
