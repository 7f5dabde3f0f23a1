#pragma once

// Text looked at a machine word at a time, by the parser's scans and the writer's escaping: on a 32-bit core a
// 64-bit word would take two instructions for every step.

#include <cstdint>
#include <cstring>

namespace jsondoc::detail::words {

using Word = std::uintptr_t;
inline constexpr Word kOnes = ~Word(0) / 0xFF;

// The word of text at p, which need not be aligned.
inline Word at(const char* p) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Every byte of the word equal to b.
constexpr Word repeated(unsigned char b) {
    return b * kOnes;
}

// Nonzero when some byte of x is below n (n at most 0x80), never zero when one is: its high bit is set, and so may
// be those of bytes above it. Masks of several tests are or-ed and tested once.
constexpr Word below(Word x, unsigned char n) {
    return (x - n * kOnes) & ~x & (kOnes * 0x80);
}

}  // namespace jsondoc::detail::words
