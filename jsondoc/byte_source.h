#pragma once

// The bytes the parser reads: a stream's buffer, or text in memory read as a string stream over it would be read.
// Both offer the same steps; the shortcuts that only text in memory allows are members of both, and a stream
// answers them "not here". Internal to the library.

#include <cstdint>
#include <cstring>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

#include "jsondoc/jsondoc.h"
#include "jsondoc/words.h"

namespace jsondoc::detail {

using Traits = std::char_traits<char>;
using State = std::ios_base::iostate;
inline constexpr int kEof = Traits::eof();
// The answer of a shortcut that the byte source does not offer; no byte has this value.
inline constexpr int kNotHere = kEof - 1;
inline constexpr State kGood = std::ios_base::goodbit;
inline constexpr State kEofBit = std::ios_base::eofbit;
inline constexpr State kFailBit = std::ios_base::failbit;
inline constexpr State kBadBit = std::ios_base::badbit;

struct ByteSet {
    bool contains[256];
};

// Space, tab, line feed, vertical tab, form feed, carriage return.
constexpr ByteSet makeClassicSpaces() {
    ByteSet set{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        set.contains[static_cast<unsigned char>(c)] = true;
    }
    return set;
}
inline constexpr ByteSet kClassicSpaces = makeClassicSpaces();

inline unsigned char byte(int c) {
    return static_cast<unsigned char>(c);
}

// The bytes of a stream, taken straight from its buffer. A read error of the buffer escapes as an exception, which
// the entry points turn into a failed parse. It stays where it was made: spaces() may point into it.
class StreamBytes {
  public:
    explicit StreamBytes(std::istream& input);
    StreamBytes(const StreamBytes&) = delete;
    StreamBytes& operator=(const StreamBytes&) = delete;

    // The stream's state when the parse starts, and the parse's state handed back when it ends.
    State state() const { return buffer_ == nullptr ? input_->rdstate() | kBadBit : input_->rdstate(); }
    void finish(State state) { input_->clear(state); }
    // The blanks of the stream's locale, and whether that is the classic one.
    const bool* spaces() const { return spaces_; }
    bool classic() const { return classic_; }

    int peek() { return buffer_->sgetc(); }
    int next() { return buffer_->snextc(); }
    int take() { return buffer_->sbumpc(); }
    bool unread() { return buffer_->sungetc() != kEof; }
    // Appends the bytes before the next delimiter, backslash or end of input, leaving that one unread.
    void appendPlain(int delimiter, String& text) {
        char run[64];
        std::size_t size = 0;
        for (int c = buffer_->sgetc(); c != kEof && c != delimiter && c != '\\'; c = buffer_->snextc()) {
            if (size == sizeof run) {
                text.append(run, size);
                size = 0;
            }
            run[size++] = static_cast<char>(c);
        }
        text.append(run, size);
    }
    // Lets the stream extract a value itself, in its own locale, from the state the parse has; a failed
    // extraction steps back to where it started.
    template <typename T>
    bool extract(State& state, T& result) {
        const auto start = buffer_->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        input_->clear(state);
        T extracted{};
        *input_ >> extracted;
        if (!input_->fail()) {
            state = input_->rdstate();
            result = extracted;
            return true;
        }
        input_->clear();
        const auto failed = std::streambuf::pos_type(std::streambuf::off_type(-1));
        state = start != failed && buffer_->pubseekpos(start, std::ios_base::in) != failed ? kGood : kFailBit;
        return false;
    }

    // The shortcuts of text in memory: not here.
    bool takeNext(char) { return false; }
    bool skipTo(char) { return false; }
    bool skipWord(std::string_view) { return false; }
    bool plainString(int, std::string_view&) { return false; }
    int skipBlanks() { return kNotHere; }

  private:
    std::istream* input_;
    std::streambuf* buffer_;
    bool classic_;
    const bool* spaces_;
    ByteSet localSpaces_;
};

// Text in memory, read as a string stream over it would read it: put-back reaches back to the start of the text.
// It reads in the classic locale only.
class MemoryBytes {
  public:
    MemoryBytes(std::string_view text, std::size_t start)
        : begin_(text.data()), at_(begin_ + start), end_(begin_ + text.size()) {}

    State state() const { return kGood; }
    void finish(State) {}
    const bool* spaces() const { return kClassicSpaces.contains; }
    bool classic() const { return true; }

    int peek() const { return at_ == end_ ? kEof : byte(*at_); }
    int next() {
        if (at_ == end_) {
            return kEof;
        }
        ++at_;
        return peek();
    }
    int take() { return at_ == end_ ? kEof : byte(*at_++); }
    bool unread() {
        if (at_ == begin_) {
            return false;
        }
        --at_;
        return true;
    }
    void appendPlain(int delimiter, String& text) {
        const char* p = plainEnd(delimiter);
        text.append(at_, p);
        at_ = p;
    }
    // What is left of the text, and a step over the part of it that was read there.
    std::string_view rest() const { return std::string_view(at_, static_cast<std::size_t>(end_ - at_)); }
    void skip(std::size_t count) { at_ += count; }
    // Text in memory is read in the classic locale only.
    template <typename T>
    bool extract(State&, T&) {
        return false;
    }

    // Consumes the expected byte when it comes next, or after one space as in compact text.
    bool takeNext(char expected) {
        const char* p = at_;
        if (p != end_ && *p == ' ') {
            ++p;
        }
        if (p == end_ || *p != expected) {
            return false;
        }
        at_ = p + 1;
        return true;
    }
    // Consumes blanks, and the expected byte when it comes next.
    bool skipTo(char expected) {
        at_ = blanksEnd();
        if (at_ == end_ || *at_ != expected) {
            return false;
        }
        ++at_;
        return true;
    }
    // Consumes the word when it comes next.
    bool skipWord(std::string_view word) {
        if (static_cast<std::size_t>(end_ - at_) < word.size()) {
            return false;
        }
        // Four or five bytes: a call to compare them costs more.
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (at_[i] != word[i]) {
                return false;
            }
        }
        at_ += word.size();
        return true;
    }
    // A string without escapes that ends in this text: its bytes, and the closing delimiter consumed.
    bool plainString(int delimiter, std::string_view& text) {
        const char* p = plainEnd(delimiter);
        if (p == end_ || *p == '\\') {
            return false;
        }
        text = std::string_view(at_, static_cast<std::size_t>(p - at_));
        at_ = p + 1;
        return true;
    }
    // Consumes blanks; the next byte, left unread.
    int skipBlanks() {
        at_ = blanksEnd();
        return peek();
    }

  private:
    static constexpr std::ptrdiff_t kWordSize = sizeof(words::Word);

    // Where the bytes before the next delimiter, backslash or end of the text end.
    const char* plainEnd(int delimiter) const {
        const char* p = at_;
        // A word at a time while it holds neither. Both are below 0x80, so that a byte's high bit in either
        // difference less one stands for a match there once the bytes at or above 0x80 are masked out: one mask
        // serves both tests.
        const words::Word delimiters = words::repeated(byte(delimiter));
        const words::Word backslashes = words::repeated('\\');
        if (end_ - p >= kWordSize) {
            for (const char* const last = end_ - kWordSize; p <= last; p += kWordSize) {
                const words::Word word = words::at(p);
                const words::Word tests = words::borrows(word ^ delimiters, 1) | words::borrows(word ^ backslashes, 1);
                if (words::marked(tests, word) != 0) {
                    break;
                }
            }
        }
        while (p != end_ && byte(*p) != delimiter && *p != '\\') {
            ++p;
        }
        return p;
    }
    const char* blanksEnd() const {
        // Between tokens there is mostly one blank or none; indentation is runs of spaces, passed a word at a time.
        constexpr words::Word kSpaces = words::repeated(' ');
        const char* p = at_;
        while (p != end_ && kClassicSpaces.contains[byte(*p)]) {
            ++p;
            if (end_ - p < kWordSize || *p != ' ') {
                continue;
            }
            while (end_ - p >= kWordSize && words::at(p) == kSpaces) {
                p += kWordSize;
            }
            // Less than a word of spaces is left before the next byte of another kind.
            while (p != end_ && *p == ' ') {
                ++p;
            }
        }
        return p;
    }

    const char* const begin_;
    const char* at_;
    const char* const end_;
};

}  // namespace jsondoc::detail
