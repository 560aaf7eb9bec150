#include "platform/GifWriter.h"

#include <algorithm>
#include <unordered_map>

namespace platform {

namespace {

void putWord(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// Variable-length LZW as GIF wants it, codes packed from the low bit, in
// sub-blocks of at most 255 bytes.
class LzwEncoder {
public:
    explicit LzwEncoder(int minCodeSize) : m_minCodeSize(minCodeSize) {}

    std::string encode(const std::vector<uint8_t>& pixels) {
        const int clear = 1 << m_minCodeSize;
        const int end = clear + 1;
        reset();
        emit(clear);
        int prefix = -1;
        for (uint8_t pixel : pixels) {
            if (prefix < 0) {
                prefix = pixel;
                continue;
            }
            const uint32_t key = static_cast<uint32_t>(prefix) << 8 | pixel;
            if (auto it = m_table.find(key); it != m_table.end()) {
                prefix = it->second;
                continue;
            }
            emit(prefix);
            const int added = m_next++;
            m_table.emplace(key, added);
            if (added >= (1 << m_codeSize) && m_codeSize < 12) ++m_codeSize;
            // A full table starts afresh.
            if (added == 4095) {
                emit(clear);
                reset();
            }
            prefix = pixel;
        }
        if (prefix >= 0) emit(prefix);
        emit(end);
        if (m_bits > 0) m_bytes += static_cast<char>(m_accumulator & 0xFF);

        std::string out;
        out += static_cast<char>(m_minCodeSize);
        for (size_t at = 0; at < m_bytes.size(); at += 255) {
            const size_t n = std::min<size_t>(255, m_bytes.size() - at);
            out += static_cast<char>(n);
            out.append(m_bytes, at, n);
        }
        out += '\0';
        return out;
    }

private:
    void reset() {
        m_table.clear();
        m_codeSize = m_minCodeSize + 1;
        m_next = (1 << m_minCodeSize) + 2;
    }
    void emit(int code) {
        m_accumulator |= static_cast<uint32_t>(code) << m_bits;
        m_bits += m_codeSize;
        while (m_bits >= 8) {
            m_bytes += static_cast<char>(m_accumulator & 0xFF);
            m_accumulator >>= 8;
            m_bits -= 8;
        }
    }

    const int m_minCodeSize;
    int m_codeSize = 0;
    int m_next = 0;
    std::unordered_map<uint32_t, int> m_table;
    uint32_t m_accumulator = 0;
    int m_bits = 0;
    std::string m_bytes;
};

}  // namespace

GifWriter::GifWriter(int width, int height, std::vector<uint32_t> palette)
    : m_width(std::clamp(width, 1, 65535)),
      m_height(std::clamp(height, 1, 65535)),
      m_palette(std::move(palette)) {
    if (m_palette.empty()) m_palette.push_back(0);
    if (m_palette.size() > 256) m_palette.resize(256);
    while ((1u << m_paletteBits) < m_palette.size())
        ++m_paletteBits;
}

bool GifWriter::addFrame(const std::vector<uint8_t>& pixels, int delayMs) {
    if (pixels.size() != static_cast<size_t>(m_width) * m_height) return false;
    for (uint8_t p : pixels)
        if (p >= m_palette.size()) return false;
    const int total = std::max(delayMs, 0) + m_carryMs;
    const int hundredths = std::min(total / 10, 65535);
    m_carryMs = total - hundredths * 10;

    // Graphic control: no transparency, the frame's delay.
    m_frames += "\x21\xF9\x04";
    m_frames += '\x04';  // left in place
    putWord(m_frames, hundredths);
    m_frames += '\0';
    m_frames += '\0';
    // Image descriptor: the whole picture, the global palette.
    m_frames += '\x2C';
    putWord(m_frames, 0);
    putWord(m_frames, 0);
    putWord(m_frames, m_width);
    putWord(m_frames, m_height);
    m_frames += '\0';
    m_frames += LzwEncoder(std::max(m_paletteBits, 2)).encode(pixels);
    return true;
}

std::string GifWriter::finish() const {
    std::string out = "GIF89a";
    putWord(out, m_width);
    putWord(out, m_height);
    out += static_cast<char>(0x80 | (m_paletteBits - 1));  // a global palette of 2^bits
    out += '\0';
    out += '\0';
    for (size_t k = 0; k < (size_t{1} << m_paletteBits); ++k) {
        const uint32_t c = k < m_palette.size() ? m_palette[k] : 0;
        out += static_cast<char>(c >> 16 & 0xFF);
        out += static_cast<char>(c >> 8 & 0xFF);
        out += static_cast<char>(c & 0xFF);
    }
    // Loop for ever.
    out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    putWord(out, 0);
    out += '\0';
    out += m_frames;
    out += '\x3B';
    return out;
}

}  // namespace platform
