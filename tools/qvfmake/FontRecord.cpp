#include "tools/qvfmake/FontRecord.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kRecordSize = 40;
constexpr size_t kMaxRecords = 127;

void putU32(std::string& out, size_t at, uint32_t v) {
    out[at] = static_cast<char>(v >> 24);
    out[at + 1] = static_cast<char>(v >> 16);
    out[at + 2] = static_cast<char>(v >> 8);
    out[at + 3] = static_cast<char>(v);
}

}  // namespace

FontRecord::FontRecord(std::string name, int cell) : m_name(std::move(name)), m_cell(cell) {}

void FontRecord::add(char16_t unit, std::string_view bits) {
    if (m_index[unit] != 0) return;
    auto [it, fresh] = m_numbers.try_emplace(std::string(bits), 0);
    if (fresh) {
        // At most 63488 storable units, so numbers stay below 0x10000.
        m_glyphs.push_back(&it->first);
        it->second = static_cast<uint16_t>(m_glyphs.size());
    }
    m_index[unit] = it->second;
    ++m_unitCount;
}

void FontRecord::appendBlock(std::string& out) const {
    const size_t start = out.size();
    out.resize(start + blockSize(), '\0');
    for (size_t c = 0; c < m_index.size(); ++c) {
        out[start + 2 * c] = static_cast<char>(m_index[c] >> 8);
        out[start + 2 * c + 1] = static_cast<char>(m_index[c]);
    }
    size_t at = start + kIndexBytes + glyphBytes();  // after glyph 0's slot
    for (const std::string* g : m_glyphs) {
        std::memcpy(&out[at], g->data(), g->size());
        at += g->size();
    }
}

bool buildQvfFile(const std::vector<FontRecord>& fonts, std::string& bytes, std::string& error) {
    if (fonts.empty() || fonts.size() > kMaxRecords) {
        error = "a .qvf holds 1 to " + std::to_string(kMaxRecords) + " fonts";
        return false;
    }
    const size_t header = 3 + kRecordSize * fonts.size();
    size_t total = header;
    for (const FontRecord& f : fonts)
        total += f.blockSize();
    if (total > std::numeric_limits<uint32_t>::max()) {
        error = "the fonts come to " + std::to_string(total) +
                " bytes, more than a .qvf's 32-bit offsets reach";
        return false;
    }

    bytes.assign(header, '\0');
    bytes.reserve(total);
    bytes[0] = 'Q';
    bytes[1] = 'V';
    bytes[2] = static_cast<char>(fonts.size());
    size_t offset = header;
    for (size_t k = 0; k < fonts.size(); ++k) {
        const FontRecord& f = fonts[k];
        const size_t r = 3 + kRecordSize * k;
        bytes[r + 1] = static_cast<char>(f.cell());
        bytes[r + 2] = static_cast<char>(f.cell());
        std::memcpy(&bytes[r + 3], f.name().data(), std::min<size_t>(f.name().size(), 19));
        putU32(bytes, r + 23, static_cast<uint32_t>(f.blockSize()));
        putU32(bytes, r + 27, static_cast<uint32_t>(offset));
        offset += f.blockSize();
    }
    for (const FontRecord& f : fonts)
        f.appendBlock(bytes);
    return true;
}
