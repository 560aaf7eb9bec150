#pragma once

#include <string>
#include <vector>

struct FT_LibraryRec_;
struct FT_FaceRec_;

// One source font at one pixel size, rendered through FreeType in monochrome.
class GlyphRasterizer {
public:
    GlyphRasterizer();
    ~GlyphRasterizer();
    GlyphRasterizer(const GlyphRasterizer&) = delete;
    GlyphRasterizer& operator=(const GlyphRasterizer&) = delete;

    // Opens face `faceIndex` of the file and sets it to `pixelSize`: the
    // matching strike of a bitmap font, or that pixel size of a scalable one.
    bool open(const std::string& path, int faceIndex, int pixelSize, std::string& error);

    // Pixel rows above the baseline at this size.
    int ascender() const;
    // "WenQuanYi Bitmap Song, 16 px strike" and the like, for the summary.
    std::string description() const;

    // The storable code points the font maps, ascending.
    std::vector<char32_t> mappedCodePoints() const;
    bool maps(char32_t cp) const;

    // Renders `cp` into a cell × cell bitmap as the file stores it (rows from
    // the top, ceil(cell / 8) bytes each, most significant bit leftmost), the
    // baseline under row `baseline` - 1. `clipped` tells whether ink fell
    // outside the cell. False when FreeType cannot render it.
    bool render(char32_t cp, int cell, int baseline, std::string& bits, bool& clipped) const;

private:
    FT_LibraryRec_* m_library = nullptr;
    FT_FaceRec_* m_face = nullptr;
    int m_pixelSize = 0;
    bool m_strike = false;
};
