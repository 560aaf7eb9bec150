#pragma once

#include "platform/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One fixed-cell pixel font from a ".qvf" font file.
struct BitmapFont {
    std::u16string name;
    int cell = 0;        // glyph width and height in pixels
    int secondSize = 0;  // kept with the font; not used for drawing
    // Glyph index (65536 big-endian 16-bit numbers) then the glyph bitmaps: a
    // view into the file's bytes, which every font of the file shares, so that
    // records naming the same or overlapping blocks cost nothing more.
    std::string_view block;
    std::shared_ptr<const std::string> file;
    std::vector<char16_t> codeUnits;  // those with a glyph, ascending
};

// The bitmap fonts of every font file, in load order; a font's position is its index.
//
// File layout (big-endian): "QV", a count byte n, then n records of 40 bytes:
// reserved, cell size, second size, a 20-byte name in the ANSI code page
// ending at the first zero, the glyph block's length and its offset from the
// start of the file, 9 reserved. A glyph block is the glyph index, then at
// 0x40000 + g·s the bitmap of glyph g, s = ceil(cell / 8) × cell: cell rows,
// each ceil(cell / 8) bytes, most significant bit leftmost, 1 = ink. Bytes a
// truncated block lacks read as 0xFF.
class BitmapFontLibrary {
public:
    static constexpr uint32_t kMarker = 0x51u;  // bits 24-31 of a bitmap font's list value
    static constexpr size_t kRecordSize = 40;
    static constexpr size_t kGlyphBase = 0x40000;
    // Larger files are no font files (one with every glyph of a 64-pixel cell is 32 MiB).
    static constexpr uintmax_t kMaxFileSize = uintmax_t{256} << 20;

    // Adds the fonts of one file's bytes. False when the file is rejected
    // (2 bytes or less, or nothing that looks like a font file).
    bool addFile(std::string_view bytes, uint32_t ansiCodePage);
    // Every file ending in ".qvf" (any case) in the folder and its subfolders,
    // in path order; unreadable files are skipped.
    void loadFolder(const std::filesystem::path& fontFolder, uint32_t ansiCodePage);

    const std::vector<BitmapFont>& fonts() const { return m_fonts; }

    // The font list value of font `index`: marker, cell size and index.
    uint32_t listValue(size_t index) const;
    static bool isBitmapFontValue(uint32_t value) { return (value >> 24) == kMarker; }
    static int fontIndexOf(uint32_t value) { return static_cast<int>(value & 0xFFFF); }

    // Draws the glyph of `unit` with its cell's top-left at the target's origin,
    // ink in `ink`, the rest in `background`. Returns the cell size; 0 when the
    // font has none for the unit or there is no such font. Without a target it
    // only answers the cell size.
    int drawGlyph(int fontIndex, char16_t unit, platform::Bitmap* target, uint32_t ink,
                  uint32_t background) const;

    // The glyph number of a unit (0: none).
    uint16_t glyphNumber(int fontIndex, char16_t unit) const;

private:
    std::vector<BitmapFont> m_fonts;
};
