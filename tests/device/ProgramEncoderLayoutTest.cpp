// Where the encoder puts things on the line: spacing, offsets, AutoAdjust,
// pictures, the temperature field, a red background and the font a program
// inherits from the one before it. Every column below is worked out by hand
// from the fake renderer's block characters.
#include "content/ProgramEncoder.h"
#include "content/TextRasterizer.h"
#include "device/DeviceImage.h"
#include "support/FakeImageCodec.h"
#include "support/ProgramSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using platform::Bitmap;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlack = 0xFF000000u;
const std::u16string kYaHei = u"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑
const std::u16string kHei = u"\u9ED1\u4F53";                // 黑体
const std::u16string kSong = u"\u5B8B\u4F53";               // 宋体

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

// Block characters, standing on the bottom of a 12-row line with their ink in
// the bottom 8 rows: '-' is 3 columns wide, '8' 6, every other character 4,
// plus the extra spacing after each. In the face "Wide" every character is 6
// wide. A character listed as 0 wide has no glyph: it measures and draws nothing.
class BlockRenderer : public platform::TextRenderer {
public:
    std::map<char16_t, int> widths{{u'-', 3}, {u'8', 6}};
    struct Draw {
        std::u16string text, face;
    };
    std::vector<Draw> draws;

    int widthOf(const platform::LogFont& font, char16_t c) const {
        auto it = widths.find(c);
        if (it != widths.end() && it->second == 0) return 0;
        if (font.lfFaceName == u"Wide") return 6;
        return it == widths.end() ? 4 : it->second;
    }
    platform::TextSize measure(const platform::LogFont& font, std::u16string_view text,
                               int extra) override {
        int total = 0;
        for (char16_t c : text)
            if (widthOf(font, c) > 0) total += widthOf(font, c) + extra;
        return {total, 12};
    }
    void draw(Bitmap& target, platform::Rect box, const platform::LogFont& font,
              std::u16string_view text, int extra, uint32_t ink) override {
        draws.push_back({std::u16string(text), font.lfFaceName});
        // Centred in the box and standing on its bottom, clipped to it.
        int x = box.x + (box.width - measure(font, text, extra).width) / 2;
        for (char16_t c : text) {
            const int w = widthOf(font, c);
            if (w == 0) continue;
            for (int dy = 0; dy < 8; ++dy)
                for (int dx = 0; dx < w; ++dx) {
                    const int px = x + dx, py = box.y + box.height - 1 - dy;
                    if (px >= box.x && px < box.x + box.width && py >= box.y)
                        target.setPixel(px, py, ink);
                }
            x += w + extra;
        }
    }
    void drawDefault(Bitmap&, platform::Rect, std::u16string_view, uint32_t) override {}
};

uint16_t u16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) << 8 |
                                 static_cast<uint8_t>(s[at + 1]));
}
uint32_t u32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(u16(s, at)) << 16 | u16(s, at + 2);
}
uint8_t byteAt(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]);
}

// One row of a bitmap, '#' where lit.
std::string row(const Bitmap& b, int y) {
    std::string r;
    for (int x = 0; x < b.width(); ++x)
        r += b.isLit(x, y) ? '#' : '.';
    return r;
}

// A row of `width` columns lit in the given [first, first + count) spans.
std::string lit(int width, std::initializer_list<std::pair<int, int>> spans) {
    std::string r(static_cast<size_t>(width), '.');
    for (auto [first, count] : spans)
        r.replace(static_cast<size_t>(first), static_cast<size_t>(count), count, '#');
    return r;
}

// Row r of a record's bitmap, read from its page data (0 = lit): one page of W
// columns after another, each as ceil(W / 8) groups of H rows, bit 7 leftmost.
std::string recordRow(const std::string& record, int W, int H, int r) {
    const int columns = u16(record, ImageLayout::kRecordHeaderSize + 2);
    const int groups = (W + 7) / 8;
    std::string out;
    for (int c = 0; c < columns; ++c) {
        const size_t at = ImageLayout::kRecordHeaderSize + ImageLayout::kBitmapHeaderSize +
                          static_cast<size_t>(c / W) * groups * H +
                          static_cast<size_t>(c % W / 8) * H + r;
        out += (byteAt(record, at) >> (7 - c % 8) & 1) == 0 ? '#' : '.';
    }
    return out;
}

// A program's placement fields.
struct Placement {
    int32_t offsetX = 0, offsetY = 0, pitch = 0, autoAdjust = 0;
};

class Layout : public ::testing::Test {
protected:
    Layout()
        : encoder(CDlgProgram::Instance::Encoder, texts),
          rasterizer(renderer, fonts),
          programs(rasterizer, codec) {
        encoder.setFontList({{u"Arial", 0}, {u"Wide", 0}});
        encoder.setScreenSize(48, 12);
    }
    static ProgramRecord program(std::u16string text, Placement at = {}, SettingsMap extra = {}) {
        ProgramRecord p;
        p.OffsetX = at.offsetX;
        p.OffsetY = at.offsetY;
        p.PitchOffSet = at.pitch;
        p.AutoAdjust = at.autoAdjust;
        p.settings = arialSettings(std::move(text), {{u"BorderSpeed", u"4"}});
        for (auto& [k, v] : extra)
            p.settings[k] = v;
        return p;
    }
    void load(std::u16string text, Placement at = {}, SettingsMap extra = {}) {
        encoder.load(program(std::move(text), at, std::move(extra)));
    }
    ProgramEncoder::Layout line() { return programs.layout(encoder, programs.segments(encoder)); }

    Texts texts;
    BlockRenderer renderer;
    BitmapFontLibrary fonts;
    FakeImageCodec codec;
    CDlgProgram encoder;
    TextRasterizer rasterizer;
    ProgramEncoder programs;
};

// --- spacing ----------------------------------------------------------------------------

TEST_F(Layout, SpacingFollowsEverySegment) {
    struct Case {
        int pitch;
        std::string bottom;  // row 11 of the one page
        int animation;       // the placeholder's column
    };
    const Case cases[] = {
        // "AB" 2·(4+2) = 12 (ink 0-3, 6-9), placeholder 12, "C" 6: sum 30, x = 9.
        // AB at 9, x = 9+12+2 = 23; placeholder after its gap at 24, x = 24+12+2 = 38; C at 38.
        {2, lit(48, {{9, 4}, {15, 4}, {38, 4}}), 24},
        // "AB" 2·3 = 6 (ink 0-3 and 3-5, clipped to the run), "C" 3 (ink 0-2): sum 21, x = 13.
        // AB at 13, x = 18; placeholder at 19, x = 30; C at 30.
        {-1, lit(48, {{13, 6}, {30, 3}}), 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pitch);
        load(u"AB[0A]C", {.pitch = c.pitch});
        const ProgramEncoder::Layout l = line();
        ASSERT_EQ(l.bitmap.width(), 48);
        EXPECT_EQ(row(l.bitmap, 11), c.bottom);
        EXPECT_EQ(row(l.bitmap, 3), std::string(48, '.'));
        ASSERT_EQ(l.animations.size(), 1u);
        EXPECT_EQ(l.animations[0].first, c.animation);
        const std::string record = programs.encode(encoder);
        EXPECT_EQ(u16(record, u32(record, 15) + 5), c.animation);
    }
}

TEST_F(Layout, SpacingWidensTheTemperatureCellsFieldAndSegment) {
    struct Case {
        int pitch;
        int minus, digitCell, field;  // the block's columns
        int segment;                  // the field's segment width
        int column;                   // where the field starts
        std::string bottom;           // row 11: the unit symbol and "A"
        int pages;
    };
    const Case cases[] = {
        // "-" 3+2 = 5, widest digit "8" 6+2 = 8: cell 8+2+1 = 11, field 2·11+5 = 27.
        // Symbol 4+2 = 6: segment 6+5+22+2 = 35, symbol ink at 29-32. "A" 6.
        // Sum 41: x = 3, the field after its gap at 4; x = 4+35+2 = 41: A at 41.
        {2, 5, 11, 27, 35, 4, lit(48, {{33, 4}, {41, 4}}), 1},
        // "-" 6, "8" 9: cell 9+3+1 = 13, field 26+6 = 32; symbol 7: segment 7+6+26+3 = 42,
        // symbol ink at 35-38. Sum 49 ≥ 48: x = 0, no gap before the field; A at 0+42+3 = 45.
        {3, 6, 13, 32, 42, 0, lit(96, {{35, 4}, {45, 4}}), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pitch);
        load(u"[FE]A", {.pitch = c.pitch});
        const auto segments = programs.segments(encoder);
        ASSERT_EQ(segments.size(), 2u);
        EXPECT_EQ(segments[0].width, c.segment);
        const ProgramEncoder::Layout l = line();
        EXPECT_EQ(l.temperatureColumn, c.column);
        EXPECT_EQ(l.bitmap.width(), 48 * c.pages);
        EXPECT_EQ(row(l.bitmap, 11), c.bottom);

        const std::string record = programs.encode(encoder);
        const uint32_t at = u32(record, 19);
        ASSERT_NE(at, 0u);
        const std::string t = record.substr(at);
        // Every strip is 10 to 16 columns (width + 2·spacing + 1): two groups of 12 rows.
        EXPECT_EQ(u16(t, 0), 38 + 11 * 24);
        EXPECT_EQ(byteAt(t, 2), c.field);
        EXPECT_EQ(u16(t, 3), c.column);
        EXPECT_EQ(byteAt(t, 6), c.minus);
        EXPECT_EQ(u16(t, 7), 24 + 5);
        EXPECT_EQ(byteAt(t, 9), c.digitCell);
        EXPECT_EQ(u16(t, 10), 24 + 5);
        for (int d = 0; d < 10; ++d)
            EXPECT_EQ(u16(t, 14 + 2 * d), 34 + 24 * (d + 1)) << d;
        // Inverted glyphs, bottom row: the minus sign's 3 columns, the 8's 6.
        EXPECT_EQ(byteAt(t, 34 + 11), 0x1F);
        EXPECT_EQ(byteAt(t, 34 + 24 * 9 + 11), 0x03);
        EXPECT_EQ(byteAt(t, 34 + 24 * 9 + 12 + 11), 0xFF);
        EXPECT_EQ(byteAt(t, 34 + 24 * 9 + 3), 0xFF);  // above the ink
    }
}

// --- OffsetX --------------------------------------------------------------------------------

TEST_F(Layout, OffsetXMovesTheRecordedColumnsWithTheContent) {
    encoder.setScreenSize(64, 12);
    // "A" 4, placeholder 12, temperature field: minus 3, cell 6+0+1 = 7, symbol 4:
    // 4+3+14+0 = 21 wide with the symbol's ink at 17-20. Sum 37 + OffsetX.
    struct Case {
        int offsetX;
        int animation, temperature;
        std::string bottom;
    };
    const Case cases[] = {
        // Sum 41: x = 11 + 4 = 15. A at 15, x = 19; placeholder at 20 (column 24), x = 32;
        // field at 33 (column 37). The bitmap shows the line 4 columns on: A 19, symbol 54.
        {4, 24, 37, lit(64, {{19, 4}, {54, 4}})},
        // Sum 32: x = 16 − 5 = 11. A at 11, placeholder at 16 (column 11), field at 29
        // (column 24); shown 5 columns back: A 6, symbol 41.
        {-5, 11, 24, lit(64, {{6, 4}, {41, 4}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offsetX);
        load(u"A[05][FE]", {.offsetX = c.offsetX});
        const ProgramEncoder::Layout l = line();
        ASSERT_EQ(l.animations.size(), 1u);
        EXPECT_EQ(l.animations[0].first, c.animation);
        EXPECT_EQ(l.temperatureColumn, c.temperature);
        EXPECT_EQ(row(l.bitmap, 11), c.bottom);
        const std::string record = programs.encode(encoder);
        EXPECT_EQ(u16(record, u32(record, 15) + 5), c.animation);
        EXPECT_EQ(u16(record, u32(record, 19) + 3), c.temperature);
    }
}

// --- AutoAdjust ------------------------------------------------------------------------------

TEST_F(Layout, AutoAdjustIgnoresTheOffsetsAndMovesTheTextUpForItsFace) {
    encoder.setScreenSize(48, 11);
    struct Case {
        const char* name;
        std::vector<CDlgProgram::FontEntry> list;
        std::u16string face;
        int firstRow, lastRow;  // of the ink in the bitmap
    };
    // The character's ink is rows 4-11 of its 12; moved up 3, 1 or not at all. The
    // 11-row bitmap shows the line's rows 0-10.
    const Case cases[] = {
        {"YaHei", {{kYaHei, 0}, {kHei, 0}, {u"Arial", 0}}, kYaHei, 1, 8},
        {"Hei", {{u"Arial", 0}, {kHei, 0}}, kHei, 3, 10},
        {"Arial", {{u"Arial", 0}, {u"DejaVu Sans", 0}}, u"Arial", 4, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        encoder.setFontList(c.list);
        renderer.draws.clear();
        // The offsets would move the line 5 columns on and 2 rows down were they used.
        load(u"A", {.offsetX = 5, .offsetY = 2, .autoAdjust = 1});
        const ProgramEncoder::Layout l = line();
        ASSERT_FALSE(renderer.draws.empty());
        EXPECT_EQ(renderer.draws.back().face, c.face);
        // Ink 4 columns, advance 4+0+1 = 5: x = (48 − 5) / 2 = 21.
        ASSERT_EQ(l.bitmap.width(), 48);
        ASSERT_EQ(l.bitmap.height(), 11);
        for (int r = 0; r < 11; ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(row(l.bitmap, r),
                      r >= c.firstRow && r <= c.lastRow ? lit(48, {{21, 4}}) : lit(48, {}));
        }
    }
}

// --- pictures ---------------------------------------------------------------------------

TEST_F(Layout, AZoomedPictureIsScaledWholeAndAnotherCutAtItsTopLeft) {
    // 6 × 6, lit at (0,0), (1,1), (4,0) and (4,4).
    Bitmap picture(6, 6, kBlack);
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {4, 0}, {4, 4}})
        picture.setPixel(x, y, kRed);
    codec.put("/p/a.png", picture);
    encoder.setPictures({{52, 3, 3, u"/p/a.png", 1}, {53, 3, 3, u"/p/a.png", 0}});
    // Three columns centred at 22, after the gap before a picture at 23; rows 0-2.
    // Scaled by the fake codec's nearest neighbour: (x, y) shows (2x, 2y).
    load(u"[52]");
    const ProgramEncoder::Layout zoomed = line();
    EXPECT_EQ(row(zoomed.bitmap, 0), lit(48, {{23, 1}, {25, 1}}));
    EXPECT_EQ(row(zoomed.bitmap, 1), lit(48, {}));
    EXPECT_EQ(row(zoomed.bitmap, 2), lit(48, {{25, 1}}));
    // The top-left 3 × 3 of the picture.
    load(u"[53]");
    const ProgramEncoder::Layout cut = line();
    EXPECT_EQ(row(cut.bitmap, 0), lit(48, {{23, 1}}));
    EXPECT_EQ(row(cut.bitmap, 1), lit(48, {{24, 1}}));
    EXPECT_EQ(row(cut.bitmap, 2), lit(48, {}));
    for (int r = 3; r < 12; ++r)
        EXPECT_EQ(row(cut.bitmap, r), lit(48, {})) << r;
}

// --- the built-in unit symbol ---------------------------------------------------------------

TEST_F(Layout, WithoutAUnitGlyphTheBuiltInSymbolSitsAgainstTheFieldsRightEdge) {
    renderer.widths[u'\u2103'] = 0;
    renderer.widths[u'\u2109'] = 0;
    struct Case {
        int pitch;
        int segment;  // minus + 2 cells + 12: the spacing is not added again
        int column;   // of the field
    };
    const Case cases[] = {
        // Minus 3+1 = 4, cell 7+1+1 = 9: 4+18+12 = 34. Centred: 7, after the gap 8.
        {1, 34, 8},
        // Minus 7, cell 10+4+1 = 15: 7+30+12 = 49 ≥ 48, so from column 0.
        {4, 49, 0},
    };
    std::vector<std::string> celsius;  // the symbol's columns, row by row, of the first case
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pitch);
        for (const std::u16string token : {u"[FE]", u"[FF]"}) {
            load(token, {.pitch = c.pitch});
            const auto segments = programs.segments(encoder);
            ASSERT_EQ(segments.size(), 1u);
            EXPECT_EQ(segments[0].width, c.segment);
            const ProgramEncoder::Layout l = line();
            EXPECT_EQ(l.temperatureColumn, c.column);
            // All ink is in the field's last 12 columns.
            const int symbol = c.column + c.segment - 12;
            std::vector<std::string> rows;
            bool any = false;
            for (int r = 0; r < 12; ++r) {
                // The bitmap may end before the field does when its last columns are dark.
                std::string bits = row(l.bitmap, r);
                bits.resize(std::max(bits.size(), static_cast<size_t>(symbol + 12)), '.');
                const size_t first = bits.find('#'), last = bits.rfind('#');
                if (first == std::string::npos) continue;
                EXPECT_GE(static_cast<int>(first), symbol) << "row " << r << ": " << bits;
                EXPECT_LT(static_cast<int>(last), symbol + 12) << "row " << r << ": " << bits;
                any = true;
            }
            for (int r = 0; r < 12; ++r) {
                std::string bits = row(l.bitmap, r);
                bits.resize(std::max(bits.size(), static_cast<size_t>(symbol + 12)), '.');
                rows.push_back(bits.substr(static_cast<size_t>(symbol), 12));
            }
            EXPECT_TRUE(any);
            // The same symbol whatever the field's width; the two units differ.
            if (token == u"[FE]") {
                if (celsius.empty())
                    celsius = rows;
                else
                    EXPECT_EQ(rows, celsius);
            } else {
                EXPECT_NE(rows, celsius);
            }
        }
    }
}

// --- a red background --------------------------------------------------------------------

TEST_F(Layout, ARedBackgroundLightsEverythingAndEndsTheLineAfterTheLastSegment) {
    struct Case {
        std::u16string text;
        bool redBackground;
        int columns;  // K
    };
    const Case cases[] = {
        // 12 characters fill the page: x = 0, then 48. Black: the ink ends at 47, t = 48.
        {u"ABCDEFGHIJKL", false, 48},
        // Red: column 48 of the canvas is lit background, t = 49, two pages.
        {u"ABCDEFGHIJKL", true, 96},
        // 72 columns of text, the placeholder at 73, x = 85. Black: t = 72 + 12 = 84.
        {u"ABCDEFGHIJKLMNOPQR[05]", false, 96},
        // Red: t = 86, and the trailing placeholder's 12: 98, three pages.
        {u"ABCDEFGHIJKLMNOPQR[05]", true, 144},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << (c.redBackground ? " on red" : ""));
        SettingsMap colours;
        if (c.redBackground) colours = {{u"Color1", u"0"}, {u"Color2", u"255"}};
        load(c.text, {}, colours);
        const std::string record = programs.encode(encoder);
        ASSERT_FALSE(record.empty());
        EXPECT_EQ(byteAt(record, 8), c.redBackground ? 1 : 0);
        EXPECT_EQ(u16(record, 32), c.columns);
        const size_t pages = static_cast<size_t>(c.columns / 48);
        EXPECT_EQ(u16(record, 30), pages * 72 + 5);
        if (!c.redBackground) continue;
        // Black text: dark under the ink (rows 4-11 of the text's columns), lit elsewhere.
        const int text = c.columns == 96 ? 48 : 72;
        for (int r = 0; r < 12; ++r) {
            SCOPED_TRACE(r);
            const std::string expected =
                r < 4 ? std::string(static_cast<size_t>(c.columns), '#')
                      : std::string(static_cast<size_t>(text), '.') +
                            std::string(static_cast<size_t>(c.columns - text), '#');
            EXPECT_EQ(recordRow(record, 48, 12, r), expected);
        }
    }
}

// --- the font a program inherits ----------------------------------------------------------

TEST_F(Layout, AFaceNotInTheListIsEncodedWithTheFaceBeforeIt) {
    encoder.setFontList({{u"Arial", 0}, {u"Wide", 0}, {u"WenQuanYi Zen Hei Sharp", 0}});
    auto screenOf = [](std::u16string firstFace, std::u16string secondFace) {
        ScreenRecord s;
        s.width = 48;
        s.height = 12;
        s.programs[65537] = program(u"AB", {}, {{u"Font", std::move(firstFace)}});
        s.programs[65538] = program(u"CD", {}, {{u"Font", std::move(secondFace)}});
        return s;
    };
    auto facesOf = [this](std::u16string_view text) {
        std::vector<std::u16string> faces;
        for (const auto& d : renderer.draws)
            if (d.text == text) faces.push_back(d.face);
        return faces;
    };
    // The second record's bottom row: "CD" 12 columns wide in "Wide" (18-29), 8 in "Arial" (20-27).
    auto secondBottom = [](const DeviceImage::Built& built) {
        const uint32_t second = u32(built.bytes, 54);
        return recordRow(built.bytes.substr(second), 48, 12, 11);
    };
    struct Case {
        const char* name;
        std::u16string first, second, drawnWith;
        std::string bottom;
    };
    const Case cases[] = {
        {"Wide, Courier New", u"Wide", u"Courier New", u"Wide", lit(48, {{18, 12}})},
        {"Arial, Courier New", u"Arial", u"Courier New", u"Arial", lit(48, {{20, 8}})},
        // A face with a stand-in in the list is the program's own, whatever came before.
        {"Wide, Song", u"Wide", kSong, kSong, lit(48, {{20, 4}, {24, 4}})},
        {"Arial, Song", u"Arial", kSong, kSong, lit(48, {{20, 4}, {24, 4}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        renderer.draws.clear();
        const auto built =
            DeviceImage::build(screenOf(c.first, c.second), 0, 0, false, 0, encoder, programs);
        ASSERT_EQ(byteAt(built.bytes, 49), 2);
        const auto faces = facesOf(c.drawnWith == kSong ? u"C" : u"CD");
        ASSERT_FALSE(faces.empty());
        for (const auto& f : faces)
            EXPECT_EQ(f, c.drawnWith);
        EXPECT_EQ(secondBottom(built), c.bottom);
    }
}

}  // namespace
