#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Simple case folding of one UTF-16 unit: ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic, the letters that names and paths here use.
char16_t foldCase(char16_t c);

// Equal without regard to letter case.
bool equalsNoCase(std::u16string_view a, std::u16string_view b);

// ASCII letters to upper case; everything else stays.
std::u16string toUpperAscii(std::u16string_view s);

// A decimal integer the way the C library's atoi reads one: leading white
// space, an optional sign, digits up to the first non-digit; no digits read as
// 0. Values beyond 32 bits saturate.
int32_t parseDecimal(std::u16string_view s);

// Decimal digits of a number.
std::u16string toDecimal(int64_t v);

}  // namespace platform
