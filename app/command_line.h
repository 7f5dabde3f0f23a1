#pragma once

#include <cstdint>

// Reads a decimal integer the way the download process writes BlockID and SystemID: leading white space skipped,
// an optional sign, at least one digit; reading stops at the first non-digit and the rest is ignored ("12abc" is 12,
// "0x10" is 0). Returns false when there is no digit or the value does not fit a signed 32-bit integer.
bool readDecimalArgument(const char* text, std::int32_t& value);
