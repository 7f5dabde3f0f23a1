// Feeds arbitrary bytes to every parser entry point and checks, beyond "no crash":
// - a string and a stream whose buffer hands out a few bytes at a time read the same thing and stop at the same
//   place (the reader's fast paths work on the stream's buffer directly);
// - whatever the library writes, compact or indented, parses again and writes back to the same bytes;
// - validate, reformat and the XML renderings agree with each other and with a parse of the reformatted text;
// - numbers are written as the stream, or printf's %.16Lg, would write them;
// - text written after exactNumbers reads back equal to what was parsed;
// - the entry points that tell a failure's place parse alike and place it where the stream stopped.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <string>
#include <type_traits>
#include <utility>

#include "jsondoc/jsondoc.h"

namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

// A read-only buffer over the text that never shows more than `chunk` bytes ahead, so every buffer boundary the
// reader can meet is met. Put-back and seeking work over the whole text, as in a string stream.
class ChunkedBuffer : public std::streambuf {
  public:
    ChunkedBuffer(const std::string& text, std::size_t chunk) : text_(text), chunk_(chunk) { show(0); }

  protected:
    int_type underflow() override {
        const std::size_t position = static_cast<std::size_t>(gptr() - eback());
        if (position >= text_.size()) {
            return traits_type::eof();
        }
        show(position);
        return traits_type::to_int_type(*gptr());
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode mode) override {
        const off_type base = direction == std::ios_base::beg   ? 0
                              : direction == std::ios_base::cur ? gptr() - eback()
                                                                : static_cast<off_type>(text_.size());
        return seekpos(base + offset, mode);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
        const off_type offset = position;
        if (!(mode & std::ios_base::in) || offset < 0 || offset > static_cast<off_type>(text_.size())) {
            return pos_type(off_type(-1));
        }
        show(static_cast<std::size_t>(offset));
        return position;
    }

  private:
    void show(std::size_t position) {
        char* begin = const_cast<char*>(text_.data());
        const std::size_t end = position + chunk_ < text_.size() ? position + chunk_ : text_.size();
        setg(begin, begin + position, begin + end);
    }

    const std::string& text_;
    const std::size_t chunk_;
};

struct Reading {
    bool parsed;
    std::string written;
    std::ios_base::iostate state;
    std::streamoff position;
};

template <typename T>
std::string compact(const T& item) {
    std::ostringstream out;
    out << item;
    return out.str();
}

template <typename T>
Reading readFrom(std::istream& input) {
    T item;
    const bool parsed = T::parse(input, item);
    const std::ios_base::iostate state = input.rdstate();
    input.clear();
    return Reading{parsed, compact(item), state, static_cast<std::streamoff>(input.tellg())};
}

// Text written by the library is a fixed point: it parses, and writing what was parsed gives it back.
template <typename T, typename Write>
void requireFixedPoint(const std::string& text, Write write, const char* what) {
    T again;
    require(again.parse(text) && write(again) == text, what);
}

template <typename T>
void checkEntryPoint(const std::string& text, std::size_t chunk) {
    T item;
    const bool parsed = item.parse(text);

    std::istringstream whole(text);
    const Reading fromString = readFrom<T>(whole);
    ChunkedBuffer buffer(text, chunk);
    std::istream pieces(&buffer);
    const Reading fromPieces = readFrom<T>(pieces);
    require(fromString.parsed == parsed && compact(item) == fromString.written, "string and stream forms agree");
    require(fromPieces.parsed == fromString.parsed, "small buffers give the same result");
    require(fromPieces.written == fromString.written, "small buffers read the same content");
    require(fromPieces.state == fromString.state, "small buffers leave the same stream state");
    require(fromPieces.position == fromString.position, "small buffers stop at the same place");
    T told;
    jsondoc::ParseError error;
    require(jsondoc::parse(text, told, error) == parsed && compact(told) == compact(item), "the telling entry agrees");
    require(parsed ? error.reason.empty() && error.offset == 0
                   : !error.reason.empty() && static_cast<std::streamoff>(error.offset) == fromString.position,
            "a failure is placed where the stream stopped");
    if (!parsed) {
        return;
    }
    std::ostringstream exact;
    exact << jsondoc::exactNumbers << item;
    T back;
    require(back.parse(exact.str()) && back == item && item == item, "exact text reads back equal");
    requireFixedPoint<T>(compact(item), compact<T>, "compact text is a fixed point");
    if constexpr (!std::is_same_v<T, jsondoc::Value>) {
        requireFixedPoint<T>(
            item.json(), [](const T& again) { return again.json(); }, "indented text is a fixed point");
    }
}

void checkValidateReformatXml(const std::string& text) {
    const std::string formatted = jsondoc::reformat(text);
    const bool valid = jsondoc::validate(text);
    require(valid == !formatted.empty(), "validate agrees with reformat");
    std::istringstream input(text);
    require(jsondoc::reformat(input) == formatted, "reformat of a stream agrees with reformat of a string");
    if (valid) {
        require(jsondoc::reformat(formatted) == formatted, "reformatted text is a fixed point");
    }
    for (const unsigned format : {jsondoc::JSONx, jsondoc::JXML, jsondoc::JXMLex, jsondoc::TaggedXML}) {
        const std::string rendered = jsondoc::xml(text, format);
        const std::string header = jsondoc::xml(std::string(), format);
        if (valid) {
            require(rendered.size() > header.size(), "a valid document renders more than the header");
            require(jsondoc::xml(formatted, format) == rendered, "xml of the reformatted text is the same");
        } else {
            require(rendered == header, "an invalid document renders the header alone");
        }
    }
}

// Every number is written as the stream itself would write it in the compact form, whatever the stream's
// precision and notation, and as printf's %.16Lg would in the indented form.
void checkNumberText(jsondoc::Number number) {
    const std::pair<std::streamsize, std::ios_base::fmtflags> settings[] = {
        {6, std::ios_base::fmtflags()}, {17, std::ios_base::fmtflags()}, {3, std::ios_base::scientific}};
    for (const auto& [precision, notation] : settings) {
        std::ostringstream library;
        std::ostringstream stream;
        for (std::ostringstream* out : {&library, &stream}) {
            out->precision(precision);
            out->setf(notation, std::ios_base::floatfield);
        }
        library << jsondoc::Value(number);
        stream << number;
        require(library.str() == stream.str(), "the compact form writes numbers as the stream does");
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.16Lg", number);
    jsondoc::Array zero;
    zero << jsondoc::Value(0);
    std::string expected = zero.json();
    expected.replace(expected.find('0'), 1, text);
    jsondoc::Array array;
    array << jsondoc::Value(number);
    require(array.json() == expected, "the indented form writes numbers as %.16Lg does");
}

void checkNumbers(const jsondoc::Value& value) {
    if (value.is<jsondoc::Number>()) {
        checkNumberText(value.get<jsondoc::Number>());
    } else if (value.is<jsondoc::Array>()) {
        for (const auto& element : value.get<jsondoc::Array>().elements()) {
            checkNumbers(element);
        }
    } else if (value.is<jsondoc::Object>()) {
        for (const auto& member : value.get<jsondoc::Object>().members()) {
            checkNumbers(member.second);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t chunk = size == 0 ? 1 : 1 + data[size - 1] % 7;
    checkEntryPoint<jsondoc::Object>(text, chunk);
    checkEntryPoint<jsondoc::Array>(text, chunk);
    checkEntryPoint<jsondoc::Value>(text, chunk);
    checkValidateReformatXml(text);
    jsondoc::Value value;
    if (value.parse(text)) {
        checkNumbers(value);
    }
    return 0;
}
