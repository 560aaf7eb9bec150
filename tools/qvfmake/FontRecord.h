#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One font record of a ".qvf" file being put together: a name, a cell size and
// the glyph bitmap of each code unit. Code units whose bitmaps are equal share
// one glyph.
class FontRecord {
public:
    static constexpr size_t kIndexBytes = 0x40000;  // 65536 big-endian glyph numbers

    FontRecord(std::string name, int cell);
    // m_glyphs points into m_numbers' keys, which a move keeps but a copy would not.
    FontRecord(const FontRecord&) = delete;
    FontRecord& operator=(const FontRecord&) = delete;
    FontRecord(FontRecord&&) = default;
    FontRecord& operator=(FontRecord&&) = default;

    const std::string& name() const { return m_name; }
    int cell() const { return m_cell; }
    size_t glyphBytes() const { return static_cast<size_t>((m_cell + 7) / 8) * m_cell; }

    // `bits` is glyphBytes() long. A unit given twice keeps its first bitmap.
    void add(char16_t unit, std::string_view bits);

    size_t unitCount() const { return m_unitCount; }
    size_t glyphCount() const { return m_glyphs.size(); }

    // The glyph block: the index, then glyph 0's unused slot and glyphs 1..n.
    size_t blockSize() const { return kIndexBytes + (m_glyphs.size() + 1) * glyphBytes(); }
    void appendBlock(std::string& out) const;

private:
    std::string m_name;
    int m_cell;
    std::vector<uint16_t> m_index = std::vector<uint16_t>(0x10000, 0);
    std::vector<const std::string*> m_glyphs;  // glyph g's bitmap at g - 1
    std::unordered_map<std::string, uint16_t> m_numbers;
    size_t m_unitCount = 0;
};

// The whole file: "QV", the record count, the 40-byte records, then the
// glyph blocks one after the other. False when the fonts do not fit the
// format (count or 32-bit offsets).
bool buildQvfFile(const std::vector<FontRecord>& fonts, std::string& bytes, std::string& error);
