// Arbitrary bytes as a font file: load it, then draw glyphs of every font it
// yields, including units it does not have and the last one it claims.
#include "content/BitmapFontLibrary.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BitmapFontLibrary fonts;
    fonts.addFile(std::string_view(reinterpret_cast<const char*>(data), size), 936);
    for (size_t i = 0; i < fonts.fonts().size() && i < 8; ++i) {
        const int index = static_cast<int>(i);
        const int cell = fonts.drawGlyph(index, u'A', nullptr, 0, 0);
        platform::Bitmap target(cell > 0 ? cell : 1, cell > 0 ? cell : 1);
        const auto& units = fonts.fonts()[i].codeUnits;
        for (char16_t unit : {char16_t{0}, char16_t{u'A'}, char16_t{0xFFFF},
                              units.empty() ? char16_t{1} : units.back()})
            fonts.drawGlyph(index, unit, &target, 0xFFFF0000u, 0xFF000000u);
    }
    return 0;
}
