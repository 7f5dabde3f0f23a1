#include <algorithm>
#include <cstdint>
#include <cstring>
#include <locale>
#include <ostream>

#include "jsondoc/jsondoc.h"
#include "jsondoc/number_writer.h"
#include "jsondoc/text.h"
#include "jsondoc/words.h"

namespace jsondoc {
namespace detail {
namespace {

// The text that stands for each byte inside a JSON string.
struct EscapeTable {
    char text[256][6];
    unsigned char size[256];
    bool plain[256];
};

constexpr void setEscape(EscapeTable& table, unsigned char b, char letter) {
    table.text[b][0] = '\\';
    table.text[b][1] = letter;
    table.size[b] = 2;
}

constexpr EscapeTable makeEscapeTable() {
    EscapeTable table{};
    const char hex[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
        table.text[b][0] = static_cast<char>(b);
        table.size[b] = 1;
    }
    for (int b = 0; b < 0x20; ++b) {
        const char escaped[6] = {'\\', 'u', '0', '0', hex[b >> 4], hex[b & 15]};
        for (int i = 0; i < 6; ++i) {
            table.text[b][i] = escaped[i];
        }
        table.size[b] = 6;
    }
    setEscape(table, '"', '"');
    setEscape(table, '\\', '\\');
    setEscape(table, '/', '/');
    setEscape(table, '\b', 'b');
    setEscape(table, '\f', 'f');
    setEscape(table, '\n', 'n');
    setEscape(table, '\r', 'r');
    setEscape(table, '\t', 't');
    for (int b = 0; b < 256; ++b) {
        table.plain[b] = table.size[b] == 1;
    }
    return table;
}

constexpr EscapeTable kEscapes = makeEscapeTable();
constexpr std::size_t kLongestEscape = sizeof kEscapes.text[0];

constexpr std::size_t kStaging = 8192;
// The longest text escaped in one reservation: every byte at its longest escape and a word more, with the quotation
// marks and the separators around a key.
constexpr std::size_t kLongestPiece = (kStaging - 7 - sizeof(words::Word)) / kLongestEscape;

// The compact form, gathered in a staging area that goes to the stream buffer through sputn whenever it fills.
class StreamWriter {
  public:
    explicit StreamWriter(std::ostream& output);
    void finish();

    void value(const Value& value);
    void object(const Object& object);
    void array(const Array& array);

  private:
    // Room for size more bytes at next_; size is at most the staging area's.
    char* reserve(std::size_t size) {
        if (size > static_cast<std::size_t>(end_ - next_)) {
            settle();
        }
        return next_;
    }
    void put(char c) {
        *reserve(1) = c;
        ++next_;
    }
    template <std::size_t N>
    void put(const char (&text)[N]) {
        std::memcpy(reserve(N - 1), text, N - 1);
        next_ += N - 1;
    }
    // Hands the staged bytes to the stream buffer.
    void settle();
    void quoted(std::string_view text);
    // The key of a member with ", " before it unless it is the first, and ": " after it.
    void key(std::string_view text, bool first);
    void number(const Number& number);

    std::ostream& output_;
    std::streambuf& buffer_;
    bool failed_ = false;
    bool ownFormatting_ = false;
    int precision_ = 6;
    GeneralFormat format_;
    char staged_[kStaging];
    char* next_ = staged_;
    char* const end_ = staged_ + sizeof staged_;
};

StreamWriter::StreamWriter(std::ostream& output) : output_(output), buffer_(*output.rdbuf()) {
    output_.width(0);
    // The number text is made here only where it is what the stream would write; otherwise the stream writes it.
    const auto flags = output_.flags();
    const auto formatting =
        std::ios_base::floatfield | std::ios_base::showpos | std::ios_base::showpoint | std::ios_base::uppercase;
    const std::streamsize precision = output_.precision();
    ownFormatting_ = (flags & formatting) == 0 && precision >= 1 && precision <= maxGeneralPrecision &&
                     output_.getloc() == std::locale::classic();
    precision_ = static_cast<int>(precision);
}

void StreamWriter::finish() {
    settle();
    if (failed_) {
        output_.setstate(std::ios_base::badbit);
    }
}

void StreamWriter::settle() {
    const auto written = next_ - staged_;
    if (!failed_ && written > 0) {
        failed_ = buffer_.sputn(staged_, written) != written;
    }
    next_ = staged_;
}

using words::Word;

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// The word with its first byte in memory as its lowest, on either byte order.
Word inMemoryOrder(Word word) {
    if constexpr (kLittleEndian) {
        return word;
    } else if constexpr (sizeof(Word) == 8) {
        return static_cast<Word>(__builtin_bswap64(word));
    } else {
        return static_cast<Word>(__builtin_bswap32(static_cast<std::uint32_t>(word)));
    }
}

// The bytes of a word (in memory order) that need an escape, marked: a control byte, a quotation mark, a backslash
// or a slash. A quotation mark with its bit 1 flipped is 0x20, so that one test for bytes below 0x21 finds it with
// the control bytes (which stay below 0x20).
Word escapeMarks(Word word) {
    using words::borrows, words::repeated;
    return words::marked(
        borrows(word ^ repeated(0x02), 0x21) | borrows(word ^ repeated('\\'), 1) | borrows(word ^ repeated('/'), 1),
        word);
}

// The number of bytes below the lowest marked one.
unsigned bytesBefore(Word marks) {
    if constexpr (sizeof(Word) == sizeof(unsigned)) {
        return static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(marks))) / 8;
    } else {
        return static_cast<unsigned>(__builtin_ctzll(marks)) / 8;
    }
}

// Writes the text that stands for the byte b and returns its end. A byte wrongly marked is written as itself.
char* escapeByte(char* out, unsigned char b) {
    std::memcpy(out, kEscapes.text[b], kLongestEscape);
    return out + kEscapes.size[b];
}

// Copies bytes from p to end escaped to out and returns the end of what it wrote; out has room for the longest
// escape of every byte and a word more. Each word is stored before it is tested, so that a plain one, which text
// mostly is, costs a load, the test and a store; in one that is not, the bytes before the first that needs an
// escape are already in place, and the next word starts after it.
char* escapeInto(char* out, const char* const begin, const char* const end) {
    constexpr std::ptrdiff_t kWord = sizeof(Word);
    const char* p = begin;
    if (end - begin < kWord) {
        for (; p != end; ++p) {
            const auto b = static_cast<unsigned char>(*p);
            if (kEscapes.plain[b]) {
                *out++ = *p;
            } else {
                out = escapeByte(out, b);
            }
        }
        return out;
    }
    // Text and output at one index from their own starts, so that a plain word moves one register on.
    std::ptrdiff_t at = 0;
    std::ptrdiff_t last = end - p - kWord;
    while (at <= last) {
        const Word word = words::at(p + at);
        std::memcpy(out + at, &word, sizeof word);
        const Word marks = escapeMarks(inMemoryOrder(word));
        if (__builtin_expect(marks == 0, 1)) {
            at += kWord;
            continue;
        }
        const std::ptrdiff_t before = at + static_cast<std::ptrdiff_t>(bytesBefore(marks));
        out = escapeByte(out + before, static_cast<unsigned char>(p[before]));
        p += before + 1;
        last -= before + 1;
        at = 0;
    }
    p += at;
    out += at;
    if (p == end) {
        return out;
    }
    // The last few bytes, from the word that ends with them: shifted down to them and written whole, the room after
    // the text taking the rest.
    const unsigned shift = 8 * static_cast<unsigned>(kWord - (end - p));
    const Word word = inMemoryOrder(words::at(end - kWord));
    Word rest = word >> shift;
    Word marks = escapeMarks(word) >> shift;
    for (;;) {
        const Word stored = inMemoryOrder(rest);
        std::memcpy(out, &stored, sizeof stored);
        if (marks == 0) {
            return out + (end - p);
        }
        const unsigned before = bytesBefore(marks);
        out = escapeByte(out + before, static_cast<unsigned char>(p[before]));
        p += before + 1;
        if (p == end) {
            return out;
        }
        const unsigned taken = 8 * (before + 1);
        rest >>= taken;
        marks >>= taken;
    }
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text) {
    // In pieces, so that a long text never takes room for its longest escape at once.
    for (std::size_t at = 0; at < text.size(); at += kLongestPiece) {
        const std::string_view piece = text.substr(at, kLongestPiece);
        const std::size_t size = out.size();
        out.resize(size + piece.size() * kLongestEscape + sizeof(Word));
        const char* const last = escapeInto(&out[size], piece.data(), piece.data() + piece.size());
        out.resize(static_cast<std::size_t>(last - out.data()));
    }
}

namespace {

void StreamWriter::quoted(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::size_t piece = std::min(text.size(), kLongestPiece);
    char* out = reserve(piece * kLongestEscape + 2 + sizeof(Word));
    *out++ = '"';
    for (;;) {
        out = escapeInto(out, p, p + piece);
        p += piece;
        if (p == end) {
            break;
        }
        next_ = out;
        piece = std::min(static_cast<std::size_t>(end - p), kLongestPiece);
        out = reserve(piece * kLongestEscape + 1 + sizeof(Word));
    }
    *out++ = '"';
    next_ = out;
}

void StreamWriter::key(std::string_view text, bool first) {
    if (text.size() > kLongestPiece) {
        if (!first) {
            put(", ");
        }
        quoted(text);
        put(": ");
        return;
    }
    // The separators with the key, in one reservation: objects are mostly short keys and short values. Each is
    // stored as a word of four bytes, its terminating zero past the kept ones: one store, where three bytes are two.
    char* out = reserve(text.size() * kLongestEscape + 7 + sizeof(Word));
    std::memcpy(out, ", \"", 4);
    if (first) {
        *out = '"';
        ++out;
    } else {
        out += 3;
    }
    out = escapeInto(out, text.data(), text.data() + text.size());
    std::memcpy(out, "\": ", 4);
    next_ = out + 3;
}

void StreamWriter::number(const Number& number) {
    if (ownFormatting_ && isFinite(number)) {
        char* const out = reserve(generalBufferSize);
        next_ += format_(number, precision_, out);
        return;
    }
    settle();
    if (!failed_) {
        output_ << number;
        failed_ = output_.bad();
    }
}

void StreamWriter::value(const Value& value) {
    switch (value.type()) {
        case Value::NUMBER_TYPE:
            number(value.get<Number>());
            break;
        case Value::STRING_TYPE:
            quoted(value.get<String>());
            break;
        case Value::BOOLEAN_TYPE:
            if (value.get<Boolean>()) {
                put("true");
            } else {
                put("false");
            }
            break;
        case Value::ARRAY_TYPE:
            array(value.get<Array>());
            break;
        case Value::OBJECT_TYPE:
            object(value.get<Object>());
            break;
        default:
            // Null, and a value never given one: an empty slot would make text that no reader accepts.
            put("null");
            break;
    }
}

void StreamWriter::object(const Object& object) {
    put('{');
    bool first = true;
    for (const auto& [name, member] : object.members()) {
        key(name, first);
        first = false;
        value(member);
    }
    put('}');
}

void StreamWriter::array(const Array& array) {
    put('[');
    const auto& elements = array.elements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) {
            put(", ");
        }
        value(elements[i]);
    }
    put(']');
}

template <typename T>
std::ostream& writeCompact(std::ostream& output, const T& item) {
    const std::ostream::sentry sentry(output);
    if (sentry) {
        StreamWriter writer(output);
        if constexpr (std::is_same_v<T, Object>) {
            writer.object(item);
        } else if constexpr (std::is_same_v<T, Array>) {
            writer.array(item);
        } else {
            writer.value(item);
        }
        writer.finish();
    }
    return output;
}

// ---- indented form ----

// The last child of a container ends in ",\n"; its comma becomes a space.
void applyCommaRule(std::string& text, std::size_t start) {
    const std::size_t size = text.size();
    if (size - start > 2 && text[size - 2] == ',') {
        text[size - 2] = ' ';
    }
}

// The indented form, appended to a string.
class IndentedWriter {
  public:
    explicit IndentedWriter(std::string& out) : out_(out) {}

    void item(unsigned depth, const String* key, const Value& value);
    // start: where the item that holds the container begins, for the comma rule.
    void array(unsigned depth, const Array& array, std::size_t start);
    void object(unsigned depth, const Object& object, std::size_t start);

  private:
    std::string& out_;
    GeneralFormat format_;
};

void IndentedWriter::item(unsigned depth, const String* key, const Value& value) {
    const std::size_t start = out_.size();
    out_.append(depth, '\t');
    if (key != nullptr) {
        out_ += '"';
        appendEscaped(out_, *key);
        out_ += "\": ";
    }
    switch (value.type()) {
        case Value::NUMBER_TYPE:
            appendNumber(out_, value.get<Number>(), format_);
            break;
        case Value::STRING_TYPE:
            out_ += '"';
            appendEscaped(out_, value.get<String>());
            out_ += '"';
            break;
        case Value::BOOLEAN_TYPE:
            out_ += value.get<Boolean>() ? "true" : "false";
            break;
        case Value::ARRAY_TYPE:
            array(depth, value.get<Array>(), start);
            return;
        case Value::OBJECT_TYPE:
            object(depth, value.get<Object>(), start);
            return;
        default:
            out_ += "null";
            break;
    }
    out_ += ",\n";
}

void IndentedWriter::array(unsigned depth, const Array& array, std::size_t start) {
    out_ += "[\n";
    for (const auto& element : array.elements()) {
        item(depth + 1, nullptr, element);
    }
    applyCommaRule(out_, start);
    out_.append(depth, '\t');
    out_ += "],\n";
}

void IndentedWriter::object(unsigned depth, const Object& object, std::size_t start) {
    out_ += "{\n";
    for (const auto& [key, member] : object.members()) {
        item(depth + 1, &key, member);
    }
    applyCommaRule(out_, start);
    out_.append(depth, '\t');
    out_ += "},\n";
}

}  // namespace
}  // namespace detail

std::ostream& operator<<(std::ostream& output, const Object& object) {
    return detail::writeCompact(output, object);
}

std::ostream& operator<<(std::ostream& output, const Array& array) {
    return detail::writeCompact(output, array);
}

std::ostream& operator<<(std::ostream& output, const Value& value) {
    return detail::writeCompact(output, value);
}

std::string Object::json() const {
    std::string out;
    detail::IndentedWriter(out).object(0, *this, 0);
    detail::applyCommaRule(out, 0);
    return out;
}

std::string Array::json() const {
    std::string out;
    detail::IndentedWriter(out).array(0, *this, 0);
    detail::applyCommaRule(out, 0);
    return out;
}

std::string Object::write(unsigned format) const {
    return format == JSON ? json() : xml(format);
}

}  // namespace jsondoc
