#include "tools/qvfmake/GlyphRasterizer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

const char* freetypeMessage(FT_Error err) {
#undef FTERRORS_H_
#define FT_ERROR_START_LIST switch (err) {
#define FT_ERRORDEF(e, v, s) \
    case v:                  \
        return s;
#define FT_ERROR_END_LIST }
#include FT_ERRORS_H
    return "unknown FreeType error";
}

bool isStorable(FT_ULong c) {
    return c <= 0xFFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

}  // namespace

GlyphRasterizer::GlyphRasterizer() {
    if (FT_Init_FreeType(&m_library) != 0) m_library = nullptr;
}

GlyphRasterizer::~GlyphRasterizer() {
    if (m_face) FT_Done_Face(m_face);
    if (m_library) FT_Done_FreeType(m_library);
}

bool GlyphRasterizer::open(const std::string& path, int faceIndex, int pixelSize,
                           std::string& error) {
    if (!m_library) {
        error = "FreeType could not be started";
        return false;
    }
    // FreeType's own reason for a missing or unreadable file is vague; say what the system says.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a folder, not a font file";
        return false;
    }
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    FT_Face face = nullptr;
    if (FT_Error err = FT_New_Face(m_library, path.c_str(), faceIndex, &face); err != 0) {
        FT_Face probe = nullptr;
        if (faceIndex > 0 && FT_New_Face(m_library, path.c_str(), -1, &probe) == 0) {
            error = path + " has " + std::to_string(probe->num_faces) + " face(s); --face-index " +
                    std::to_string(faceIndex) + " is not one of them";
            FT_Done_Face(probe);
        } else {
            error = path + ": not a font FreeType can read (" + freetypeMessage(err) + ")";
        }
        return false;
    }
    m_face = face;
    m_pixelSize = pixelSize;

    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        error = path + " has no Unicode character map";
        return false;
    }

    if (!FT_IS_SCALABLE(face)) {
        int strike = -1;
        for (int i = 0; i < face->num_fixed_sizes && strike < 0; ++i)
            if ((face->available_sizes[i].y_ppem + 32) / 64 == pixelSize) strike = i;
        for (int i = 0; i < face->num_fixed_sizes && strike < 0; ++i)
            if (face->available_sizes[i].height == pixelSize) strike = i;
        if (strike < 0) {
            std::string sizes;
            for (int i = 0; i < face->num_fixed_sizes; ++i)
                sizes += (i ? ", " : "") +
                         std::to_string((face->available_sizes[i].y_ppem + 32) / 64) + " px";
            error = path + " is a bitmap font without a " + std::to_string(pixelSize) +
                    " px strike (it has " + (sizes.empty() ? std::string("none") : sizes) + ")";
            return false;
        }
        if (FT_Error err = FT_Select_Size(face, strike); err != 0) {
            error = path + ": cannot select the " + std::to_string(pixelSize) + " px strike (" +
                    freetypeMessage(err) + ")";
            return false;
        }
        m_strike = true;
    } else if (FT_Error err = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
               err != 0) {
        error = path + ": cannot set " + std::to_string(pixelSize) + " px (" +
                freetypeMessage(err) + ")";
        return false;
    }
    return true;
}

int GlyphRasterizer::ascender() const {
    return m_face ? static_cast<int>((m_face->size->metrics.ascender + 32) >> 6) : 0;
}

std::string GlyphRasterizer::description() const {
    if (!m_face) return {};
    std::string d = m_face->family_name ? m_face->family_name : "unnamed";
    if (m_face->style_name && std::strcmp(m_face->style_name, "Regular") != 0)
        d += std::string(" ") + m_face->style_name;
    d += ", " + std::to_string(m_pixelSize) + (m_strike ? " px strike" : " px");
    return d;
}

std::vector<char32_t> GlyphRasterizer::mappedCodePoints() const {
    std::vector<char32_t> out;
    if (!m_face) return out;
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(m_face, &index); index != 0;
         c = FT_Get_Next_Char(m_face, c, &index))
        if (isStorable(c)) out.push_back(static_cast<char32_t>(c));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool GlyphRasterizer::maps(char32_t cp) const {
    return m_face && isStorable(cp) && FT_Get_Char_Index(m_face, cp) != 0;
}

bool GlyphRasterizer::render(char32_t cp, int cell, int baseline, std::string& bits,
                             bool& clipped) const {
    clipped = false;
    if (!m_face || FT_Load_Char(m_face, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0)
        return false;
    const FT_GlyphSlot slot = m_face->glyph;
    const FT_Bitmap* source = &slot->bitmap;

    // Embedded grey or colour strikes come out in other modes; make them one byte a pixel.
    FT_Bitmap converted;
    FT_Bitmap_Init(&converted);
    bool bytePixels = false;
    int levels = 2;
    if (source->pixel_mode == FT_PIXEL_MODE_GRAY) {
        bytePixels = true;
        levels = source->num_grays;
    } else if (source->pixel_mode != FT_PIXEL_MODE_MONO && source->width > 0 && source->rows > 0) {
        if (FT_Bitmap_Convert(m_library, source, &converted, 1) != 0) {
            FT_Bitmap_Done(m_library, &converted);
            return false;
        }
        source = &converted;
        bytePixels = true;
        levels = converted.num_grays;
    }

    const int stride = (cell + 7) / 8;
    bits.assign(static_cast<size_t>(stride) * cell, '\0');
    const int width = static_cast<int>(source->width);
    const int rows = static_cast<int>(source->rows);
    const int x0 = std::clamp(slot->bitmap_left, 0, std::max(0, cell - width));
    const int y0 = baseline - slot->bitmap_top;
    for (int r = 0; r < rows; ++r) {
        const int y = y0 + r;
        const bool rowInside = y >= 0 && y < cell;
        // A negative pitch means the rows are stored bottom row first.
        const int stored = source->pitch < 0 ? rows - 1 - r : r;
        const unsigned char* line =
            source->buffer + static_cast<ptrdiff_t>(stored) * std::abs(source->pitch);
        for (int c = 0; c < width; ++c) {
            const int x = x0 + c;
            const bool ink = bytePixels ? line[c] * 2 >= std::max(levels - 1, 1)
                                        : (line[c / 8] >> (7 - c % 8)) & 1;
            if (!ink) continue;
            if (!rowInside || x >= cell)
                clipped = true;
            else
                bits[static_cast<size_t>(y) * stride + x / 8] |= static_cast<char>(0x80 >> (x % 8));
        }
    }
    FT_Bitmap_Done(m_library, &converted);
    return true;
}
