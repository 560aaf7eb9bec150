#pragma once

#include "content/BitmapFontLibrary.h"
#include "content/ProgramFields.h"
#include "platform/Bitmap.h"
#include "platform/LogFont.h"
#include "platform/TextRenderer.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Turns runs of program text into colour bitmaps, with the system's fonts or
// the program's bitmap fonts, and makes the glyph strips of temperature fields.
class TextRasterizer {
public:
    // What a run is drawn with: the editor instance's current font, colours
    // and geometry.
    struct Style {
        platform::LogFont font;
        uint32_t ink = 0xFFFF0000u;  // text colour (0xAARRGGBB)
        uint32_t background = 0xFF000000u;
        int pitchOffset = 0;
        bool autoAdjust = false;
        int screenHeight = 12;
        std::vector<FontEntry> fontList;
        // The widest run worth drawing: a line holds no more columns than this.
        int maxColumns = kMaxColumns;
    };

    // No line is wider: a record counts its columns in 16 bits.
    static constexpr int kMaxColumns = 65535;

    struct Run {
        int advance = 0;  // columns the line moves on by; the image may be wider
        platform::Bitmap image;
        bool tooLong = false;  // wider than Style::maxColumns: nothing was drawn
    };

    // A strip of lit (1) and dark (0) bits for the sign to draw a glyph with.
    struct GlyphStrip {
        uint16_t lengthPlus5 = 5;  // packed byte count + 5
        uint16_t width = 0;        // advance width in columns
        std::vector<uint8_t> bytes;
    };

    static constexpr std::u16string_view kBitmapFontPrefix = u"QVSimsun";

    TextRasterizer(platform::TextRenderer& renderer, const BitmapFontLibrary& bitmapFonts)
        : m_renderer(renderer), m_bitmapFonts(bitmapFonts) {}

    // The style of a program: its font as a LogFont (lfHeight = −FontSize), its
    // colours, spacing, AutoAdjust and screen height, with the font list in force.
    static Style styleOf(const ProgramFields& program, std::vector<FontEntry> fontList);

    // Nothing (advance 0, empty image) for an empty text or one that draws to nothing.
    Run rasterize(std::u16string_view text, const Style& style) const;
    GlyphStrip glyphStrip(std::u16string_view text, const Style& style) const;

    // Packs a bitmap for the sign: 8-column groups from the left, one byte per
    // row from the top, bit 7 the group's leftmost column, 1 where the pixel is lit.
    static std::vector<uint8_t> pack(const platform::Bitmap& image);

private:
    struct Choice {
        platform::LogFont font;
        int verticalOffset = 0;
    };
    Choice autoAdjusted(const Style& style) const;
    // The entry of the font list a face names (first entry starting with it); -1 for none.
    static int listEntryFor(const std::vector<FontEntry>& list, std::u16string_view face);
    Run gdiPath(std::u16string_view text, const Style& style, Choice choice) const;
    Run bitmapPath(std::u16string_view text, const Style& style, int fontIndex, int cell) const;

    platform::TextRenderer& m_renderer;
    const BitmapFontLibrary& m_bitmapFonts;
};
