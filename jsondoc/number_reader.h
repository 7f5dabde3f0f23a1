#pragma once

// Numbers read as the standard long double extraction in the classic locale reads them. Internal to the library.

#include <cstddef>
#include <string>

#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

// The usual number, read in one pass where it lies (in text in memory, or as a stream's number was collected):
// sign, digits, fraction, exponent. Gives the end of the number when its value is exact in one operation, else
// null, and the general reading decides. It stops where the general reading stops.
const char* scanExactNumber(const char* p, const char* end, Number& result);

// Converts text that the one-pass reading does not take as exact with strtold, which rounds correctly too; a
// magnitude that rounds to infinity fails.
bool convertGeneralNumber(const char* text, std::size_t size, Number& result);

// Converts the text of a number as the extraction does: the whole text must convert.
inline bool convertNumber(const char* text, std::size_t size, Number& result) {
    return scanExactNumber(text, text + size, result) == text + size || convertGeneralNumber(text, size, result);
}

// The characters of a number as the standard extraction collects them from a stream; short ones stay off the heap.
class NumberText {
  public:
    void push(char c) {
        if (size_ < sizeof(inline_) - 1) {
            inline_[size_++] = c;
            return;
        }
        if (size_ == sizeof(inline_) - 1) {
            long_.assign(inline_, size_);
        }
        long_.push_back(c);
        ++size_;
    }
    bool convert(std::size_t /*consumed*/, Number& result) { return convertNumber(c_str(), size_, result); }

  private:
    const char* c_str() {
        if (size_ < sizeof(inline_)) {
            inline_[size_] = '\0';
            return inline_;
        }
        return long_.c_str();
    }

    char inline_[48];
    std::size_t size_ = 0;
    std::string long_;
};

// Text in memory needs no collecting: what was consumed converts where it lies.
class NumberInPlace {
  public:
    explicit NumberInPlace(const char* start) : start_(start) {}
    void push(char) {}
    bool convert(std::size_t consumed, Number& result) { return convertNumber(start_, consumed, result); }

  private:
    const char* start_;
};

// What a number read did: whether the number converted, whether the input ended, and how many bytes it consumed,
// for the caller to step back over after a failure.
struct NumberRead {
    bool converted;
    bool atEnd;
    std::size_t consumed;
};

// The general reading, character by character as the extraction goes: an optional sign, digits with at most one
// point, an exponent only after a digit. What it collected converts as a whole or the read fails.
template <typename Bytes>
NumberRead readCollectedNumber(Bytes& bytes, Number& result) {
    std::size_t consumed = 0;
    auto text = bytes.numberText();
    int c = bytes.peek();
    bool atEnd = c == std::char_traits<char>::eof();
    auto advance = [&] {
        ++consumed;
        c = bytes.next();
        atEnd = c == std::char_traits<char>::eof();
    };
    if (!atEnd && (c == '+' || c == '-')) {
        text.push(static_cast<char>(c));
        advance();
    }
    bool mantissa = false;
    while (!atEnd && c == '0') {
        if (!mantissa) {
            text.push('0');
            mantissa = true;
        }
        advance();
    }
    bool point = false;
    bool exponent = false;
    while (!atEnd) {
        if (c >= '0' && c <= '9') {
            text.push(static_cast<char>(c));
            mantissa = true;
        } else if (c == '.' && !point && !exponent) {
            text.push('.');
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
            text.push('e');
            exponent = true;
            advance();
            if (atEnd) {
                break;
            }
            if (c != '+' && c != '-') {
                continue;
            }
            text.push(static_cast<char>(c));
        } else {
            break;
        }
        advance();
    }
    return {text.convert(consumed, result), atEnd, consumed};
}

// A number at the next byte, in the classic locale: the byte source's in-place reading of the usual number, which
// hands anything else to the general reading.
template <typename Bytes>
NumberRead readNumber(Bytes& bytes, Number& result) {
    if (bytes.exactNumber(result)) {
        return {true, bytes.peek() == std::char_traits<char>::eof(), 0};
    }
    return readCollectedNumber(bytes, result);
}

}  // namespace jsondoc::detail
