#pragma once

#include "platform/Bitmap.h"
#include "platform/LogFont.h"

#include <string_view>

namespace platform {

struct TextSize {
    int width = 0;
    int height = 0;
};

// Draws text with the system's fonts, without antialiasing: a pixel is either
// exactly the ink colour or left as it was.
class TextRenderer {
public:
    virtual ~TextRenderer() = default;

    // The size of the text in the font, with `extraSpacing` pixels after every character.
    virtual TextSize measure(const LogFont& font, std::u16string_view text, int extraSpacing) = 0;
    // Draws the text on one line into the box: at the bottom, centred
    // horizontally, clipped to the box and the target.
    virtual void draw(Bitmap& target, Rect box, const LogFont& font, std::u16string_view text,
                      int extraSpacing, uint32_t ink) = 0;
    // The same with the system's default interface font.
    virtual void drawDefault(Bitmap& target, Rect box, std::u16string_view text, uint32_t ink) = 0;
};

}  // namespace platform
