#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Where every field of the device image lies: the writer, the encoder, the
// reader and `explain` all take the offsets from here. Numbers are big-endian.
namespace ImageLayout {

// The image: a header with the program table, the records, the digit font.
inline constexpr size_t kHeaderSize = 100;
inline constexpr size_t kWidthCode = 0;
inline constexpr size_t kHeightCode = 1;
inline constexpr size_t kPlayMode = 2;
inline constexpr size_t kTemperatureCorrection = 44;
inline constexpr size_t kImageLength = 45;  // 4 bytes: where the digit font begins
inline constexpr size_t kProgramCount = 49;
inline constexpr size_t kProgramTable = 50;  // 4 bytes a slot
inline constexpr size_t kTableSlots = 12;    // room in the header; a screen holds at most 10
inline constexpr size_t kDigitFontSize = 154;
inline constexpr size_t kMaxImageLength = 30720;  // what a sign takes

// A program record, its offsets from the record's start.
inline constexpr size_t kRecordHeaderSize = 30;
inline constexpr size_t kRecordLength = 0;  // 2 bytes
inline constexpr size_t kEffect = 2;
inline constexpr size_t kSpeed = 3;
inline constexpr size_t kStopTime = 4;
inline constexpr size_t kFlicker = 5;
inline constexpr size_t kBorder = 6;
inline constexpr size_t kBorderSpeed = 7;
inline constexpr size_t kRedBackground = 8;
inline constexpr size_t kFormatMark = 10;
inline constexpr size_t kBitmapOffset = 11;       // 4 bytes
inline constexpr size_t kAnimationOffset = 15;    // 4 bytes; 0 without a table
inline constexpr size_t kTemperatureOffset = 19;  // 4 bytes; 0 without a block

// The bitmap block: its header, then the pages.
inline constexpr size_t kBitmapHeaderSize = 5;
inline constexpr size_t kBitmapLength = 0;   // 2 bytes, header included
inline constexpr size_t kBitmapColumns = 2;  // 2 bytes

// The animation table: its header, then 3 bytes an entry (column, number).
inline constexpr size_t kAnimationHeaderSize = 5;
inline constexpr size_t kAnimationLength = 0;  // 2 bytes: 3 × count + 9
inline constexpr size_t kPlaceholderSize = 2;
inline constexpr size_t kAnimationCount = 3;
inline constexpr size_t kAnimationEntrySize = 3;
inline constexpr size_t kAnimationLengthExtra = 9;

// The temperature block: its header, the glyph bytes, 4 zero bytes.
inline constexpr size_t kTemperatureHeaderSize = 34;
inline constexpr size_t kTemperatureTrailer = 4;
inline constexpr size_t kTemperatureLength = 0;  // 2 bytes, all of it
inline constexpr size_t kFieldWidth = 2;
inline constexpr size_t kFieldColumn = 3;  // 2 bytes
inline constexpr size_t kUnit = 5;
inline constexpr size_t kMinusWidth = 6;
inline constexpr size_t kMinusLength = 7;  // 2 bytes: packed bytes + 5
inline constexpr size_t kDigitCell = 9;
inline constexpr size_t kLargestDigit = 10;  // 2 bytes: packed bytes + 5
inline constexpr size_t kMinusOffset = 12;   // 2 bytes
inline constexpr size_t kDigitOffsets = 14;  // 2 bytes each, digits 0 … 9

inline void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v >> 8 & 0xFF);
    s[at + 1] = static_cast<char>(v & 0xFF);
}

inline void put32(std::string& s, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (24 - 8 * i) & 0xFF);
}

inline uint8_t get8(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]);
}

inline uint16_t get16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(get8(b, at) << 8 | get8(b, at + 1));
}

inline uint32_t get32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(get8(b, at)) << 24 | static_cast<uint32_t>(get8(b, at + 1)) << 16 |
           static_cast<uint32_t>(get8(b, at + 2)) << 8 | get8(b, at + 3);
}

}  // namespace ImageLayout
