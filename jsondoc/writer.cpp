#include <charconv>
#include <cmath>
#include <cstdint>
#include <locale>
#include <ostream>

#include "jsondoc/jsondoc.h"
#include "jsondoc/text.h"

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

// Integral values below 10^precision print under %g as their plain digits; they skip the general conversion.
constexpr Number kPowersOfTen[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L, 1e9L,
                                   1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L};

std::size_t formatIntegral(Number number, int precision, char* buffer) {
    const int digits = precision < 18 ? precision : 18;
    if (!(std::fabs(number) < kPowersOfTen[digits]) || std::trunc(number) != number ||
        (number == 0 && std::signbit(number))) {
        return 0;
    }
    const auto result = std::to_chars(buffer, buffer + generalBufferSize, static_cast<std::int64_t>(number));
    return static_cast<std::size_t>(result.ptr - buffer);
}

}  // namespace

namespace {

// Hands the text to put as runs of bytes that stand for themselves and the escapes between them.
template <typename Put>
void escapeRuns(std::string_view text, Put&& put) {
    const char* run = text.data();
    const char* const end = run + text.size();
    for (const char* p = run; p != end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (kEscapes.plain[b]) {
            continue;
        }
        put(std::string_view(run, static_cast<std::size_t>(p - run)));
        put(std::string_view(kEscapes.text[b], kEscapes.size[b]));
        run = p + 1;
    }
    put(std::string_view(run, static_cast<std::size_t>(end - run)));
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text) {
    escapeRuns(text, [&out](std::string_view run) { out.append(run); });
}

std::size_t formatGeneral(Number number, int precision, char* buffer) {
    if (const std::size_t size = formatIntegral(number, precision, buffer)) {
        return size;
    }
    const auto result =
        std::to_chars(buffer, buffer + generalBufferSize, number, std::chars_format::general, precision);
    return static_cast<std::size_t>(result.ptr - buffer);
}

void appendNumber(std::string& out, Number number) {
    char buffer[generalBufferSize];
    out.append(buffer, formatGeneral(number, 16, buffer));
}

namespace {

// The compact form, written straight into the stream's buffer through a small staging area.
class StreamWriter {
  public:
    explicit StreamWriter(std::ostream& output);
    void finish();

    void value(const Value& value);
    void object(const Object& object);
    void array(const Array& array);

  private:
    void put(char c) {
        if (used_ == sizeof(staged_)) {
            flush();
        }
        staged_[used_++] = c;
    }
    void put(std::string_view text);
    void flush();
    void quoted(std::string_view text);
    void number(Number number);

    std::ostream& output_;
    std::streambuf* const buffer_;
    bool failed_ = false;
    bool ownFormatting_ = false;
    int precision_ = 6;
    std::size_t used_ = 0;
    char staged_[2048];
};

StreamWriter::StreamWriter(std::ostream& output) : output_(output), buffer_(output.rdbuf()) {
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
    flush();
    if (failed_) {
        output_.setstate(std::ios_base::badbit);
    }
}

void StreamWriter::flush() {
    if (!failed_ && used_ > 0) {
        failed_ = buffer_->sputn(staged_, static_cast<std::streamsize>(used_)) != static_cast<std::streamsize>(used_);
    }
    used_ = 0;
}

void StreamWriter::put(std::string_view text) {
    if (text.size() > sizeof(staged_) - used_) {
        flush();
        if (text.size() > sizeof(staged_)) {
            if (!failed_) {
                const auto size = static_cast<std::streamsize>(text.size());
                failed_ = buffer_->sputn(text.data(), size) != size;
            }
            return;
        }
    }
    text.copy(staged_ + used_, text.size());
    used_ += text.size();
}

void StreamWriter::quoted(std::string_view text) {
    put('"');
    escapeRuns(text, [this](std::string_view run) { put(run); });
    put('"');
}

void StreamWriter::number(Number number) {
    if (ownFormatting_ && std::isfinite(number)) {
        char text[generalBufferSize];
        put(std::string_view(text, formatGeneral(number, precision_, text)));
        return;
    }
    flush();
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
            put(value.get<Boolean>() ? std::string_view("true") : std::string_view("false"));
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
    for (const auto& [key, member] : object.members()) {
        if (!first) {
            put(", ");
        }
        first = false;
        quoted(key);
        put(": ");
        value(member);
    }
    put('}');
}

void StreamWriter::array(const Array& array) {
    put('[');
    bool first = true;
    for (const auto& element : array.elements()) {
        if (!first) {
            put(", ");
        }
        first = false;
        value(element);
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

void renderArray(std::string& out, unsigned depth, const Array& array, std::size_t start);
void renderObject(std::string& out, unsigned depth, const Object& object, std::size_t start);

void renderItem(std::string& out, unsigned depth, const String* key, const Value& value) {
    const std::size_t start = out.size();
    out.append(depth, '\t');
    if (key != nullptr) {
        out += '"';
        appendEscaped(out, *key);
        out += "\": ";
    }
    switch (value.type()) {
        case Value::NUMBER_TYPE:
            appendNumber(out, value.get<Number>());
            break;
        case Value::STRING_TYPE:
            out += '"';
            appendEscaped(out, value.get<String>());
            out += '"';
            break;
        case Value::BOOLEAN_TYPE:
            out += value.get<Boolean>() ? "true" : "false";
            break;
        case Value::ARRAY_TYPE:
            renderArray(out, depth, value.get<Array>(), start);
            return;
        case Value::OBJECT_TYPE:
            renderObject(out, depth, value.get<Object>(), start);
            return;
        default:
            out += "null";
            break;
    }
    out += ",\n";
}

void renderArray(std::string& out, unsigned depth, const Array& array, std::size_t start) {
    out += "[\n";
    for (const auto& element : array.elements()) {
        renderItem(out, depth + 1, nullptr, element);
    }
    applyCommaRule(out, start);
    out.append(depth, '\t');
    out += "],\n";
}

void renderObject(std::string& out, unsigned depth, const Object& object, std::size_t start) {
    out += "{\n";
    for (const auto& [key, member] : object.members()) {
        renderItem(out, depth + 1, &key, member);
    }
    applyCommaRule(out, start);
    out.append(depth, '\t');
    out += "},\n";
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
    detail::renderObject(out, 0, *this, 0);
    detail::applyCommaRule(out, 0);
    return out;
}

std::string Array::json() const {
    std::string out;
    detail::renderArray(out, 0, *this, 0);
    detail::applyCommaRule(out, 0);
    return out;
}

std::string Object::write(unsigned format) const {
    return format == JSON ? json() : xml(format);
}

}  // namespace jsondoc
