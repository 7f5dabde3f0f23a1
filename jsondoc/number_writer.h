#pragma once

// Numbers to text, as printf's %g writes them. Internal to the library.

#include <cmath>
#include <cstddef>
#include <string>

#include "jsondoc/decimal.h"
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

inline constexpr bool kNumberIsDouble = kIsDouble<Number>;

inline bool isFinite(const Number& number) {
    if constexpr (kNumberIsDouble) {
        return (doubleBits(number) >> 52 & 0x7FF) != 0x7FF;
    }
    return std::isfinite(number);
}

// Appends the number as printf's %g with precision 16 writes it.
void appendNumber(std::string& out, const Number& number, const GeneralFormat& format);

}  // namespace jsondoc::detail
