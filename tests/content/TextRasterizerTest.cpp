#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"
#include "content/TextRasterizer.h"
#include "platform/TextCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/QvfWriter.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

using platform::Bitmap;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlack = 0xFF000000u;

// Columns that hold ink, as '#' and '.', one string per row.
std::vector<std::string> rowsOf(const Bitmap& b, uint32_t ink = kRed) {
    std::vector<std::string> rows;
    for (int y = 0; y < b.height(); ++y) {
        std::string r;
        for (int x = 0; x < b.width(); ++x)
            r += b.pixel(x, y) == ink ? '#' : '.';
        rows.push_back(r);
    }
    return rows;
}

// An 11-pixel font: 'I' one column wide, 'L' three, 'T' five, ' ' no ink.
QvfFontSpec elevenPixelFont() {
    QvfFontSpec f;
    f.name = "QVSimsun";
    f.cell = 11;
    std::vector<std::string> i(11, "..........."), l(11, "..........."), t(11, "...........");
    for (int y = 1; y < 10; ++y) {
        i[y][2] = '#';
        l[y][1] = '#';
        t[y][3] = '#';
    }
    l[9] = ".###.......";
    t[1] = ".#####.....";
    f.glyphs[u'I'] = i;
    f.glyphs[u'L'] = l;
    f.glyphs[u'T'] = t;
    f.glyphs[u' '] = std::vector<std::string>(11, "...........");
    return f;
}

class Rasterizer : public ::testing::Test {
protected:
    Rasterizer() : rasterizer(renderer, fonts) {
        fonts.addFile(makeQvf({elevenPixelFont()}), 1252);
        style.ink = kRed;
        style.background = kBlack;
        style.screenHeight = 11;
        style.font.lfHeight = -12;
        style.fontList = {{u"Arial", 0}, {u"QVSimsun", fonts.listValue(0)}};
    }
    FakeTextRenderer renderer;
    BitmapFontLibrary fonts;
    TextRasterizer rasterizer;
    TextRasterizer::Style style;
};

// --- the bitmap font path ------------------------------------------------------------

TEST_F(Rasterizer, BitmapPathTakesInkColumnsAndSpacing) {
    style.font.lfFaceName = u"QVSimsun";
    style.pitchOffset = 1;
    const auto run = rasterizer.rasterize(u"ILT", style);
    // I: 1 column, L: 3, T: 5; each followed by 1 column of spacing; advance = x − 1 − 1.
    EXPECT_EQ(run.advance, 1 + 1 + 3 + 1 + 5 + 1 - 1 - 1);
    EXPECT_EQ(run.image.width(), (1 + 11 + 1) * 3);
    EXPECT_EQ(run.image.height(), 11);
    const auto rows = rowsOf(run.image);
    EXPECT_EQ(rows[1].substr(0, 13), "#.#...#####..");
    EXPECT_EQ(rows[5].substr(0, 13), "#.#.....#....");
    EXPECT_EQ(rows[9].substr(0, 13), "#.###...#....");
    EXPECT_TRUE(renderer.calls.empty());  // no system font involved
    // Columns past cell × n stay black, not background.
    style.background = 0xFF0000FFu;
    const auto blue = rasterizer.rasterize(u"I", style);
    EXPECT_EQ(blue.image.pixel(10, 0), 0xFF0000FFu);
    EXPECT_EQ(blue.image.pixel(11, 0), kBlack);
}

TEST_F(Rasterizer, ASpaceAdvancesByTheSpacingOnly) {
    style.font.lfFaceName = u"QVSimsun";
    style.pitchOffset = 0;
    const auto run = rasterizer.rasterize(u"I I", style);
    EXPECT_EQ(rowsOf(run.image)[5].substr(0, 3), "##.");  // the words run together
    EXPECT_EQ(run.advance, 2 - 0 - 1);
    style.pitchOffset = 2;
    const auto spaced = rasterizer.rasterize(u"I I", style);
    EXPECT_EQ(rowsOf(spaced.image)[5].substr(0, 7), "#....#.");  // I, 2, the space's 2, I
}

TEST_F(Rasterizer, AMissingGlyphIsDrawnWithTheDefaultFont) {
    style.font.lfFaceName = u"QVSimsun";
    renderer.width = 2;
    renderer.ink = 3;
    const auto run = rasterizer.rasterize(u"IX", style);
    ASSERT_EQ(renderer.calls.size(), 1u);
    EXPECT_TRUE(renderer.calls[0].defaultFont);
    EXPECT_EQ(renderer.calls[0].text, u"X");
    EXPECT_EQ(renderer.calls[0].box.width, 11);
    EXPECT_EQ(renderer.calls[0].box.height, 11);
    // The stand-in's ink (2 columns, the bottom 3 rows of the cell) follows the I.
    const auto rows = rowsOf(run.image);
    EXPECT_EQ(rows[10].substr(0, 4), ".##.");
    EXPECT_EQ(rows[8].substr(0, 4), "###.");
    EXPECT_EQ(rows[7].substr(0, 4), "#...");
    EXPECT_EQ(run.advance, 1 + 2 - 1);
}

TEST_F(Rasterizer, OnlyElevenPixelBitmapFontsTakeTheBitmapPath) {
    QvfFontSpec twelve = elevenPixelFont();
    twelve.name = "Block 12";
    twelve.cell = 12;
    fonts.addFile(makeQvf({twelve}), 1252);
    style.fontList.push_back({u"Block 12", fonts.listValue(1)});
    style.font.lfFaceName = u"Block 12";
    rasterizer.rasterize(u"IL", style);
    ASSERT_EQ(renderer.calls.size(), 1u);  // through the system renderer, under its name
    EXPECT_FALSE(renderer.calls[0].defaultFont);
    EXPECT_EQ(renderer.calls[0].text, u"IL");
    // A list value naming a font that is not loaded goes the same way.
    style.fontList.push_back({u"Ghost", BitmapFontLibrary::kMarker << 24 | 11 << 16 | 9});
    style.font.lfFaceName = u"Ghost";
    renderer.calls.clear();
    rasterizer.rasterize(u"I", style);
    EXPECT_EQ(renderer.calls.size(), 1u);
}

TEST_F(Rasterizer, AutoAdjustChoosesTheBitmapFontByItsName) {
    style.autoAdjust = true;
    style.font.lfFaceName = u"Arial";
    rasterizer.rasterize(u"IT", style);
    EXPECT_TRUE(renderer.calls.empty());  // QVSimsun is listed: the bitmap path
}

// --- the system font path ------------------------------------------------------------

TEST_F(Rasterizer, SystemFontsInOnePieceOrByCharacter) {
    style.fontList = {{u"Arial", 0}};
    style.font.lfFaceName = u"Arial";
    style.pitchOffset = 1;
    auto run = rasterizer.rasterize(u"abc", style);
    ASSERT_EQ(renderer.calls.size(), 1u);
    EXPECT_EQ(renderer.calls[0].text, u"abc");
    EXPECT_EQ(run.advance, 3 * (4 + 1));
    EXPECT_EQ(run.image.width(), 15);
    EXPECT_EQ(run.image.height(), 12);

    renderer.calls.clear();
    style.font.lfFaceName = u"\u5B8B\u4F53";  // 宋体: one character at a time
    run = rasterizer.rasterize(u"abc", style);
    ASSERT_EQ(renderer.calls.size(), 3u);
    EXPECT_EQ(renderer.calls[1].text, u"b");
    EXPECT_EQ(renderer.calls[1].box.x, 5);
    EXPECT_EQ(run.advance, 15);
    const auto rows = rowsOf(run.image);
    EXPECT_EQ(rows[11], "####.####.####.");
    EXPECT_EQ(rows[3], "...............");
}

// The fake's ink grows with the font: pixel height + 2 rows.
struct ShrinkingRenderer : FakeTextRenderer {
    void draw(platform::Bitmap& t, platform::Rect box, const platform::LogFont& f,
              std::u16string_view text, int extra, uint32_t c) override {
        ink = -f.lfHeight + 2;
        FakeTextRenderer::draw(t, box, f, text, extra, c);
    }
};

TEST_F(Rasterizer, AutoAdjustShrinksUntilTheInkFits) {
    ShrinkingRenderer shrinking;
    shrinking.height = 16;
    TextRasterizer r(shrinking, fonts);
    style.fontList = {{u"Arial", 0}};
    style.autoAdjust = true;
    style.pitchOffset = 0;
    // 11 rows and none of the preferred faces: Arial at 12 pixels, in one piece,
    // shrinking 12 → 9 pixels (ink 14 → 11 rows).
    style.screenHeight = 11;
    const auto run = r.rasterize(u"ab", style);
    ASSERT_EQ(shrinking.calls.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(shrinking.calls[i].pixelHeight, 12 - i);
    EXPECT_EQ(run.advance, 8 + 0 + 1);  // ink width + spacing + 1
    // Copied three rows lower, one per shrink: the ink stands on rows 8 … 15 and below.
    const auto rows = rowsOf(run.image);
    EXPECT_EQ(run.image.width(), 8);  // measured at the first size; the advance may pass it
    EXPECT_EQ(rows[15], "########");
    EXPECT_EQ(rows[7], "........");

    // 12 rows: 宋体 at 13 pixels, a character at a time, each shrinking from 13
    // to 10 and the next starting at 13 again.
    shrinking.calls.clear();
    style.screenHeight = 12;
    const auto byChar = r.rasterize(u"ab", style);
    ASSERT_EQ(shrinking.calls.size(), 8u);
    EXPECT_EQ(shrinking.calls[0].text, u"a");
    EXPECT_EQ(shrinking.calls[0].pixelHeight, 13);
    EXPECT_EQ(shrinking.calls[3].pixelHeight, 10);
    EXPECT_EQ(shrinking.calls[4].text, u"b");
    EXPECT_EQ(shrinking.calls[4].pixelHeight, 13);
    EXPECT_EQ(byChar.advance, 2 * (4 + 0 + 1));
}

// --- glyph strips ------------------------------------------------------------------------

TEST_F(Rasterizer, GlyphStripPacksLitPixels) {
    style.fontList = {{u"Arial", 0}};
    style.font.lfFaceName = u"Arial";
    style.screenHeight = 12;
    style.pitchOffset = 0;
    renderer.width = 10;  // one character: 10 columns, ink in the bottom 8 rows
    const auto strip = rasterizer.glyphStrip(u"-", style);
    EXPECT_EQ(strip.width, 10);
    // 11 columns → two groups of 12 rows.
    ASSERT_EQ(strip.bytes.size(), 24u);
    EXPECT_EQ(strip.lengthPlus5, 29);
    EXPECT_EQ(strip.bytes[0], 0x00);   // group 0, row 0: no ink
    EXPECT_EQ(strip.bytes[4], 0xFF);   // group 0, row 4: columns 0-7 lit
    EXPECT_EQ(strip.bytes[12], 0x00);  // group 1, row 0
    EXPECT_EQ(strip.bytes[16], 0xC0);  // group 1, row 4: columns 8, 9 lit, 10 dark
    // Black text is dark: nothing lit.
    style.ink = kBlack;
    style.background = kBlack;
    for (uint8_t b : rasterizer.glyphStrip(u"-", style).bytes)
        EXPECT_EQ(b, 0);
}

TEST(TextRasterizerPack, PartialGroupsAndThreshold) {
    Bitmap b(9, 2, kBlack);
    b.setPixel(0, 0, 0xFF640000u);  // red 100: lit
    b.setPixel(1, 0, 0xFF63FFFFu);  // red 99: dark, whatever else
    b.setPixel(8, 1, 0xFFFF0000u);
    EXPECT_EQ(TextRasterizer::pack(b), (std::vector<uint8_t>{0x80, 0x00, 0x00, 0x80}));
}

// --- font files ------------------------------------------------------------------------

TEST(BitmapFonts, AcceptanceRules) {
    BitmapFontLibrary lib;
    EXPECT_FALSE(lib.addFile("QV", 1252));                    // two bytes
    EXPECT_FALSE(lib.addFile(std::string("xy\0", 3), 1252));  // no magic letter, count 0, short
    EXPECT_TRUE(lib.addFile(std::string("Qz\0", 3), 1252));  // one letter is enough, but no records
    EXPECT_TRUE(lib.fonts().empty());
    // A count that promises more records than the file holds takes the whole ones only.
    std::string file = makeQvf({elevenPixelFont()});
    file[2] = 5;
    EXPECT_TRUE(lib.addFile(file.substr(0, 3 + 40), 1252));
    ASSERT_EQ(lib.fonts().size(), 1u);
    EXPECT_TRUE(lib.fonts()[0].block.empty());  // the block lies beyond the bytes given
    EXPECT_EQ(lib.fonts()[0].cell, 11);
}

TEST(BitmapFonts, RecordsFilesIndicesAndTruncation) {
    QvfFontSpec a = elevenPixelFont(), b = elevenPixelFont();
    a.name = "First";
    b.name = "Second\xE9";  // ANSI: é in 1252
    b.cell = 16;
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    testing_support::writeFile(dir / "b.QVF", makeQvf({a, b}));
    testing_support::writeFile(dir / "sub" / "c.qvf", makeQvf({elevenPixelFont()}));
    testing_support::writeFile(dir / "a.txt", makeQvf({a}));  // not a font file name
    BitmapFontLibrary lib;
    lib.loadFolder(dir.path(), 1252);
    ASSERT_EQ(lib.fonts().size(), 3u);
    EXPECT_EQ(lib.fonts()[0].name, u"First");
    EXPECT_EQ(lib.fonts()[1].name, u"Second\u00E9");
    EXPECT_EQ(lib.fonts()[2].name, u"QVSimsun");
    EXPECT_EQ(lib.listValue(1), 0x51u << 24 | 16u << 16 | 1u);
    EXPECT_TRUE(BitmapFontLibrary::isBitmapFontValue(lib.listValue(2)));
    EXPECT_FALSE(BitmapFontLibrary::isBitmapFontValue(0));
    EXPECT_EQ(lib.fonts()[0].codeUnits, (std::vector<char16_t>{u' ', u'I', u'L', u'T'}));
    EXPECT_EQ(lib.drawGlyph(1, u'I', nullptr, 0, 0), 16);  // the cell-size query
    EXPECT_EQ(lib.drawGlyph(7, u'I', nullptr, 0, 0), 0);

    // A block cut short: the index still names the glyph, its missing bytes are ink.
    std::string file = makeQvf({elevenPixelFont()});
    BitmapFontLibrary cut;
    cut.addFile(file.substr(0, file.size() - 2 * 22), 1252);
    Bitmap cell(11, 11, kBlack);
    EXPECT_EQ(cut.drawGlyph(0, u'T', &cell, kRed, kBlack), 11);  // the last glyph: wholly missing
    for (uint32_t p : cell.pixels())
        EXPECT_EQ(p, kRed);
    EXPECT_EQ(cut.drawGlyph(0, u'A', &cell, kRed, kBlack), 0);
}

}  // namespace

namespace {

// --- limits and face choice ---------------------------------------------------------------

TEST_F(Rasterizer, AutoAdjustCountsOnlyTheRealFaceNotAStandIn) {
    style.autoAdjust = true;
    style.screenHeight = 11;
    style.pitchOffset = 0;
    struct Case {
        std::vector<CDlgProgram::FontEntry> list;
        std::u16string face;
    };
    const Case cases[] = {
        // Faces that stand in for the Windows ones on this system do not count as them.
        {{{u"WenQuanYi Micro Hei", 0}, {u"WenQuanYi Zen Hei", 0}}, u"Arial"},
        {{{u"\u5FAE\u8F6F\u96C5\u9ED1", 0}}, u"\u5FAE\u8F6F\u96C5\u9ED1"},
        {{{u"\u9ED1\u4F53", 0}}, u"\u9ED1\u4F53"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::utf16ToUtf8(c.face));
        style.fontList = c.list;
        renderer.calls.clear();
        rasterizer.rasterize(u"a", style);
        ASSERT_FALSE(renderer.calls.empty());
        EXPECT_EQ(renderer.calls.front().face, c.face);
        EXPECT_EQ(renderer.calls.front().pixelHeight, 12);
    }
}

TEST_F(Rasterizer, RunsWiderThanALineAreRefusedUndrawn) {
    style.fontList = {{u"Arial", 0}, {u"QVSimsun", fonts.listValue(0)}};
    style.maxColumns = 100;
    style.pitchOffset = 0;
    // System font: 25 characters of 4 columns fit exactly, 26 do not.
    style.font.lfFaceName = u"Arial";
    EXPECT_FALSE(rasterizer.rasterize(std::u16string(25, u'x'), style).tooLong);
    renderer.calls.clear();
    const auto over = rasterizer.rasterize(std::u16string(26, u'x'), style);
    EXPECT_TRUE(over.tooLong);
    EXPECT_TRUE(over.image.empty());
    EXPECT_TRUE(renderer.calls.empty());
    // The spacing alone, before anything is measured.
    style.pitchOffset = 51;
    EXPECT_TRUE(rasterizer.rasterize(u"ab", style).tooLong);
    EXPECT_TRUE(renderer.calls.empty());
    // Bitmap font: (spacing + cell + 1) × n columns, 13 × 7 = 91 fit, 13 × 8 = 104 do not.
    style.pitchOffset = 1;
    style.font.lfFaceName = u"QVSimsun";
    EXPECT_FALSE(rasterizer.rasterize(u"IIIIIII", style).tooLong);
    EXPECT_TRUE(rasterizer.rasterize(u"IIIIIIII", style).tooLong);
}

TEST(BitmapFonts, RecordsSharingOneBlockShareItsBytes) {
    // 127 records that all name the first one's glyph block: the file is kept
    // once, whatever the records claim.
    std::string file = makeQvf({elevenPixelFont()});
    const std::string record = file.substr(3, 40);
    std::string many = file.substr(0, 3);
    many[2] = 127;
    for (int k = 0; k < 127; ++k)
        many += record;
    const uint32_t blockAt = static_cast<uint32_t>(many.size());
    const std::string block = file.substr(3 + 40);
    for (int k = 0; k < 127; ++k)
        for (int i = 0; i < 4; ++i)
            many[3 + 40 * k + 27 + i] = static_cast<char>(blockAt >> (24 - 8 * i));
    many += block;
    BitmapFontLibrary lib;
    ASSERT_TRUE(lib.addFile(many, 1252));
    ASSERT_EQ(lib.fonts().size(), 127u);
    for (const BitmapFont& f : lib.fonts()) {
        EXPECT_EQ(f.block.data(), lib.fonts()[0].block.data());
        EXPECT_EQ(f.block.size(), block.size());
    }
    EXPECT_EQ(lib.fonts()[0].file.use_count(), 127);
    // And they still draw.
    platform::Bitmap cell(11, 11, kBlack);
    EXPECT_EQ(lib.drawGlyph(126, u'I', &cell, kRed, kBlack), 11);
    EXPECT_EQ(cell.pixel(2, 5), kRed);
}

}  // namespace

namespace {

// Under AutoAdjust each character moves on by its ink and one column more than
// it was measured with: the last one's ink must not fall off the image.
TEST_F(Rasterizer, AutoAdjustKeepsTheLastCharactersInk) {
    style.fontList = {{u"Arial", 0}};
    style.autoAdjust = true;
    style.screenHeight = 12;  // 宋体, a character at a time; each is a 4-column block of ink
    style.pitchOffset = 0;
    const auto run = rasterizer.rasterize(u"abc", style);
    EXPECT_EQ(run.advance, 3 * (4 + 0 + 1));
    ASSERT_EQ(run.image.width(), 14);  // measured 12; the ink ends at column 14
    EXPECT_EQ(rowsOf(run.image)[11], "####.####.####");
    // The spacing moves the characters apart the same way.
    style.pitchOffset = 2;
    const auto spaced = rasterizer.rasterize(u"ab", style);
    EXPECT_EQ(spaced.advance, 2 * (4 + 2 + 1));
    ASSERT_EQ(spaced.image.width(), 12);  // measured 2 × (4 + 2); the ink ends at 7 + 4
    EXPECT_EQ(rowsOf(spaced.image)[11], "####...####.");
    // Growing stays within what a line can hold.
    style.pitchOffset = 0;
    style.maxColumns = 13;
    EXPECT_TRUE(rasterizer.rasterize(u"abc", style).tooLong);
}

}  // namespace
