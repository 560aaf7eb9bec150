#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

namespace gif_detail {

inline void putWord(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

// Codes of `width` bits, least significant bit first, as GIF packs them.
class BitPacker {
public:
    void put(int code, int width) {
        m_acc |= static_cast<uint32_t>(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes += static_cast<char>(m_acc & 0xFF);
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    std::string finish() {
        if (m_bits > 0) m_bytes += static_cast<char>(m_acc & 0xFF);
        m_acc = 0;
        m_bits = 0;
        return std::move(m_bytes);
    }

private:
    std::string m_bytes;
    uint32_t m_acc = 0;
    int m_bits = 0;
};

}  // namespace gif_detail

// A GIF89a of w × h pixels: one global palette (0xRRGGBB entries, at most 256),
// one image per frame (palette indices, rows from the top) after a graphic
// control extension of 100 ms that leaves each frame in place. The LZW data
// holds literal codes only, with a clear code before the table would widen the
// codes, so every code stays at the starting width.
inline std::string gif(int w, int h, const std::vector<std::vector<uint8_t>>& frames,
                       const std::vector<uint32_t>& paletteRGB) {
    using namespace gif_detail;
    if (w < 1 || h < 1 || w > 0xFFFF || h > 0xFFFF) throw std::invalid_argument("gif: size");
    if (paletteRGB.empty() || paletteRGB.size() > 256) throw std::invalid_argument("gif: palette");
    // The table holds 2^(bits) entries, at least 2.
    int bits = 1;
    while ((size_t{1} << bits) < paletteRGB.size())
        ++bits;
    const size_t entries = size_t{1} << bits;

    std::string out = "GIF89a";
    putWord(out, w);
    putWord(out, h);
    out += static_cast<char>(0x80 | 0x70 | (bits - 1));  // global table, 8-bit colour resolution
    out += '\0';                                         // background index
    out += '\0';                                         // pixel aspect
    for (size_t k = 0; k < entries; ++k) {
        const uint32_t c = k < paletteRGB.size() ? paletteRGB[k] : 0;
        out += static_cast<char>(c >> 16 & 0xFF);
        out += static_cast<char>(c >> 8 & 0xFF);
        out += static_cast<char>(c & 0xFF);
    }
    if (frames.size() > 1) {
        out += "\x21\xFF\x0BNETSCAPE2.0";
        out += std::string("\x03\x01\x00\x00\x00", 5);  // loop for ever
    }

    const int minCodeSize = bits < 2 ? 2 : bits;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    const int codeWidth = minCodeSize + 1;
    // After a clear the first code adds no table entry and each later one adds
    // one, from clear + 2 up; once the next entry would be 2^codeWidth the
    // decoder reads wider codes. clear - 2 literals stop one entry short of that.
    const int literalsPerClear = clear - 2;

    for (const std::vector<uint8_t>& frame : frames) {
        if (frame.size() != static_cast<size_t>(w) * static_cast<size_t>(h))
            throw std::invalid_argument("gif: frame size");
        out += "\x21\xF9\x04";
        out += static_cast<char>(1 << 2);  // disposal: leave in place; no transparency
        putWord(out, 10);                  // 10 × 10 ms
        out += '\0';                       // transparent index (unused)
        out += '\0';

        out += '\x2C';
        putWord(out, 0);
        putWord(out, 0);
        putWord(out, w);
        putWord(out, h);
        out += '\0';  // no local table, not interlaced

        BitPacker packer;
        int sinceClear = 0;
        packer.put(clear, codeWidth);
        for (uint8_t index : frame) {
            if (index >= entries) throw std::invalid_argument("gif: index outside the palette");
            if (sinceClear == literalsPerClear) {
                packer.put(clear, codeWidth);
                sinceClear = 0;
            }
            packer.put(index, codeWidth);
            ++sinceClear;
        }
        packer.put(end, codeWidth);
        const std::string data = packer.finish();

        out += static_cast<char>(minCodeSize);
        for (size_t at = 0; at < data.size(); at += 255) {
            const size_t n = data.size() - at < 255 ? data.size() - at : 255;
            out += static_cast<char>(n);
            out.append(data, at, n);
        }
        out += '\0';
    }
    out += '\x3B';
    return out;
}

}  // namespace testing_support
