// The parser's entry points: streams and text in memory, the leading object or array, validate and reformat.

#include <istream>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>

#include "jsondoc/byte_source.h"
#include "jsondoc/grammar.h"
#include "jsondoc/jsondoc.h"
#include "jsondoc/text.h"

namespace jsondoc {
namespace detail {
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
    Parser<MemoryBytes> parser(text, start);
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
