#pragma once

// Text helpers shared by the JSON writers, the XML renderings and the parser's entry points.

#include <iosfwd>
#include <string>
#include <string_view>

#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

// Appends text with every byte mapped as inside a JSON string: the control bytes, the quotation mark, the
// backslash and the slash escaped, every other byte (UTF-8 included) as it is.
void appendEscaped(std::string& out, std::string_view text);

// Reads the leading object or array of the input, after the blanks and control bytes (32 or less) before it, into
// object or array, and says which of them parsed.
enum class Leading { kNone, kObject, kArray };
Leading parseLeading(std::istream& input, Object& object, Array& array);
Leading parseLeading(const std::string& text, Object& object, Array& array);

}  // namespace jsondoc::detail
