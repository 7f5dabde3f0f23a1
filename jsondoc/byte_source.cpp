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

// The extraction needs the stream's state as the parse has it; a failed one steps back to where it started.
bool StreamBytes::extractNumber(State& state, Number& result) {
    const auto start = buffer_->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    input_->clear(state);
    Number extracted = 0;
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

}  // namespace jsondoc::detail
