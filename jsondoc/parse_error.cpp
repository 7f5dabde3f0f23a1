// The text entry points that also tell where and why a parse failed.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

#include "jsondoc/jsondoc.h"

namespace jsondoc {
namespace {

// How many objects and arrays are open before offset; brackets inside strings and comments do not count.
std::size_t depthAt(std::string_view text, std::size_t offset) {
    std::size_t depth = 0;
    char quote = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == '\\') {
                // \u takes the next four characters whatever they are, a quote among them.
                i += i + 1 < offset && text[i + 1] == 'u' ? 5 : 1;
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && i + 1 < offset && text[i + 1] == '/') {
            i = std::min(text.find_first_of("\r\n", i), offset);
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return depth;
}

// The parser stops at the first byte it cannot take; what stands there says why.
std::string reasonAt(std::string_view text, std::size_t offset) {
    if (text.find_first_not_of(" \t\n\v\f\r") == std::string_view::npos) {
        return "empty input";
    }
    if (offset >= text.size()) {
        return "unexpected end of input";
    }
    const char c = text[offset];
    if (offset == 0 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        return "byte-order mark";
    }
    if (text.substr(offset, 2) == "/*") {
        return "block comment";
    }
    if ((c == '[' || c == '{') && depthAt(text, offset) >= maxNestingDepth) {
        return "nested too deeply";
    }
    if (std::strchr("+-.0123456789", c) != nullptr) {
        // A number the reader takes stands where none may; one it refuses is malformed or too large.
        const std::size_t end = text.find_first_not_of("+-.0123456789eE", offset);
        Value number;
        return number.parse(std::string(text.substr(offset, end - offset))) ? "unexpected number"
                                                                            : "malformed or out-of-range number";
    }
    char shown[32];
    const unsigned char b = static_cast<unsigned char>(c);
    if (b > 32 && b < 127) {
        std::snprintf(shown, sizeof shown, "unexpected character '%c'", c);
    } else {
        std::snprintf(shown, sizeof shown, "unexpected byte 0x%02x", b);
    }
    return shown;
}

template <typename Target>
bool parseTelling(const std::string& text, Target& target, ParseError& error) {
    error = ParseError();
    if (target.parse(text)) {
        return true;
    }
    // Again through a stream, which is left where the parse stopped; the target ends up as the first parse left it.
    std::istringstream input(text);
    target.parse(input);
    input.clear();
    const std::streamoff stopped = input.tellg();
    error.offset = stopped < 0 ? text.size() : static_cast<std::size_t>(stopped);
    const std::string_view before(text.data(), error.offset);
    error.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t lineStart = before.rfind('\n');
    error.column = error.offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
    error.reason = reasonAt(text, error.offset);
    return false;
}

}  // namespace

bool parse(const std::string& text, Object& object, ParseError& error) {
    return parseTelling(text, object, error);
}

bool parse(const std::string& text, Array& array, ParseError& error) {
    return parseTelling(text, array, error);
}

bool parse(const std::string& text, Value& value, ParseError& error) {
    return parseTelling(text, value, error);
}

}  // namespace jsondoc
