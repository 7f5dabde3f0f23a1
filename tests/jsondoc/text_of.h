#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"

// The compact form of anything the library writes to a stream, on a fresh stream.
template <typename T>
std::string compact(const T& item) {
    std::ostringstream out;
    out << item;
    return out.str();
}

inline jsondoc::Object objectFrom(const std::string& text) {
    jsondoc::Object object;
    std::istringstream input(text);
    if (!jsondoc::Object::parse(input, object)) {
        ADD_FAILURE() << "does not parse: " << text;
    }
    return object;
}

inline jsondoc::Array arrayFrom(const std::string& text) {
    jsondoc::Array array;
    std::istringstream input(text);
    if (!jsondoc::Array::parse(input, array)) {
        ADD_FAILURE() << "does not parse: " << text;
    }
    return array;
}
