#pragma once

#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"

#include <string>
#include <vector>

// The program editor's font list: the system's families (value 0), then every
// bitmap font with its list value.
inline std::vector<CDlgProgram::FontEntry> makeFontList(std::vector<std::u16string> families,
                                                        const BitmapFontLibrary& bitmapFonts) {
    std::vector<CDlgProgram::FontEntry> fonts;
    for (std::u16string& family : families)
        fonts.push_back({std::move(family), 0});
    for (size_t i = 0; i < bitmapFonts.fonts().size(); ++i)
        fonts.push_back({bitmapFonts.fonts()[i].name, bitmapFonts.listValue(i)});
    return fonts;
}
