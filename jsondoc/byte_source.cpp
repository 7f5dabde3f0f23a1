#include "jsondoc/byte_source.h"

#include <locale>

namespace jsondoc::detail {

StreamBytes::StreamBytes(std::istream& input)
    : input_(&input), buffer_(input.rdbuf()), classic_(true), spaces_(kClassicSpaces.contains) {
    const std::locale locale = input.getloc();
    classic_ = locale == std::locale::classic();
    if (!classic_) {
        const auto& ctype = std::use_facet<std::ctype<char>>(locale);
        for (int c = 0; c < 256; ++c) {
            localSpaces_.contains[c] = ctype.is(std::ctype_base::space, static_cast<char>(c));
        }
        spaces_ = localSpaces_.contains;
    }
}

}  // namespace jsondoc::detail
