#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Font files for tests, laid out byte by byte: "QV", the record count, the
// 40-byte records, then each record's glyph block (index, then bitmaps).
struct QvfFontSpec {
    std::string name;
    int cell = 8;
    // Each glyph as rows of '#' (ink) and '.', cell rows of cell characters.
    std::map<char16_t, std::vector<std::string>> glyphs;
};

inline std::string makeQvf(const std::vector<QvfFontSpec>& fonts) {
    auto put16 = [](std::string& s, size_t at, uint32_t v) {
        s[at] = static_cast<char>(v >> 8);
        s[at + 1] = static_cast<char>(v);
    };
    auto put32 = [](std::string& s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    std::string file(3 + 40 * fonts.size(), '\0');
    file[0] = 'Q';
    file[1] = 'V';
    file[2] = static_cast<char>(fonts.size());
    for (size_t k = 0; k < fonts.size(); ++k) {
        const QvfFontSpec& f = fonts[k];
        const int stride = (f.cell + 7) / 8;
        const size_t glyphSize = static_cast<size_t>(stride) * f.cell;
        std::string block(0x40000 + glyphSize * (f.glyphs.size() + 1), '\0');
        uint32_t number = 1;
        for (const auto& [unit, rows] : f.glyphs) {
            put16(block, 2u * unit, number);
            for (int y = 0; y < f.cell && y < static_cast<int>(rows.size()); ++y)
                for (int x = 0; x < f.cell && x < static_cast<int>(rows[y].size()); ++x)
                    if (rows[y][x] == '#')
                        block[0x40000 + number * glyphSize + y * stride + x / 8] |=
                            static_cast<char>(0x80 >> (x % 8));
            ++number;
        }
        const size_t record = 3 + 40 * k;
        file[record + 1] = static_cast<char>(f.cell);
        file[record + 2] = static_cast<char>(f.cell);
        for (size_t i = 0; i < f.name.size() && i < 19; ++i)
            file[record + 3 + i] = f.name[i];
        put32(file, record + 23, static_cast<uint32_t>(block.size()));
        put32(file, record + 27, static_cast<uint32_t>(file.size()));
        file += block;
    }
    return file;
}
