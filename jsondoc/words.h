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

// Each byte of x less n, the borrows running upward: a byte's high bit comes out set where the byte is below n (n at
// most 0x80), and may for a byte above one that is. Several tests on bytes that share their high bit with the word's
// (the word itself, or it xor-ed with a byte below 0x80) are or-ed, and marked() once.
constexpr Word borrows(Word x, unsigned char n) {
    return x - repeated(n);
}

// The bytes of word that the or-ed borrows of its tests mark, by their high bit; bytes at or above 0x80 never are.
// The lowest mark is exact, those above it may be false, and every byte a test finds is marked.
constexpr Word marked(Word tests, Word word) {
    return tests & ~word & repeated(0x80);
}

}  // namespace jsondoc::detail::words
