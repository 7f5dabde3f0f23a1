#pragma once

// The arithmetic that reading and writing numbers share: the powers of ten, the 64x64 product, a wide unsigned
// integer, the digit pairs and the C locale. 32-bit ARM has no 64-bit division in hardware and no 128-bit type, so
// everything here is made of 32-bit pieces. Internal to the library.

#include <locale.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace jsondoc::detail {

// Whether Float is laid out as the 64-bit IEEE double, whose bits the number code reads instead of computing with
// it: the emulator that runs the unit's code in the benchmarks makes each floating-point instruction a call.
template <typename Float>
inline constexpr bool kIsDouble = std::numeric_limits<Float>::is_iec559&& std::numeric_limits<Float>::digits == 53 &&
                                  sizeof(Float) == sizeof(std::uint64_t);

// The bits of a Float laid out as a double, and back. Only branches that kIsDouble chooses run them; the others
// still compile them.
template <typename Float>
std::uint64_t doubleBits(const Float& x) {
    static_assert(sizeof(Float) >= sizeof(std::uint64_t));
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}
template <typename Float>
Float fromDoubleBits(std::uint64_t bits) {
    static_assert(sizeof(Float) >= sizeof(std::uint64_t));
    Float x = 0;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// 10^0 to 10^19, the powers in 64 bits, and the reciprocals that divide by them.
struct PowersOfTen {
    std::uint64_t value[20];
    std::uint64_t reciprocal[20];  // floor(2^64 / 10^t), but 2^64 - 1 for t = 0
};
constexpr PowersOfTen makePowersOfTen() {
    PowersOfTen powers{};
    std::uint64_t p = 1;
    for (int t = 0; t < 20; ++t) {
        powers.value[t] = p;
        powers.reciprocal[t] = UINT64_MAX / p;
        p *= 10;
    }
    return powers;
}
inline constexpr PowersOfTen kPowersOfTen = makePowersOfTen();

// The full product of two 64-bit words, from four 32-bit ones.
struct Product {
    std::uint64_t high, low;
};
inline Product multiply(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {a1 * b1 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

// value / 10^t (t <= 19), the remainder left in remainder. The reciprocal's product is the quotient or one less.
// Inlined into the writer's number path it takes registers that path needs (3 % more instructions on 32-bit ARM).
[[gnu::noinline]] inline std::uint64_t divideByPowerOfTen(std::uint64_t value, int t, std::uint64_t& remainder) {
    const std::uint64_t divisor = kPowersOfTen.value[t];
    std::uint64_t quotient = multiply(value, kPowersOfTen.reciprocal[t]).high;
    remainder = value - quotient * divisor;
    if (remainder >= divisor) {
        ++quotient;
        remainder -= divisor;
    }
    return quotient;
}

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

// The powers of ten that Float holds exactly. Past 10^19 they are products of two exact powers, which the type
// holds exactly as well.
template <typename Float>
struct FloatPowersOfTen {
    constexpr FloatPowersOfTen() : value{} {
        for (int k = 0; k <= maxExactPowerOfTen<Float>(); ++k) {
            value[k] = k <= 19 ? static_cast<Float>(kPowersOfTen.value[k])
                               : static_cast<Float>(kPowersOfTen.value[19]) * kPowersOfTen.value[k - 19];
        }
    }
    Float value[maxExactPowerOfTen<Float>() + 1];
};
template <typename Float>
inline constexpr FloatPowersOfTen<Float> kFloatPowersOfTen{};

// An unsigned integer of Limbs 32-bit limbs, lowest first, with what comparing scaled decimals needs. The caller
// sizes it: a carry past the last limb is lost.
template <int Limbs>
class WideUnsigned {
    static_assert(Limbs >= 3, "room for a 66-bit midpoint");

  public:
    // (base << shift) | low, where shift <= 2 and low < 2^shift.
    explicit WideUnsigned(std::uint64_t base, int shift = 0, std::uint32_t low = 0) : limb_{} {
        const std::uint64_t bottom = (base & 0xFFFFFFFF) << shift;
        const std::uint64_t top = (base >> 32 << shift) + (bottom >> 32);
        limb_[0] = static_cast<std::uint32_t>(bottom) | low;
        limb_[1] = static_cast<std::uint32_t>(top);
        limb_[2] = static_cast<std::uint32_t>(top >> 32);
        used_ = 3;
        while (used_ > 0 && limb_[used_ - 1] == 0) {
            --used_;
        }
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

    // The 64 bits from bit position on; position is below the room of the limbs.
    std::uint64_t bitsFrom(int position) const {
        const int index = position / 32, offset = position % 32;
        const std::uint64_t bits = std::uint64_t{limbAt(index + 1)} << 32 | limbAt(index);
        return offset == 0 ? bits : bits >> offset | std::uint64_t{limbAt(index + 2)} << (64 - offset);
    }

    // Whether any bit below bit position is set.
    bool anyBelow(int position) const {
        const int index = position / 32, offset = position % 32;
        for (int i = 0; i < index && i < used_; ++i) {
            if (limb_[i] != 0) {
                return true;
            }
        }
        return offset != 0 && (limbAt(index) & ((std::uint32_t{1} << offset) - 1)) != 0;
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
    std::uint32_t limbAt(int index) const { return index < used_ ? limb_[index] : 0; }

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

    std::uint32_t limb_[Limbs];
    int used_;
};

// "00" to "99".
struct DigitPairs {
    char text[200];
};
constexpr DigitPairs makeDigitPairs() {
    DigitPairs pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs.text[2 * i] = static_cast<char>('0' + i / 10);
        pairs.text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}
inline constexpr DigitPairs kDigitPairs = makeDigitPairs();

// The C locale, for the C library's conversions in both directions whatever locale the program has set.
inline locale_t classicCLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

}  // namespace jsondoc::detail
