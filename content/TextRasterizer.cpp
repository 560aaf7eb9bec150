#include "content/TextRasterizer.h"

#include "platform/StringUtil.h"

#include <algorithm>

namespace {

constexpr std::u16string_view kSong = u"\u5B8B\u4F53";               // 宋体
constexpr std::u16string_view kYaHei = u"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑
constexpr std::u16string_view kHei = u"\u9ED1\u4F53";                // 黑体

bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           platform::equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// These faces are drawn a character at a time, the others in one piece.
bool drawnByCharacter(std::u16string_view face) {
    return face == kSong || face == kYaHei || face == kHei;
}

bool rowHasInk(const platform::Bitmap& b, int y, int width, uint32_t ink) {
    for (int x = 0; x < width; ++x)
        if (b.pixel(x, y) == ink) return true;
    return false;
}

bool columnHasInk(const platform::Bitmap& b, int x, int height, uint32_t ink) {
    for (int y = 0; y < height; ++y)
        if (b.pixel(x, y) == ink) return true;
    return false;
}

}  // namespace

TextRasterizer::Style TextRasterizer::styleOf(const ProgramFields& program,
                                              std::vector<FontEntry> fontList) {
    Style s;
    s.font.lfHeight = -program.fontSize;
    s.font.lfWeight = program.bold ? 700 : 400;
    s.font.lfItalic = program.italic ? 1 : 0;
    s.font.lfUnderline = program.underline ? 1 : 0;
    s.font.lfStrikeOut = program.strikeOut ? 1 : 0;
    s.font.lfFaceName = program.face;
    s.ink = platform::argbOf(program.color);
    s.background = platform::argbOf(program.background);
    s.pitchOffset = program.pitchOffset;
    s.autoAdjust = program.autoAdjust;
    s.screenHeight = program.screenHeight;
    s.fontList = std::move(fontList);
    return s;
}

int TextRasterizer::listEntryFor(const std::vector<FontEntry>& list, std::u16string_view face) {
    for (size_t i = 0; i < list.size(); ++i)
        if (startsWithNoCase(list[i].name, face)) return static_cast<int>(i);
    return -1;
}

TextRasterizer::Choice TextRasterizer::autoAdjusted(const Style& style) const {
    Choice c{style.font, 0};
    if (!style.autoAdjust) return c;
    if (listEntryFor(style.fontList, kBitmapFontPrefix) >= 0) {
        c.font.lfFaceName = kBitmapFontPrefix;
    } else if (style.screenHeight != 11) {
        c.font.lfFaceName = kSong;
        c.font.lfHeight = -(style.screenHeight + 1);
    } else {
        c.font.lfHeight = -12;
        auto listed = [&](std::u16string_view face) {
            return std::any_of(style.fontList.begin(), style.fontList.end(),
                               [&](const auto& e) { return platform::equalsNoCase(e.name, face); });
        };
        // Only the face itself counts: the rows moved up are right for its shapes, not for a
        // stand-in's.
        if (listed(kYaHei)) {
            c.font.lfFaceName = kYaHei;
            c.verticalOffset = -3;
        } else if (listed(kHei)) {
            c.font.lfFaceName = kHei;
            c.verticalOffset = -1;
        } else {
            c.font.lfFaceName = u"Arial";
        }
    }
    return c;
}

TextRasterizer::Run TextRasterizer::rasterize(std::u16string_view text, const Style& given) const {
    if (text.empty()) return {};
    // Each character adds the spacing: a run that would be wider than a line is
    // refused before anything is measured or allocated.
    if (static_cast<long long>(text.size()) * std::max(given.pitchOffset, 0) > given.maxColumns) {
        Run run;
        run.tooLong = true;
        return run;
    }
    // Below this every character's advance is negative anyway, and the renderer
    // gets numbers it can hold.
    Style style = given;
    style.pitchOffset = std::max(style.pitchOffset, -kMaxColumns);
    const Choice choice = autoAdjusted(style);
    const int entry = listEntryFor(style.fontList, choice.font.lfFaceName);
    if (entry >= 0 && BitmapFontLibrary::isBitmapFontValue(style.fontList[entry].value)) {
        const int index = BitmapFontLibrary::fontIndexOf(style.fontList[entry].value);
        const int cell = m_bitmapFonts.drawGlyph(index, 0, nullptr, 0, 0);
        if (cell == 11) return bitmapPath(text, style, index, cell);
    }
    return gdiPath(text, style, choice);
}

TextRasterizer::Run TextRasterizer::gdiPath(std::u16string_view text, const Style& style,
                                            Choice choice) const {
    const platform::TextSize whole = m_renderer.measure(choice.font, text, style.pitchOffset);
    if (whole.width <= 0 || whole.height <= 0) return {};
    Run run;
    if (whole.width > style.maxColumns || whole.height > kMaxColumns) {
        run.tooLong = true;
        return run;
    }
    run.image = platform::Bitmap(whole.width, whole.height, style.background);
    const bool byCharacter = drawnByCharacter(choice.font.lfFaceName);
    const size_t pieces = byCharacter ? text.size() : 1;
    int x = 0;
    int inkEnd = 0;  // past the last ink column drawn
    for (size_t i = 0; i < pieces; ++i) {
        const std::u16string_view piece = byCharacter ? text.substr(i, 1) : text;
        platform::LogFont font = choice.font;
        platform::TextSize size = m_renderer.measure(font, piece, style.pitchOffset);
        if (!style.autoAdjust) {
            m_renderer.draw(run.image, {x, 0, size.width, size.height}, font, piece,
                            style.pitchOffset, style.ink);
            x += size.width;
            continue;
        }
        // Shrink the font a pixel at a time until the piece's ink fits the screen.
        int shrinks = 0;
        platform::Bitmap scratch;
        int first = 0, last = 0;
        while (true) {
            scratch = platform::Bitmap(std::max(size.width, 1), std::max(size.height, 1),
                                       style.background);
            m_renderer.draw(scratch, {0, 0, size.width, size.height}, font, piece,
                            style.pitchOffset, style.ink);
            const int h = scratch.height(), w = scratch.width();
            first = h / 2;
            for (int y = 0; y < h / 2; ++y)
                if (rowHasInk(scratch, y, w, style.ink)) {
                    first = y;
                    break;
                }
            last = h / 2;
            for (int y = h - 1; y >= h / 2; --y)
                if (rowHasInk(scratch, y, w, style.ink)) {
                    last = y;
                    break;
                }
            // A font cannot shrink below a pixel; what is left is drawn as it is.
            if (last + 1 - first <= style.screenHeight || font.lfHeight >= -1) break;
            font.lfHeight += 1;
            ++shrinks;
            size = m_renderer.measure(font, piece, style.pitchOffset);
        }
        const int w = scratch.width(), h = scratch.height();
        int left = -1, right = -1;
        for (int c = 0; c <= w / 2 && c < w; ++c)
            if (columnHasInk(scratch, c, h, style.ink)) {
                left = c;
                break;
            }
        for (int c = w - 1; c >= w / 2; --c)
            if (columnHasInk(scratch, c, h, style.ink)) {
                right = c;
                break;
            }
        if (left < 0 && right >= 0) left = w / 2;
        if (right < 0 && left >= 0) right = w / 2;
        if (left < 0) {
            x += style.pitchOffset + 1;
            continue;
        }
        const int inkWidth = right + 1 - left;
        // Each piece moves on by its ink and one column more than it was measured
        // with, so the ink of the last pieces can pass the measured width: the
        // image grows rather than lose their columns.
        if (x + inkWidth > run.image.width()) {
            const long long needed = static_cast<long long>(x) + inkWidth;
            if (needed > style.maxColumns) {
                Run over;
                over.tooLong = true;
                return over;
            }
            const int grown = static_cast<int>(
                std::min<long long>(std::max<long long>(needed, 2LL * run.image.width()),
                                    std::max<long long>(needed, style.maxColumns)));
            platform::Bitmap wider(grown, run.image.height(), style.background);
            wider.copyFrom(run.image, {0, 0, run.image.width(), run.image.height()}, 0, 0);
            run.image = std::move(wider);
        }
        run.image.copyFrom(scratch, {left, 0, inkWidth, h}, x, choice.verticalOffset + shrinks);
        inkEnd = std::max(inkEnd, x + inkWidth);
        x += inkWidth + style.pitchOffset + 1;
    }
    // A grown image ends with the last ink drawn (or the width measured), not with its spare room.
    const int end = std::max(inkEnd, whole.width);
    if (end < run.image.width()) {
        platform::Bitmap cut(end, run.image.height(), style.background);
        cut.copyFrom(run.image, {0, 0, end, run.image.height()}, 0, 0);
        run.image = std::move(cut);
    }
    run.advance = std::max(0, x);
    return run;
}

TextRasterizer::Run TextRasterizer::bitmapPath(std::u16string_view text, const Style& style,
                                               int fontIndex, int cell) const {
    const int n = static_cast<int>(text.size());
    const long long width = static_cast<long long>(style.pitchOffset + cell + 1) * n;
    if (width <= 0) return {};
    Run run;
    if (width > style.maxColumns) {
        run.tooLong = true;
        return run;
    }
    run.image = platform::Bitmap(static_cast<int>(width), cell, platform::kBlack);
    run.image.fillRect({0, 0, cell * n, cell}, style.background);
    int x = 0;
    platform::Bitmap scratch(2 * cell, 2 * cell, style.background);
    for (char16_t unit : text) {
        scratch.fill(style.background);
        if (m_bitmapFonts.drawGlyph(fontIndex, unit, &scratch, style.ink, style.background) == 0)
            m_renderer.drawDefault(scratch, {0, 0, cell, cell}, std::u16string_view(&unit, 1),
                                   style.ink);
        int left = -1, end = -1;
        for (int c = 0; c < scratch.width(); ++c)
            if (columnHasInk(scratch, c, scratch.height(), style.ink)) {
                if (left < 0) left = c;
                end = c + 1;
            }
        if (left < 0) {
            x += style.pitchOffset;
            continue;
        }
        run.image.copyFrom(scratch, {left, 0, end - left, cell}, x, 0);
        x += end - left + style.pitchOffset;
    }
    run.advance = std::max(0, x - style.pitchOffset - 1);
    return run;
}

std::vector<uint8_t> TextRasterizer::pack(const platform::Bitmap& image) {
    std::vector<uint8_t> out;
    const int groups = (image.width() + 7) / 8;
    out.reserve(static_cast<size_t>(groups) * image.height());
    for (int g = 0; g < groups; ++g)
        for (int y = 0; y < image.height(); ++y) {
            uint8_t byte = 0;
            for (int b = 0; b < 8; ++b) {
                const int x = g * 8 + b;
                if (x < image.width() && image.isLit(x, y)) byte |= static_cast<uint8_t>(0x80 >> b);
            }
            out.push_back(byte);
        }
    return out;
}

TextRasterizer::GlyphStrip TextRasterizer::glyphStrip(std::u16string_view text,
                                                      const Style& style) const {
    GlyphStrip strip;
    const Run run = rasterize(text, style);
    const long long width = static_cast<long long>(run.advance) + 2LL * style.pitchOffset + 1;
    if (width <= 0 || width > style.maxColumns || style.screenHeight <= 0) return strip;
    platform::Bitmap canvas(static_cast<int>(width), style.screenHeight, platform::kBlack);
    canvas.copyFrom(run.image, {0, 0, run.image.width(), run.image.height()}, 0, 0);
    strip.bytes = pack(canvas);
    strip.lengthPlus5 = static_cast<uint16_t>(strip.bytes.size() + 5);
    strip.width = static_cast<uint16_t>(run.advance);
    return strip;
}
