#pragma once

// The grammar of the lenient JSON text, written once over a byte source (byte_source.h). Internal to the library.

#include <iterator>
#include <memory>
#include <sstream>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "jsondoc/byte_source.h"
#include "jsondoc/jsondoc.h"
#include "jsondoc/number_reader.h"

namespace jsondoc::detail {

// Recursive-descent reader over a stream's buffer or over text in memory, one grammar for both. It keeps its own
// copy of the stream state and follows the state changes that the equivalent istream operations (get, peek,
// putback, ws, the number extraction) would make; finish() hands the state back to a stream.
template <typename Bytes>
class Parser {
  public:
    // The byte source is made in place from the arguments.
    template <typename... Source>
    explicit Parser(Source&&... source) : bytes_(std::forward<Source>(source)...), state_(bytes_.state()) {}
    void finish() { bytes_.finish(state_); }

    bool value(Value& value);
    bool object(Object& object);
    bool array(Array& array);

  private:
    class Level {
      public:
        explicit Level(unsigned& depth) : depth_(depth) { ++depth_; }
        ~Level() { --depth_; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

      private:
        unsigned& depth_;
    };

    bool good() const { return state_ == kGood; }
    void skipSpaces();
    int peek();
    void unread(std::size_t count);
    bool skipComment();
    // Mostly the expected byte comes next, which is taken in line.
    bool match(char expected) { return (good() && bytes_.takeNext(expected)) || matchAfterBlanks(expected); }
    bool matchAfterBlanks(char expected);
    int nextByte();
    bool closes(char closing);
    enum Follow { kMore, kClosed, kNeither };
    // Mostly a comma comes next, which is taken in line.
    Follow follow(char closing) { return good() && bytes_.takeNext(',') ? kMore : followAfterBlanks(closing); }
    Follow followAfterBlanks(char closing);
    bool match(std::string_view pattern);
    bool string(std::string_view& text);
    bool quoted(int delimiter, std::string_view& text);
    bool stringBody(int delimiter, String& text);
    bool escape(int delimiter, String& text);
    bool number(Number& result);
    bool readValue(Value& value);
    bool stringValue(int delimiter, Value& value);
    bool unquotedValue(Value& value);
    bool numberValue(Value& value);
    bool keyword(std::string_view word, Value& value, Value::Type type, bool truth);
    template <typename Container>
    bool containerValue(Value& value);
    bool contents(Object& object) { return this->object(object); }
    bool contents(Array& array) { return this->array(array); }
    bool members();
    bool elements();
    bool deeper();

    Bytes bytes_;
    // Strings with escapes, or from a stream, are read here and copied out at their exact size: growing a string by
    // doubling can leave half of its storage unused for the life of the document.
    String text_;
    // Elements of the arrays and members of the objects being read, innermost last.
    std::vector<Value> pending_;
    std::vector<PendingMember> pendingMembers_;
    // The keys of pendingMembers_ that are not held in the text (escaped ones, or all from a stream), end to end.
    String heldKeys_;
    // The orders that sorted the members of earlier objects, by their number (Object::Members::adopt).
    std::vector<std::uint8_t> memberOrders_;
    State state_;
    unsigned depth_ = 0;
};

inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A \u escape yields the low byte of whatever a hexadecimal int extraction makes of its four characters.
inline void appendEscapedByte(const char (&digits)[4], String& text) {
    int value = 0;
    for (char digit : digits) {
        const int v = hexDigit(digit);
        if (v < 0) {
            // Blanks, signs and "0x" have their own rules in the extraction; let it decide.
            std::istringstream input(std::string(digits, 4));
            int extracted = 0;
            input >> std::hex >> extracted;
            if (!input.fail()) {
                text.push_back(static_cast<char>(extracted & 0xFF));
            }
            return;
        }
        value = value * 16 + v;
    }
    text.push_back(static_cast<char>(value & 0xFF));
}

// As std::ws: blanks of the stream's locale; the end of input sets eofbit.
template <typename Bytes>
void Parser<Bytes>::skipSpaces() {
    if (!good()) {
        state_ |= kFailBit;
        return;
    }
    int c = bytes_.peek();
    const bool* const spaces = bytes_.spaces();
    while (c != kEof && spaces[byte(c)]) {
        c = bytes_.next();
    }
    if (c == kEof) {
        state_ |= kEofBit;
    }
}

template <typename Bytes>
int Parser<Bytes>::peek() {
    if (!good()) {
        state_ |= kFailBit;
        return kEof;
    }
    const int c = bytes_.peek();
    if (c == kEof) {
        state_ |= kEofBit;
    }
    return c;
}

template <typename Bytes>
void Parser<Bytes>::unread(std::size_t count) {
    for (; count > 0; --count) {
        if (!bytes_.unread()) {
            state_ |= kBadBit;
            return;
        }
    }
}

// Called with a slash next. Consumes a line comment up to its line end and the blanks after it.
template <typename Bytes>
bool Parser<Bytes>::skipComment() {
    bytes_.take();
    int c = bytes_.peek();
    if (c != '/') {
        unread(1);
        return false;
    }
    c = bytes_.next();
    while (c != kEof && c != '\n' && c != '\r') {
        c = bytes_.next();
    }
    while (c != kEof && kClassicSpaces.contains[byte(c)]) {
        c = bytes_.next();
    }
    if (c == kEof) {
        state_ |= kEofBit;
    }
    return true;
}

template <typename Bytes>
bool Parser<Bytes>::matchAfterBlanks(char expected) {
    // Where blanks are cheap to pass (text in memory), the byte is found at once.
    if (good() && bytes_.skipTo(expected)) {
        return true;
    }
    skipSpaces();
    while (good()) {
        const int c = bytes_.peek();
        if (c == Traits::to_int_type(expected)) {
            bytes_.take();
            return true;
        }
        if (c == kEof) {
            state_ |= kEofBit | kFailBit;
            return false;
        }
        if (c != '/' || !skipComment()) {
            return false;
        }
    }
    return false;
}

// The next byte after blanks where text in memory tells it with nothing else to note; kNotHere where the general
// way must decide (a stream, a comment, the end of the text, a failed state).
template <typename Bytes>
int Parser<Bytes>::nextByte() {
    if (!good()) {
        return kNotHere;
    }
    const int c = bytes_.skipBlanks();
    return c == '/' || c == kEof ? kNotHere : c;
}

// Consumes the closing byte when it comes next, as match(closing) does. Any other byte fails it untouched.
template <typename Bytes>
bool Parser<Bytes>::closes(char closing) {
    const int c = nextByte();
    if (c == kNotHere) {
        return match(closing);
    }
    if (c != byte(closing)) {
        return false;
    }
    bytes_.take();
    return true;
}

// After an element or a member, as match(',') and then match(closing) would take what comes.
template <typename Bytes>
typename Parser<Bytes>::Follow Parser<Bytes>::followAfterBlanks(char closing) {
    const int c = nextByte();
    if (c == kNotHere) {
        if (match(',')) {
            return kMore;
        }
        return match(closing) ? kClosed : kNeither;
    }
    if (c != ',' && c != byte(closing)) {
        return kNeither;
    }
    bytes_.take();
    return c == ',' ? kMore : kClosed;
}

// Consumes the whole pattern or, on a mismatch, puts back what it had matched. Comments may stand between the
// pattern's characters; characters matched before such a comment cannot be put back in their place, so that
// mismatch leaves the stream bad.
template <typename Bytes>
bool Parser<Bytes>::match(std::string_view pattern) {
    skipSpaces();
    std::size_t matched = 0;
    bool split = false;
    while (matched < pattern.size()) {
        if (!good()) {
            return false;
        }
        const int c = bytes_.peek();
        if (c == Traits::to_int_type(pattern[matched])) {
            bytes_.take();
            ++matched;
            continue;
        }
        if (c == kEof) {
            state_ |= kEofBit | kFailBit;
            break;
        }
        if (c != '/' || !skipComment()) {
            break;
        }
        split = split || matched > 0;
    }
    if (matched == pattern.size()) {
        return true;
    }
    if (split) {
        state_ |= kBadBit;
        return false;
    }
    state_ &= ~kEofBit;
    unread(matched);
    return false;
}

template <typename Bytes>
bool Parser<Bytes>::string(std::string_view& text) {
    if (match('"')) {
        return quoted('"', text);
    }
    if (peek() != '\'') {
        return false;
    }
    bytes_.take();
    return quoted('\'', text);
}

// The rest of a string after its opening delimiter: text in memory without escapes where it lies, the rest
// gathered in text_, which holds it until the next string is read.
template <typename Bytes>
bool Parser<Bytes>::quoted(int delimiter, std::string_view& text) {
    if (bytes_.plainString(delimiter, text)) {
        return true;
    }
    text_.clear();
    if (!stringBody(delimiter, text_)) {
        return false;
    }
    text = text_;
    return true;
}

template <typename Bytes>
bool Parser<Bytes>::stringBody(int delimiter, String& text) {
    for (;;) {
        bytes_.appendPlain(delimiter, text);
        const int c = bytes_.take();
        if (c == delimiter) {
            return true;
        }
        if (c == kEof || !escape(delimiter, text)) {
            break;
        }
    }
    state_ |= kEofBit | kFailBit;
    return false;
}

// After a backslash: false when the input ends inside the escape.
template <typename Bytes>
bool Parser<Bytes>::escape(int delimiter, String& text) {
    const int c = bytes_.take();
    switch (c) {
        case kEof:
            return false;
        case '/':
        case '\\':
            text.push_back(static_cast<char>(c));
            return true;
        case 'b':
            text.push_back('\b');
            return true;
        case 'f':
            text.push_back('\f');
            return true;
        case 'n':
            text.push_back('\n');
            return true;
        case 'r':
            text.push_back('\r');
            return true;
        case 't':
            text.push_back('\t');
            return true;
        case 'u': {
            char digits[4];
            for (char& digit : digits) {
                const int d = bytes_.take();
                if (d == kEof) {
                    return false;
                }
                digit = static_cast<char>(d);
            }
            appendEscapedByte(digits, text);
            return true;
        }
        default:
            if (c != delimiter) {
                text.push_back('\\');
            }
            text.push_back(static_cast<char>(c));
            return true;
    }
}

// A number in the classic locale: text in memory is read where it lies, and passed only when it converted; a
// stream's bytes are collected as they go by.
inline NumberRead readNumberAt(MemoryBytes& bytes, Number& result) {
    const std::string_view rest = bytes.rest();
    const std::size_t taken = readNumber(rest, result);
    bytes.skip(taken);
    return {taken != 0, taken == rest.size(), 0};
}
inline NumberRead readNumberAt(StreamBytes& bytes, Number& result) {
    return collectNumber(bytes, result);
}

// A failed read clears the state and steps back to where it started, as the extraction with a seek back would.
template <typename Bytes>
bool Parser<Bytes>::number(Number& result) {
    if (!bytes_.classic()) {
        return bytes_.extract(state_, result);
    }
    const NumberRead read = readNumberAt(bytes_, result);
    if (read.converted) {
        if (read.atEnd) {
            state_ |= kEofBit;
        }
        return true;
    }
    state_ = kGood;
    unread(read.consumed);
    return false;
}

template <typename Bytes>
bool Parser<Bytes>::value(Value& value) {
    value.release();
    value.type_ = Value::INVALID_TYPE;
    if (readValue(value)) {
        return true;
    }
    if (!good()) {
        state_ |= kFailBit;
    }
    return false;
}

template <typename Bytes>
inline bool Parser<Bytes>::readValue(Value& value) {
    // Where blanks are cheap to pass (text in memory), the next byte sends strings and numbers straight to their
    // reading; a number that fails there fails every other alternative too. A stream takes the general way.
    const int c = good() ? bytes_.skipBlanks() : kEof;
    if (c == '"') {
        bytes_.take();
        return stringValue('"', value);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
        return numberValue(value);
    }
    if (c != kNotHere && c != kEof && c != '/') {
        // Nothing stands between here and the next token: no comment to pass, no end to note.
        if (c != '\'') {
            return unquotedValue(value);
        }
        bytes_.take();
        return stringValue('\'', value);
    }
    int delimiter = '"';
    if (!match('"')) {
        if (peek() != '\'') {
            return unquotedValue(value);
        }
        bytes_.take();
        delimiter = '\'';
    }
    return stringValue(delimiter, value);
}

template <typename Bytes>
bool Parser<Bytes>::stringValue(int delimiter, Value& value) {
    std::string_view text;
    if (!quoted(delimiter, text)) {
        return false;
    }
    value.own(new String(text));
    value.type_ = Value::STRING_TYPE;
    return true;
}

// The alternatives after a string are tried in turn: number, true, false, null, an empty value before a comma,
// an array and an object. In the classic locale each starts with a character of its own, so the next character
// picks the one that can succeed; the others would fail without consuming anything. Another locale may read a
// number from other characters (its decimal point may be the comma), so there the number is tried first.
template <typename Bytes>
bool Parser<Bytes>::unquotedValue(Value& value) {
    if (!good()) {
        return false;
    }
    skipSpaces();
    if (!bytes_.classic() && numberValue(value)) {
        return true;
    }
    const int c = peek();
    switch (c) {
        case '+':
        case '-':
        case '.':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            return bytes_.classic() && numberValue(value);
        case 't':
            return keyword("true", value, Value::BOOLEAN_TYPE, true);
        case 'f':
            return keyword("false", value, Value::BOOLEAN_TYPE, false);
        case 'n':
            return keyword("null", value, Value::NULL_TYPE, false);
        case ',':
            value.type_ = Value::NULL_TYPE;
            return true;
        case '[':
            // A failed array is retried as an object from wherever the array stopped.
            return containerValue<Array>(value) || containerValue<Object>(value);
        case '{':
            return containerValue<Object>(value);
        default:
            return false;
    }
}

template <typename Bytes>
inline bool Parser<Bytes>::numberValue(Value& value) {
    Number number = 0;
    if (!this->number(number)) {
        return false;
    }
    value.payload_.number = number;
    value.type_ = Value::NUMBER_TYPE;
    return true;
}

template <typename Bytes>
bool Parser<Bytes>::keyword(std::string_view word, Value& value, Value::Type type, bool truth) {
    // Text in memory holds the word mostly whole, with nothing in between.
    if (!bytes_.skipWord(word) && !match(word)) {
        return false;
    }
    value.type_ = type;
    value.payload_.boolean = truth;
    return true;
}

template <typename Bytes>
template <typename Container>
bool Parser<Bytes>::containerValue(Value& value) {
    auto container = std::make_unique<Container>();
    if (!contents(*container)) {
        return false;
    }
    value.own(container.release());
    value.type_ = Kind<Container>::tag;
    return true;
}

// Past the deepest level the parse fails for good: the failed state stops every step still to come.
template <typename Bytes>
bool Parser<Bytes>::deeper() {
    if (depth_ < maxNestingDepth) {
        return true;
    }
    state_ |= kFailBit;
    return false;
}

template <typename Bytes>
bool Parser<Bytes>::object(Object& object) {
    object.reset();
    if (!deeper()) {
        return false;
    }
    Level level(depth_);
    if (!match('{')) {
        return false;
    }
    if (closes('}')) {
        return true;
    }
    // The members gather on the parser's stack in the order of the text and are ordered once, when the object
    // ends, whether it ends well or not.
    const std::size_t base = pendingMembers_.size();
    const std::size_t heldBase = heldKeys_.size();
    const auto take = [&] {
        const auto first = pendingMembers_.begin() + static_cast<std::ptrdiff_t>(base);
        object.members_.adopt(pendingMembers_.data() + base, pendingMembers_.data() + pendingMembers_.size(), heldKeys_,
                              memberOrders_);
        pendingMembers_.erase(first, pendingMembers_.end());
        heldKeys_.resize(heldBase);
    };
    bool closed = false;
    try {
        closed = members();
    } catch (...) {
        take();  // a read error keeps what was read before it
        throw;
    }
    take();
    return closed;
}

template <typename Bytes>
bool Parser<Bytes>::members() {
    for (;;) {
        std::string_view keyText;
        if (!string(keyText)) {
            return peek() == '}' && match('}');  // a comma before the closing brace
        }
        if (!match(':')) {
            return false;
        }
        // The key waits as it is read, made into a string only in its object; the value joins it when it is whole.
        // Members of deeper objects come and go behind it meanwhile.
        std::size_t heldAt = 0;
        if (keyText.data() == text_.data()) {
            // Read into text_, which the next string overwrites.
            heldAt = heldKeys_.size() + 1;
            heldKeys_.append(keyText);
        }
        pendingMembers_.emplace_back(keyText, heldAt);
        const std::size_t slot = pendingMembers_.size() - 1;
        Value value;
        bool read = false;
        try {
            read = this->value(value);
        } catch (...) {
            pendingMembers_.pop_back();
            throw;
        }
        if (!read) {
            pendingMembers_.pop_back();
            return match('}');  // the member is dropped; a closing brace may still end the object
        }
        pendingMembers_[slot].value.swap(value);
        if (const Follow after = follow('}'); after != kMore) {
            return after == kClosed;
        }
    }
}

template <typename Bytes>
bool Parser<Bytes>::array(Array& array) {
    array.reset();
    if (!deeper()) {
        return false;
    }
    Level level(depth_);
    if (!match('[')) {
        return false;
    }
    if (closes(']')) {
        return true;
    }
    // The elements gather on the parser's stack and move into storage of their exact number at the end, whether
    // the array ends well or not: no growth by doubling, no storage left unused for the life of the document.
    const std::size_t base = pending_.size();
    const auto take = [&] {
        const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(base);
        array.elements_.assign(std::make_move_iterator(first), std::make_move_iterator(pending_.end()));
        pending_.erase(first, pending_.end());
    };
    bool closed = false;
    try {
        closed = elements();
    } catch (...) {
        take();  // a read error keeps what was read before it, as in an object
        throw;
    }
    take();
    return closed;
}

template <typename Bytes>
bool Parser<Bytes>::elements() {
    for (;;) {
        Value element;
        if (!value(element)) {
            return match(']');  // also a comma before the closing bracket
        }
        pending_.push_back(std::move(element));
        if (const Follow after = follow(']'); after != kMore) {
            return after == kClosed;
        }
    }
}

}  // namespace jsondoc::detail
