#include <stdlib.h>  // strtold_l

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <istream>
#include <iterator>
#include <limits>
#include <locale>
#include <memory>
#include <sstream>
#include <type_traits>
#include <vector>

#include "jsondoc/jsondoc.h"
#include "jsondoc/text.h"

namespace jsondoc {
namespace detail {
namespace {

using Traits = std::char_traits<char>;
using State = std::ios_base::iostate;
constexpr int kEof = Traits::eof();
constexpr State kGood = std::ios_base::goodbit;
constexpr State kEofBit = std::ios_base::eofbit;
constexpr State kFailBit = std::ios_base::failbit;
constexpr State kBadBit = std::ios_base::badbit;

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
constexpr ByteSet kClassicSpaces = makeClassicSpaces();

inline unsigned char byte(int c) {
    return static_cast<unsigned char>(c);
}

int hexDigit(char c) {
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
void appendEscapedByte(const char (&digits)[4], String& text) {
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

// ---- numbers ----

// The characters of a number as the standard extraction collects them; short ones stay off the heap.
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
    const char* c_str() {
        if (size_ < sizeof(inline_)) {
            inline_[size_] = '\0';
            return inline_;
        }
        return long_.c_str();
    }
    std::size_t size() const { return size_; }

  private:
    char inline_[48];
    std::size_t size_ = 0;
    std::string long_;
};

struct NoText {
    void push(char) {}
};

constexpr int kMantissaBits = std::numeric_limits<Number>::digits;
constexpr std::uint64_t kMaxExactMantissa = kMantissaBits >= 64 ? UINT64_MAX : (std::uint64_t{1} << kMantissaBits) - 1;

// 10^k is exact when 5^k fits in the mantissa; the factor 2^k only moves the exponent.
constexpr int maxExactPowerOfTen() {
    std::uint64_t five = 1;
    int k = 0;
    while (five <= kMaxExactMantissa / 5) {
        five *= 5;
        ++k;
    }
    return k;
}
constexpr int kMaxExactPower = maxExactPowerOfTen();

struct PowersOfTen {
    Number value[kMaxExactPower + 1];
};
constexpr PowersOfTen makePowersOfTen() {
    PowersOfTen powers{};
    Number p = 1;
    for (int i = 0; i <= kMaxExactPower; ++i) {
        powers.value[i] = p;
        p *= 10;
    }
    return powers;
}
constexpr PowersOfTen kPowersOfTen = makePowersOfTen();

locale_t classicCLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// Whether the value is exact in one operation on a mantissa and a power of ten that the type holds exactly: then
// that operation gives the correctly rounded result.
bool exactValue(bool negative, std::uint64_t mantissa, long exponent, Number& result) {
    if (mantissa == 0) {
        result = negative ? -Number(0) : Number(0);
        return true;
    }
    if (mantissa > kMaxExactMantissa || exponent < -kMaxExactPower || exponent > kMaxExactPower) {
        return false;
    }
    // The sign goes on first: the one rounding operation then rounds the signed value, in whatever direction the
    // floating-point rounding mode asks for, as the library's conversion does.
    const Number exactMantissa = static_cast<Number>(mantissa);
    Number value = negative ? -exactMantissa : exactMantissa;
    if (exponent > 0) {
        value *= kPowersOfTen.value[exponent];
    } else if (exponent < 0) {
        value /= kPowersOfTen.value[-exponent];
    }
    result = value;
    return true;
}

inline bool isDigit(char c) {
    return static_cast<unsigned char>(c - '0') <= 9;
}

constexpr std::uint64_t kNotDigits = ~std::uint64_t{0};

// The value of eight decimal digits, or kNotDigits when any of the eight bytes is not one.
inline std::uint64_t eightDigits(const char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    // The arithmetic below takes the first byte as the lowest; elsewhere the digits go one at a time.
    static_cast<void>(p);
    return kNotDigits;
#endif
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    if (((word & 0xF0F0F0F0F0F0F0F0) | (((word + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) !=
        0x3333333333333333) {
        return kNotDigits;
    }
    // The first byte is the leading digit: pairs, then fours, then the eight, each step one multiply.
    word -= 0x3030303030303030;
    word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FF;
    word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFF;
    return (word * 10000 + (word >> 32)) & 0xFFFFFFFF;
}

// The usual number, read in one pass where it lies (in text in memory, or as a stream's number was collected):
// sign, digits, fraction, exponent. Gives the end of the number when its value is exact in one operation, else
// null, and the general reading decides. It stops where the general reading stops.
const char* scanExactNumber(const char* p, const char* const end, Number& result) {
    bool negative = false;
    if (p != end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t mantissa = 0;
    int significant = 0;
    long exponent = 0;
    bool anyDigit = false;
    auto digits = [&](long step) {
        // Eight digits at a time while the mantissa has begun and has room for them.
        std::uint64_t eight = 0;
        while (mantissa != 0 && significant <= 11 && end - p >= 8 && (eight = eightDigits(p)) != kNotDigits) {
            mantissa = mantissa * 100000000 + eight;
            significant += 8;
            exponent -= 8 * step;
            p += 8;
        }
        for (; p != end && isDigit(*p); ++p) {
            anyDigit = true;
            const auto digit = static_cast<std::uint64_t>(*p - '0');
            if (mantissa == 0 && digit == 0) {
                exponent -= step;
                continue;
            }
            if (significant == 19) {
                return false;
            }
            mantissa = mantissa * 10 + digit;
            ++significant;
            exponent -= step;
        }
        return true;
    };
    if (!digits(0)) {
        return nullptr;
    }
    if (p != end && *p == '.') {
        ++p;
        if (!digits(1)) {
            return nullptr;
        }
    }
    if (!anyDigit) {
        return nullptr;
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        if (p == end || !isDigit(*p)) {
            return nullptr;
        }
        long written = 0;
        for (; p != end && isDigit(*p); ++p) {
            written = written < 100000 ? written * 10 + (*p - '0') : written;
        }
        exponent += negativeExponent ? -written : written;
    }
    return exactValue(negative, mantissa, exponent, result) ? p : nullptr;
}

// Converts the text of a number as the extraction does: the whole text must convert, and a magnitude that rounds
// to infinity fails. What the one-pass reading takes as exact comes from there; everything else goes to strtold,
// which rounds correctly too.
bool convertNumber(const char* text, std::size_t size, Number& result) {
    if (scanExactNumber(text, text + size, result) == text + size) {
        return true;
    }
    // Text in memory is converted where it lies, so the library's conversion gets a terminated copy.
    const std::string copy(text, size);
    const int savedErrno = errno;
    char* stop = nullptr;
    const Number value = strtold_l(copy.c_str(), &stop, classicCLocale());
    errno = savedErrno;
    if (stop != copy.c_str() + size || value == std::numeric_limits<Number>::infinity() ||
        value == -std::numeric_limits<Number>::infinity()) {
        return false;
    }
    result = value;
    return true;
}

}  // namespace

// The bytes of a stream, taken straight from its buffer. A read error of the buffer escapes as an exception, which
// the entry points turn into a failed parse.
class StreamBytes {
  public:
    explicit StreamBytes(std::streambuf* buffer) : buffer_(buffer) {}
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
    std::streambuf* buffer() const { return buffer_; }

  private:
    std::streambuf* buffer_;
};

// Text in memory, read as a string stream over it would read it: put-back reaches back to the start of the text.
class MemoryBytes {
  public:
    MemoryBytes(std::string_view text, std::size_t start)
        : begin_(text.data()), at_(begin_ + start), end_(begin_ + text.size()) {}
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
    // Consumes blanks and the expected byte when it comes next, else nothing.
    bool skipTo(char expected) {
        const char* p = blanksEnd();
        if (p == end_ || *p != expected) {
            return false;
        }
        at_ = p + 1;
        return true;
    }
    const char* position() const { return at_; }
    const char* end() const { return end_; }
    void moveTo(const char* at) { at_ = at; }
    // Consumes blanks; the next byte, left unread.
    int skipBlanks() {
        at_ = blanksEnd();
        return peek();
    }

  private:
    // Where the bytes before the next delimiter, backslash or end of the text end.
    const char* plainEnd(int delimiter) const {
        const char* p = at_;
        while (p != end_ && byte(*p) != delimiter && *p != '\\') {
            ++p;
        }
        return p;
    }
    const char* blanksEnd() const {
        const char* p = at_;
        while (p != end_ && kClassicSpaces.contains[byte(*p)]) {
            ++p;
        }
        return p;
    }

    const char* const begin_;
    const char* at_;
    const char* const end_;
};

// Recursive-descent reader over a stream's buffer or over text in memory, one grammar for both. It keeps its own
// copy of the stream state and follows the state changes that the equivalent istream operations (get, peek,
// putback, ws, the number extraction) would make; for a stream, finish() hands the state back.
template <typename Bytes>
class Parser {
  public:
    explicit Parser(std::istream& input);
    explicit Parser(const MemoryBytes& bytes) : bytes_(bytes), state_(kGood), spaces_(kClassicSpaces.contains) {}
    void finish() { input_->clear(state_); }

    bool value(Value& value);
    bool object(Object& object);
    bool array(Array& array);

  private:
    static constexpr bool kStream = std::is_same_v<Bytes, StreamBytes>;

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
    bool match(char expected);
    bool match(std::string_view pattern);
    bool string(String& text);
    bool quoted(int delimiter, String& text);
    bool stringBody(int delimiter, String& text);
    bool escape(int delimiter, String& text);
    bool number(Number& result);
    bool numberThroughStream(Number& result);
    bool readValue(Value& value);
    bool stringValue(int delimiter, Value& value);
    bool unquotedValue(Value& value);
    bool numberValue(Value& value);
    bool keyword(std::string_view word, Value& value, Value::Type type, bool truth);
    bool objectValue(Value& value);
    bool arrayValue(Value& value);
    bool deeper();

    Bytes bytes_;
    // Strings are read here and copied out at their exact size: growing a string by doubling can leave half of its
    // storage unused for the life of the document.
    String text_;
    // Elements of the arrays being read, innermost last.
    std::vector<Value> pending_;
    std::istream* input_ = nullptr;
    State state_;
    unsigned depth_ = 0;
    bool classic_ = true;
    const bool* spaces_;
    ByteSet localSpaces_;
};

template <>
Parser<StreamBytes>::Parser(std::istream& input) : bytes_(input.rdbuf()), input_(&input), state_(input.rdstate()) {
    if (bytes_.buffer() == nullptr) {
        state_ |= kBadBit;
    }
    const std::locale locale = input.getloc();
    classic_ = locale == std::locale::classic();
    spaces_ = kClassicSpaces.contains;
    if (!classic_) {
        const auto& ctype = std::use_facet<std::ctype<char>>(locale);
        for (int c = 0; c < 256; ++c) {
            localSpaces_.contains[c] = ctype.is(std::ctype_base::space, static_cast<char>(c));
        }
        spaces_ = localSpaces_.contains;
    }
}

// As std::ws: blanks of the stream's locale; the end of input sets eofbit.
template <typename Bytes>
void Parser<Bytes>::skipSpaces() {
    if (!good()) {
        state_ |= kFailBit;
        return;
    }
    int c = bytes_.peek();
    while (c != kEof && spaces_[byte(c)]) {
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
bool Parser<Bytes>::match(char expected) {
    if constexpr (!kStream) {
        if (good() && bytes_.skipTo(expected)) {
            return true;
        }
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
bool Parser<Bytes>::string(String& text) {
    if (match('"')) {
        return quoted('"', text);
    }
    if (peek() != '\'') {
        return false;
    }
    bytes_.take();
    return quoted('\'', text);
}

// The rest of a string after its opening delimiter. Text in memory without escapes is copied once, straight from
// the input; the rest gathers in text_ first and is copied out at its exact size.
template <typename Bytes>
bool Parser<Bytes>::quoted(int delimiter, String& text) {
    if constexpr (!kStream) {
        std::string_view plain;
        if (bytes_.plainString(delimiter, plain)) {
            text.assign(plain);
            return true;
        }
    }
    text_.clear();
    if (!stringBody(delimiter, text_)) {
        return false;
    }
    text.assign(text_);
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

// The standard long double extraction in the classic locale, character for character: an optional sign, digits
// with at most one point, an exponent only after a digit. What it collected converts as a whole or the read fails;
// a failed read clears the state and steps back to where it started.
template <typename Bytes>
bool Parser<Bytes>::number(Number& result) {
    if (!classic_) {
        return numberThroughStream(result);
    }
    // A stream's characters are collected as they go by; text in memory is converted where it lies.
    std::conditional_t<kStream, NumberText, NoText> text;
    const char* start = nullptr;
    if constexpr (!kStream) {
        start = bytes_.position();
    }
    std::size_t consumed = 0;
    int c = bytes_.peek();
    bool atEnd = c == kEof;
    auto advance = [&] {
        ++consumed;
        c = bytes_.next();
        atEnd = c == kEof;
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
    bool converted = false;
    if constexpr (kStream) {
        converted = convertNumber(text.c_str(), text.size(), result);
    } else {
        converted = convertNumber(start, consumed, result);
    }
    if (converted) {
        if (atEnd) {
            state_ |= kEofBit;
        }
        return true;
    }
    state_ = kGood;
    unread(consumed);
    return false;
}

// Streams whose locale is not the classic one read numbers through the extraction itself. Text in memory is only
// read here in the classic locale.
template <typename Bytes>
bool Parser<Bytes>::numberThroughStream(Number& result) {
    if constexpr (kStream) {
        std::streambuf* const buffer = bytes_.buffer();
        const auto start = buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        input_->clear(state_);
        Number extracted = 0;
        *input_ >> extracted;
        if (!input_->fail()) {
            state_ = input_->rdstate();
            result = extracted;
            return true;
        }
        input_->clear();
        const auto failed = std::streambuf::pos_type(std::streambuf::off_type(-1));
        state_ = start != failed && buffer->pubseekpos(start, std::ios_base::in) != failed ? kGood : kFailBit;
        return false;
    } else {
        static_cast<void>(result);
        return false;
    }
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
bool Parser<Bytes>::readValue(Value& value) {
    if constexpr (!kStream) {
        // Text in memory goes straight to the strings and the usual numbers; the rest takes the general way.
        const int c = good() ? bytes_.skipBlanks() : kEof;
        if (c == '"') {
            bytes_.take();
            return stringValue('"', value);
        }
        Number number = 0;
        const char* stop = nullptr;
        if ((c == '-' || (c >= '0' && c <= '9')) &&
            (stop = scanExactNumber(bytes_.position(), bytes_.end(), number)) != nullptr) {
            bytes_.moveTo(stop);
            if (stop == bytes_.end()) {
                state_ |= kEofBit;
            }
            value.setNumber(number);
            value.type_ = Value::NUMBER_TYPE;
            return true;
        }
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
    std::unique_ptr<String, Destroy> text(create<String>());
    if (!quoted(delimiter, *text)) {
        return false;
    }
    value.own(text.release());
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
    if (!classic_ && numberValue(value)) {
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
            return classic_ && numberValue(value);
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
            return arrayValue(value) || objectValue(value);
        case '{':
            return objectValue(value);
        default:
            return false;
    }
}

template <typename Bytes>
bool Parser<Bytes>::numberValue(Value& value) {
    Number number = 0;
    if (!this->number(number)) {
        return false;
    }
    value.setNumber(number);
    value.type_ = Value::NUMBER_TYPE;
    return true;
}

template <typename Bytes>
bool Parser<Bytes>::keyword(std::string_view word, Value& value, Value::Type type, bool truth) {
    if (!match(word)) {
        return false;
    }
    value.type_ = type;
    value.payload_[0] = truth ? 1 : 0;
    return true;
}

template <typename Bytes>
bool Parser<Bytes>::objectValue(Value& value) {
    std::unique_ptr<Object, Destroy> object(create<Object>());
    if (!this->object(*object)) {
        return false;
    }
    value.own(object.release());
    value.type_ = Value::OBJECT_TYPE;
    return true;
}

template <typename Bytes>
bool Parser<Bytes>::arrayValue(Value& value) {
    std::unique_ptr<Array, Destroy> array(create<Array>());
    if (!this->array(*array)) {
        return false;
    }
    value.own(array.release());
    value.type_ = Value::ARRAY_TYPE;
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
    if (match('}')) {
        return true;
    }
    auto& members = object.members_;
    for (;;) {
        String key;
        if (!string(key)) {
            if (peek() == '}') {
                break;  // a comma before the closing brace
            }
            return false;
        }
        if (!match(':')) {
            return false;
        }
        Value value;
        if (!this->value(value)) {
            break;  // the member is dropped; a closing brace may still end the object
        }
        members.insert_or_assign(members.end(), std::move(key), std::move(value));
        if (!match(',')) {
            return match('}');
        }
    }
    return match('}');
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
    if (match(']')) {
        return true;
    }
    // The elements gather on the parser's stack and move into storage of their exact number at the end: no
    // growth by doubling, no storage left unused for the life of the document.
    const std::size_t base = pending_.size();
    bool closed = false;
    for (;;) {
        Value element;
        if (!value(element)) {
            closed = match(']');  // also a comma before the closing bracket
            break;
        }
        pending_.push_back(std::move(element));
        if (!match(',')) {
            closed = match(']');
            break;
        }
    }
    const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(base);
    array.elements_.assign(std::make_move_iterator(first), std::make_move_iterator(pending_.end()));
    pending_.erase(first, pending_.end());
    return closed;
}

namespace {

// A read error of the stream's buffer (a directory opened as a file, an I/O error) makes the parse fail and the
// stream bad, as the stream's own read operations would, instead of escaping as an exception.
template <typename Read>
bool parseFrom(std::istream& input, Read read) {
    Parser<StreamBytes> parser(input);
    bool parsed = false;
    try {
        parsed = read(parser);
    } catch (const std::ios_base::failure&) {
        parser.finish();
        input.setstate(std::ios_base::badbit);
        return false;
    }
    parser.finish();
    return parsed;
}

// Text in memory is read from its bytes, with the result a string stream over it would give. Such a stream would
// take the global locale; where that is not the classic one, the text does go through one.
template <typename Read>
bool parseFrom(std::string_view text, std::size_t start, Read read) {
    if (std::locale() != std::locale::classic()) {
        std::istringstream input{std::string(text)};
        input.seekg(static_cast<std::streamoff>(start));
        return parseFrom(input, read);
    }
    Parser<MemoryBytes> parser(MemoryBytes(text, start));
    return read(parser);
}

// Blanks and control bytes before the leading object or array are skipped unless the input has already ended.
int skipLowBytes(std::istream& input) {
    if (!input.eof()) {
        for (int c = input.peek(); c != kEof && byte(c) <= 32; c = input.peek()) {
            input.get();
        }
    }
    return input.peek();
}

std::size_t skipLowBytes(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && byte(text[start]) <= 32) {
        ++start;
    }
    return start;
}

int byteAt(std::string_view text, std::size_t at) {
    return at < text.size() ? byte(text[at]) : kEof;
}

template <typename Input, typename... Start>
Leading readLeading(Input& input, int next, Object& object, Array& array, Start... start) {
    if (next == '{') {
        return parseFrom(input, start..., [&](auto& parser) { return parser.object(object); }) ? Leading::kObject
                                                                                               : Leading::kNone;
    }
    if (next == '[') {
        return parseFrom(input, start..., [&](auto& parser) { return parser.array(array); }) ? Leading::kArray
                                                                                             : Leading::kNone;
    }
    return Leading::kNone;
}

}  // namespace

Leading parseLeading(std::istream& input, Object& object, Array& array) {
    const int next = skipLowBytes(input);
    return readLeading(input, next, object, array);
}

Leading parseLeading(const std::string& text, Object& object, Array& array) {
    const std::string_view view(text);
    const std::size_t start = skipLowBytes(view);
    return readLeading(view, byteAt(view, start), object, array, start);
}

}  // namespace detail

bool Value::parse(std::istream& input, Value& value) {
    return detail::parseFrom(input, [&](auto& parser) { return parser.value(value); });
}

bool Value::parse(const std::string& text) {
    return detail::parseFrom(text, 0, [this](auto& parser) { return parser.value(*this); });
}

bool Object::parse(std::istream& input, Object& object) {
    return detail::parseFrom(input, [&](auto& parser) { return parser.object(object); });
}

bool Object::parse(const std::string& text) {
    return detail::parseFrom(text, 0, [this](auto& parser) { return parser.object(*this); });
}

bool Array::parse(std::istream& input, Array& array) {
    return detail::parseFrom(input, [&](auto& parser) { return parser.array(array); });
}

bool Array::parse(const std::string& text) {
    return detail::parseFrom(text, 0, [this](auto& parser) { return parser.array(*this); });
}

namespace {

template <typename Input>
std::string reformatted(Input& input) {
    Object object;
    Array array;
    switch (detail::parseLeading(input, object, array)) {
        case detail::Leading::kObject:
            return object.json();
        case detail::Leading::kArray:
            return array.json();
        default:
            return std::string();
    }
}

}  // namespace

bool validate(std::istream& input) {
    Object object;
    Array array;
    return detail::parseLeading(input, object, array) != detail::Leading::kNone;
}

bool validate(const std::string& text) {
    Object object;
    Array array;
    return detail::parseLeading(text, object, array) != detail::Leading::kNone;
}

std::string reformat(std::istream& input) {
    return reformatted(input);
}

std::string reformat(const std::string& text) {
    return reformatted(text);
}

}  // namespace jsondoc
