#pragma once

// Device images and animation sets written byte by byte for the player's tests,
// with the layout of the image format spelled out here rather than taken from
// the program's own writer.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace testimage {

inline void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

inline void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// The digit font at the end of every image: 8 × 12 glyphs, 1 dark.
inline const std::array<std::array<uint8_t, 12>, 11> kDigitFont = {{
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xDF, 0x9F, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0xEF, 0xDF, 0xBF, 0x7F, 0x07, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0xF7, 0xCF, 0xF7, 0xF7, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xEF, 0xCF, 0xAF, 0xAF, 0x6F, 0x87, 0xEF, 0xE7, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x07, 0x7F, 0x7F, 0x0F, 0xF7, 0xF7, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x6F, 0x7F, 0x0F, 0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x07, 0x6F, 0xEF, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x8F, 0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x77, 0x87, 0xF7, 0xB7, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xB7, 0x57, 0x4F, 0xAF, 0xD7, 0xCB, 0xAB, 0xB7, 0xFF, 0xFF},
}};

inline std::vector<uint8_t> digitFontBlock() {
    std::vector<uint8_t> b(22);
    for (size_t k = 0; k < 11; ++k)
        put16(b, 2 * k, static_cast<uint32_t>(22 + 12 * k));
    for (const auto& glyph : kDigitFont)
        b.insert(b.end(), glyph.begin(), glyph.end());
    return b;
}

// `pages` pages of width × height LEDs as a bitmap block stores them: per page,
// groups of 8 columns, one byte a row, bit 7 leftmost, 0 lit, padding dark.
// `lit` takes the column in the whole bitmap.
inline std::vector<uint8_t> pagesOf(int width, int height, int pages,
                                    const std::function<bool(int x, int y)>& lit) {
    std::vector<uint8_t> out;
    const int groups = (width + 7) / 8;
    for (int p = 0; p < pages; ++p)
        for (int g = 0; g < groups; ++g)
            for (int y = 0; y < height; ++y) {
                uint8_t byte = 0xFF;
                for (int b = 0; b < 8; ++b) {
                    const int x = 8 * g + b;
                    if (x < width && lit(p * width + x, y))
                        byte = static_cast<uint8_t>(byte & ~(0x80 >> b));
                }
                out.push_back(byte);
            }
    return out;
}

struct Program {
    uint8_t effect = 0;
    uint8_t speed = 1;
    uint8_t stop = 0;  // seconds
    uint8_t flicker = 0;
    uint8_t border = 0;
    uint8_t borderSpeed = 1;
    uint16_t columns = 0;        // pages × width
    std::vector<uint8_t> pages;  // as pagesOf makes them
    uint8_t placeholderSize = 0;
    std::vector<std::pair<uint16_t, uint8_t>> placeholders;  // column, animation number
    std::vector<uint8_t> temperature;                        // the whole block, or none
};

// A program record: 30 bytes of header, the bitmap block at 30, the animation
// table after it, the temperature block after that.
inline std::vector<uint8_t> record(const Program& p) {
    std::vector<uint8_t> r(30);
    r[2] = p.effect;
    r[3] = p.speed;
    r[4] = p.stop;
    r[5] = p.flicker;
    r[6] = p.border;
    r[7] = p.borderSpeed;
    r[10] = 1;
    put32(r, 11, 30);
    std::vector<uint8_t> bitmap(5);
    put16(bitmap, 0, static_cast<uint32_t>(p.pages.size() + 5));
    put16(bitmap, 2, p.columns);
    append(bitmap, p.pages);
    append(r, bitmap);
    if (!p.placeholders.empty()) {
        put32(r, 15, static_cast<uint32_t>(r.size()));
        const size_t m = p.placeholders.size();
        std::vector<uint8_t> table(5 + 3 * m);
        put16(table, 0, static_cast<uint32_t>(3 * m + 9));
        table[2] = p.placeholderSize;
        table[3] = static_cast<uint8_t>(m);
        for (size_t k = 0; k < m; ++k) {
            put16(table, 5 + 3 * k, p.placeholders[k].first);
            table[7 + 3 * k] = p.placeholders[k].second;
        }
        append(r, table);
    }
    if (!p.temperature.empty()) {
        put32(r, 19, static_cast<uint32_t>(r.size()));
        append(r, p.temperature);
    }
    put16(r, 0, static_cast<uint32_t>(r.size()));
    return r;
}

// The header (codes, count, table), the records, the digit font.
inline std::vector<uint8_t> image(uint8_t widthCode, uint8_t heightCode,
                                  const std::vector<Program>& programs) {
    std::vector<uint8_t> img(100);
    img[0] = widthCode;
    img[1] = heightCode;
    img[49] = static_cast<uint8_t>(programs.size());
    for (size_t k = 0; k < programs.size(); ++k) {
        put32(img, 50 + 4 * k, static_cast<uint32_t>(img.size()));
        append(img, record(programs[k]));
    }
    put32(img, 45, static_cast<uint32_t>(img.size()));
    append(img, digitFontBlock());
    return img;
}

// A temperature block whose glyphs are one group wide: the minus glyph and the
// ten digits, `height` bytes each, 1 dark.
inline std::vector<uint8_t> temperatureBlock(uint16_t fieldColumn, uint8_t unit, uint8_t minusWidth,
                                             uint8_t digitCell, const std::vector<uint8_t>& minus,
                                             const std::vector<std::vector<uint8_t>>& digits) {
    std::vector<uint8_t> glyphs = minus;
    std::array<uint32_t, 10> offsets{};
    size_t largest = 0;
    for (size_t d = 0; d < 10; ++d) {
        offsets[d] = static_cast<uint32_t>(34 + glyphs.size());
        largest = std::max(largest, digits[d].size());
        append(glyphs, digits[d]);
    }
    std::vector<uint8_t> t(34);
    put16(t, 0, static_cast<uint32_t>(38 + glyphs.size()));
    t[2] = static_cast<uint8_t>(2 * digitCell + minusWidth);
    put16(t, 3, fieldColumn);
    t[5] = unit;
    t[6] = minusWidth;
    put16(t, 7, static_cast<uint32_t>(minus.size() + 5));
    t[9] = digitCell;
    put16(t, 10, static_cast<uint32_t>(largest + 5));
    put16(t, 12, 34);
    for (size_t d = 0; d < 10; ++d)
        put16(t, 14 + 2 * d, offsets[d]);
    append(t, glyphs);
    t.resize(t.size() + 4);
    return t;
}

struct Animation {
    uint8_t frameCount = 1;
    std::vector<uint8_t> frames;  // as stored: inverted, 1 dark
    size_t gapBefore = 0;         // zero bytes in front of the block
};

// The animation set: size code twice, the count, the offsets, the blocks.
inline std::vector<uint8_t> animationSet(uint8_t sizeCode, const std::vector<Animation>& anims) {
    const size_t n = anims.size();
    std::vector<uint8_t> set(8 + 4 * n);
    set[0] = sizeCode;
    set[1] = sizeCode;
    set[4] = static_cast<uint8_t>(n);
    for (size_t k = 0; k < n; ++k) {
        set.resize(set.size() + anims[k].gapBefore);
        put32(set, 8 + 4 * k, static_cast<uint32_t>(set.size()));
        std::vector<uint8_t> block(5);
        put16(block, 0, static_cast<uint32_t>(anims[k].frames.size()));
        block[2] = anims[k].frameCount;
        append(block, anims[k].frames);
        append(set, block);
    }
    return set;
}

}  // namespace testimage
