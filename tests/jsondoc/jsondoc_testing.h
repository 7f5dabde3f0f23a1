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

// An Object or Array read from text that must parse.
template <typename T>
T parsed(const std::string& text) {
    T container;
    EXPECT_TRUE(container.parse(text)) << text;
    return container;
}
