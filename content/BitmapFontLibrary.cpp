#include "content/BitmapFontLibrary.h"

#include "platform/StringUtil.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

// Bytes past the end of what was read count as 0xFF (all ink).
uint8_t byteAt(std::string_view bytes, size_t at) {
    return at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : 0xFF;
}

uint32_t u32At(std::string_view bytes, size_t at) {
    return static_cast<uint32_t>(byteAt(bytes, at)) << 24 |
           static_cast<uint32_t>(byteAt(bytes, at + 1)) << 16 |
           static_cast<uint32_t>(byteAt(bytes, at + 2)) << 8 | byteAt(bytes, at + 3);
}

int rowBytes(int cell) {
    return (cell + 7) / 8;
}

}  // namespace

bool BitmapFontLibrary::addFile(std::string_view bytes, uint32_t ansiCodePage) {
    if (bytes.size() <= 2) return false;
    const bool looksLikeFont =
        bytes.size() >= 0x20000 || bytes[0] == 'Q' || bytes[1] == 'V' || byteAt(bytes, 2) >= 1;
    if (!looksLikeFont) return false;
    const size_t count = byteAt(bytes, 2);
    const auto file = std::make_shared<const std::string>(bytes);
    for (size_t k = 0; k < count; ++k) {
        const size_t record = 3 + kRecordSize * k;
        // A record the file does not hold in full is no font.
        if (record + kRecordSize > bytes.size()) break;
        BitmapFont font;
        font.cell = byteAt(bytes, record + 1);
        font.secondSize = byteAt(bytes, record + 2);
        const std::string_view rawName = bytes.substr(record + 3, 20);
        std::string name(rawName.substr(0, rawName.find('\0')));
        platform::decodeCodePage(name, ansiCodePage, font.name);
        const uint32_t length = u32At(bytes, record + 23);
        const uint32_t offset = u32At(bytes, record + 27);
        font.file = file;
        if (offset < file->size()) font.block = std::string_view(*file).substr(offset, length);
        // The glyph index as the block has it; a truncated index reads as 0xFF too.
        for (uint32_t c = 1; c <= 0xFFFF; ++c)
            if (byteAt(font.block, 2 * c) != 0 || byteAt(font.block, 2 * c + 1) != 0)
                font.codeUnits.push_back(static_cast<char16_t>(c));
        m_fonts.push_back(std::move(font));
    }
    return true;
}

void BitmapFontLibrary::loadFolder(const std::filesystem::path& fontFolder, uint32_t ansiCodePage) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::recursive_directory_iterator it(fontFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(ec) &&
            platform::equalsNoCase(it->path().extension().u16string(), u".qvf") &&
            it->file_size(sizeError) <= kMaxFileSize && !sizeError)
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) continue;
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        addFile(bytes, ansiCodePage);
    }
}

uint32_t BitmapFontLibrary::listValue(size_t index) const {
    const uint32_t cell =
        index < m_fonts.size() ? static_cast<uint32_t>(m_fonts[index].cell) & 0xFF : 0;
    return kMarker << 24 | cell << 16 | (static_cast<uint32_t>(index) & 0xFFFF);
}

uint16_t BitmapFontLibrary::glyphNumber(int fontIndex, char16_t unit) const {
    if (fontIndex < 0 || fontIndex >= static_cast<int>(m_fonts.size())) return 0;
    const std::string_view block = m_fonts[fontIndex].block;
    return static_cast<uint16_t>(byteAt(block, 2u * unit) << 8 | byteAt(block, 2u * unit + 1));
}

int BitmapFontLibrary::drawGlyph(int fontIndex, char16_t unit, platform::Bitmap* target,
                                 uint32_t ink, uint32_t background) const {
    if (fontIndex < 0 || fontIndex >= static_cast<int>(m_fonts.size())) return 0;
    const BitmapFont& font = m_fonts[fontIndex];
    if (!target) return font.cell;
    const uint16_t glyph = glyphNumber(fontIndex, unit);
    if (glyph == 0) return 0;
    const int stride = rowBytes(font.cell);
    const size_t base = kGlyphBase + static_cast<size_t>(glyph) * stride * font.cell;
    for (int y = 0; y < font.cell; ++y)
        for (int x = 0; x < font.cell; ++x) {
            const uint8_t b = byteAt(font.block, base + static_cast<size_t>(y) * stride + x / 8);
            target->setPixel(x, y, (b >> (7 - x % 8)) & 1 ? ink : background);
        }
    return font.cell;
}
