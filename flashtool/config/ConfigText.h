#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

// Text helpers shared by the description reader and the flash-type lookup.
namespace vornload::configtext {

// Longest line kept from the file; the description is a short hand-written file,
// so anything longer is a broken file, not a longer setting.
inline constexpr size_t maxLineLength = 4096;

// Reads one line (without its terminator) of at most maxLineLength characters.
// Returns false at end of input. `tooLong` tells that the rest of an overlong
// line was skipped.
bool readLine(std::istream& in, std::string& line, bool& tooLong);

// Removes spaces (and tabs and carriage returns), cuts at the first ';' and
// converts to upper case. An empty result or one beginning with '#' is no line.
std::string prepareLine(std::string_view raw);
bool isSkipped(std::string_view prepared);

// Leading decimal / hexadecimal digits; none gives 0. The value saturates just
// above 32 bits so that callers can tell that it does not fit.
uint64_t leadingDecimal(std::string_view text);
uint64_t leadingHex(std::string_view text);  // an "0X" prefix is skipped

inline constexpr uint64_t maxWord = 0xFFFFFFFFu;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vornload::configtext
