#include "flashtool/config/ConfigText.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace vornload::configtext {

namespace {
// Above any 32-bit value even after the largest multiplier (2^30), below 2^64.
constexpr uint64_t saturation = uint64_t{1} << 33;
}  // namespace

bool readLine(std::istream& in, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::istream::int_type c = in.get();
    if (c == std::istream::traits_type::eof()) return false;
    while (c != std::istream::traits_type::eof() && c != '\n') {
        if (line.size() < maxLineLength) {
            line.push_back(static_cast<char>(c));
        } else {
            tooLong = true;
        }
        c = in.get();
    }
    return true;
}

std::string prepareLine(std::string_view raw) {
    std::string out;
    for (char c : raw) {
        if (c == ';') break;
        if (c == ' ' || c == '\t' || c == '\r') continue;
        out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return out;
}

bool isSkipped(std::string_view prepared) {
    return prepared.empty() || prepared.front() == '#';
}

uint64_t leadingDecimal(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > saturation) value = saturation;
    }
    return value;
}

uint64_t leadingHex(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'X' || text[1] == 'x')) {
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            break;
        }
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > saturation) value = saturation;
    }
    return value;
}

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}

}  // namespace vornload::configtext
