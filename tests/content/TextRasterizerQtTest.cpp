// The rasterizer with the real Qt text renderer and the installed fonts.
#include "content/BitmapFontLibrary.h"
#include "content/TextRasterizer.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtTextRenderer.h"
#include "support/QvfWriter.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlack = 0xFF000000u;

// Counts what the rasterizer asks the real renderer to draw.
struct Counting : platform::TextRenderer {
    explicit Counting(platform::TextRenderer& r) : real(r) {}
    platform::TextSize measure(const platform::LogFont& f, std::u16string_view t, int e) override {
        return real.measure(f, t, e);
    }
    void draw(platform::Bitmap& b, platform::Rect box, const platform::LogFont& f,
              std::u16string_view t, int e, uint32_t ink) override {
        pieces.emplace_back(t);
        real.draw(b, box, f, t, e, ink);
    }
    void drawDefault(platform::Bitmap& b, platform::Rect box, std::u16string_view t,
                     uint32_t ink) override {
        real.drawDefault(b, box, t, ink);
    }
    platform::TextRenderer& real;
    std::vector<std::u16string> pieces;
};

class QtRasterizer : public ::testing::Test {
protected:
    QtRasterizer() : renderer(catalog), counting(renderer), rasterizer(counting, bitmapFonts) {
        style.ink = kRed;
        style.background = kBlack;
        style.font.lfHeight = -12;
        for (auto& f : catalog.families())
            style.fontList.push_back({f, 0});
    }
    // Rows and columns holding ink.
    static int inkRows(const platform::Bitmap& b) {
        int first = -1, last = -1;
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x)
                if (b.pixel(x, y) == kRed) {
                    if (first < 0) first = y;
                    last = y;
                }
        return first < 0 ? 0 : last + 1 - first;
    }

    platform::QtFontCatalog catalog;
    platform::QtTextRenderer renderer;
    Counting counting;
    BitmapFontLibrary bitmapFonts;
    TextRasterizer rasterizer;
    TextRasterizer::Style style;
};

TEST_F(QtRasterizer, ArialInOnePieceSongByCharacterAndNoGreyPixels) {
    style.font.lfFaceName = u"Arial";
    const auto arial = rasterizer.rasterize(u"Hello", style);
    ASSERT_EQ(counting.pieces.size(), 1u);
    EXPECT_GT(arial.advance, 10);
    EXPECT_GT(inkRows(arial.image), 5);
    for (uint32_t p : arial.image.pixels())
        EXPECT_TRUE(p == kRed || p == kBlack) << std::hex << p;

    counting.pieces.clear();
    style.font.lfFaceName = u"\u5B8B\u4F53";
    style.pitchOffset = 2;
    const auto song = rasterizer.rasterize(u"\u4F60\u597D!", style);
    EXPECT_EQ(counting.pieces, (std::vector<std::u16string>{u"\u4F60", u"\u597D", u"!"}));
    EXPECT_GT(inkRows(song.image), 5);
    for (uint32_t p : song.image.pixels())
        EXPECT_TRUE(p == kRed || p == kBlack) << std::hex << p;
}

TEST_F(QtRasterizer, AutoAdjustOnElevenRowsShrinksTheInkToFit) {
    style.fontList = {{u"Arial", 0}, {u"DejaVu Sans", 0}};  // none of the preferred faces
    style.autoAdjust = true;
    style.screenHeight = 11;
    style.font.lfFaceName = u"DejaVu Sans";
    style.font.lfHeight = -20;
    for (const std::u16string text : {u"\u00C1gjy", u"Wide Text", u"|"}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        const auto run = rasterizer.rasterize(text, style);
        EXPECT_GT(run.advance, 0);
        EXPECT_LE(inkRows(run.image), 11);
        EXPECT_GT(inkRows(run.image), 4);
    }
}

// Texts the text box can hold that have more than one line in them.
struct Broken {
    const char* name;
    std::u16string separator;
};
const Broken kSeparators[] = {
    {"LF", u"\n"},
    {"CR", u"\r"},
    {"CR LF", u"\r\n"},
    {"line separator", u"\u2028"},
    {"paragraph", u"\u2029"},
    {"vertical tab", u"\v"},
    {"form feed", u"\f"},
    {"tab", u"\t"},
    {"next line", u"\u0085"},
    {"string terminator", u"\u009C"},
};

// A face drawn in one piece and one drawn by character.
struct Face {
    const char* name;
    std::u16string face;
};
const Face kFaces[] = {{"DejaVu Sans", u"DejaVu Sans"}, {"Song", u"\u5B8B\u4F53"}};

// Runs of columns holding ink: one per stroke of "III".
int strokes(const platform::Bitmap& b, uint32_t ink = kRed) {
    int count = 0;
    bool previous = false;
    for (int x = 0; x < b.width(); ++x) {
        bool any = false;
        for (int y = 0; y < b.height() && !any; ++y)
            any = b.pixel(x, y) == ink;
        if (any && !previous) ++count;
        previous = any;
    }
    return count;
}

// First and last column holding ink; {-1, -1} for none.
std::pair<int, int> inkSpan(const platform::Bitmap& b, uint32_t ink = kRed) {
    std::pair<int, int> span{-1, -1};
    for (int x = 0; x < b.width(); ++x)
        for (int y = 0; y < b.height(); ++y)
            if (b.pixel(x, y) == ink) {
                if (span.first < 0) span.first = x;
                span.second = x;
            }
    return span;
}

TEST_F(QtRasterizer, LineBreaksAndTabsAreDrawnAsWideAsTheyAreMeasured) {
    // Drawn centred in a box 40 columns wider than measured, the ink has to stay
    // within the measured width in the middle, and no stroke may go missing.
    for (const Face& face : kFaces)
        for (int extra : {0, 2})
            for (const Broken& b : kSeparators) {
                SCOPED_TRACE(testing::Message()
                             << b.name << ", spacing " << extra << ", " << face.name);
                platform::LogFont font;
                font.lfHeight = -12;
                font.lfFaceName = face.face;
                const std::u16string text = u"III" + b.separator + u"III";
                const platform::TextSize size = renderer.measure(font, text, extra);
                ASSERT_GT(size.width, 0);
                const int wide = size.width + 40;
                platform::Bitmap target(wide, size.height, kBlack);
                renderer.draw(target, {0, 0, wide, size.height}, font, text, extra, kRed);
                const auto [first, last] = inkSpan(target);
                EXPECT_GE(first, 20);
                EXPECT_LT(last, 20 + size.width);
                EXPECT_EQ(strokes(target), 6);
            }
}

TEST_F(QtRasterizer, ARunKeepsEveryStrokeAcrossLineBreaksAndNoInkPastItsAdvance) {
    style.screenHeight = 12;
    for (const Face& face : kFaces)
        for (bool autoAdjust : {false, true})
            for (const Broken& b : kSeparators) {
                SCOPED_TRACE(testing::Message()
                             << b.name << (autoAdjust ? ", AutoAdjust" : "") << ", " << face.name);
                style.font.lfFaceName = face.face;
                style.autoAdjust = autoAdjust;
                const auto run = rasterizer.rasterize(u"III" + b.separator + u"III", style);
                ASSERT_GT(run.advance, 0);
                EXPECT_EQ(strokes(run.image), 6);
                const auto [first, last] = inkSpan(run.image);
                EXPECT_GE(first, 0);
                EXPECT_LT(last, run.advance);
            }
}

// Columns [from, from + count) of one row, '#' for ink.
std::string inkRow(const platform::Bitmap& b, int y, int from, int count) {
    std::string row;
    for (int x = from; x < from + count; ++x)
        row += b.pixel(x, y) == kRed ? '#' : '.';
    return row;
}

TEST_F(QtRasterizer, TheLettersBesideALineBreakAreWhole) {
    // "AB⏎CD" in one piece: it starts with the ink of "AB" and ends with the ink of "CD".
    style.font.lfFaceName = u"DejaVu Sans";
    const auto ab = rasterizer.rasterize(u"AB", style);
    const auto cd = rasterizer.rasterize(u"CD", style);
    ASSERT_GT(ab.advance, 0);
    ASSERT_GT(cd.advance, 0);
    for (const Broken& b : kSeparators) {
        SCOPED_TRACE(b.name);
        const auto run = rasterizer.rasterize(u"AB" + b.separator + u"CD", style);
        ASSERT_GE(run.advance, ab.advance + cd.advance);
        ASSERT_EQ(run.image.height(), ab.image.height());
        const int cdStart = run.advance - cd.advance;
        for (int y = 0; y < run.image.height(); ++y) {
            SCOPED_TRACE(y);
            EXPECT_EQ(inkRow(run.image, y, 0, ab.advance), inkRow(ab.image, y, 0, ab.advance));
            EXPECT_EQ(inkRow(run.image, y, cdStart, cd.advance),
                      inkRow(cd.image, y, 0, cd.advance));
        }
    }
}

// An 11-pixel bitmap font with a "7" wider than one column group and a "-".
QvfFontSpec digitFont() {
    QvfFontSpec f;
    f.name = "QVDigits";
    f.cell = 11;
    f.glyphs[u'7'] = {"...........", ".#########.", "........#..", ".......#...",
                      "......#....", ".....#.....", "....#......", "...#.......",
                      "..#........", "..#........", "..........."};
    f.glyphs[u'-'] = {"...........", "...........", "...........", "...........",
                      "...........", "..#####....", "...........", "...........",
                      "...........", "...........", "..........."};
    return f;
}

TEST_F(QtRasterizer, GlyphStripOfAKnownGlyph) {
    ASSERT_TRUE(bitmapFonts.addFile(makeQvf({digitFont()}), 1252));
    style.fontList = {{u"QVDigits", bitmapFonts.listValue(0)}};
    style.font.lfFaceName = u"QVDigits";
    style.screenHeight = 12;
    style.pitchOffset = 1;

    // "7": ink columns 1..9 of the cell move to 0..8; advance 9 + 1 − 1 − 1 = 8,
    // so the strip is 8 + 2 + 1 = 11 columns: two groups of 12 rows, 1 = lit.
    const auto seven = rasterizer.glyphStrip(u"7", style);
    EXPECT_EQ(seven.width, 8);
    EXPECT_EQ(seven.lengthPlus5, 24 + 5);
    const std::vector<uint8_t> sevenBytes{
        0x00, 0xFF, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x40, 0x00, 0x00,  // columns 0-7
        0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // columns 8-10
    };
    EXPECT_EQ(seven.bytes, sevenBytes);

    // "-": five columns at row 5; advance 5 + 1 − 1 − 1 = 4, strip 7 columns, one group.
    const auto minus = rasterizer.glyphStrip(u"-", style);
    EXPECT_EQ(minus.width, 4);
    EXPECT_EQ(minus.lengthPlus5, 12 + 5);
    EXPECT_EQ(minus.bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0xF8, 0, 0, 0, 0, 0, 0}));
}

TEST_F(QtRasterizer, GlyphStripOfASystemFontKeepsItsInkInTheFirstColumns) {
    // A minus sign is one short bar: its bits are in the first group, in one or
    // two neighbouring rows away from the edges; the wide spacing adds only dark groups.
    style.font.lfFaceName = u"DejaVu Sans";
    style.screenHeight = 12;
    style.pitchOffset = 8;
    const auto strip = rasterizer.glyphStrip(u"-", style);
    ASSERT_GT(strip.width, 8);  // the spacing is part of the advance
    const size_t groups = static_cast<size_t>((strip.width + 2 * 8 + 1 + 7) / 8);
    ASSERT_EQ(strip.bytes.size(), groups * 12);
    EXPECT_EQ(strip.lengthPlus5, strip.bytes.size() + 5);
    std::vector<int> litRows;
    for (int y = 0; y < 12; ++y)
        if (strip.bytes[static_cast<size_t>(y)] != 0) litRows.push_back(y);
    ASSERT_FALSE(litRows.empty());
    EXPECT_LE(litRows.size(), 2u);
    EXPECT_EQ(litRows.back() - litRows.front(), static_cast<int>(litRows.size()) - 1);
    EXPECT_GT(litRows.front(), 2);
    EXPECT_LT(litRows.back(), 10);
    for (size_t i = 12; i < strip.bytes.size(); ++i)
        EXPECT_EQ(strip.bytes[i], 0) << i;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
