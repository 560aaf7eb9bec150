#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A font as the program describes it to the text renderer, in the terms its
// files and settings use. A negative lfHeight is the character height in
// pixels, a positive one the cell height.
struct LogFont {
    int32_t lfHeight = 0;
    int32_t lfWeight = 400;  // 700 for bold
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 1;
    uint8_t lfOutPrecision = 1;   // string precision
    uint8_t lfClipPrecision = 2;  // stroke precision
    uint8_t lfQuality = 3;        // not antialiased: every pixel is the text colour or untouched
    uint8_t lfPitchAndFamily = 0;
    std::u16string lfFaceName;

    bool operator==(const LogFont&) const = default;
};

}  // namespace platform
