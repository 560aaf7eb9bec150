// The rasterizer with the real Qt text renderer and the installed fonts.
#include "content/BitmapFontLibrary.h"
#include "content/TextRasterizer.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtTextRenderer.h"

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
    void draw(platform::Bitmap& b, platform::Rect box, const platform::LogFont& f, std::u16string_view t, int e,
              uint32_t ink) override {
        pieces.emplace_back(t);
        real.draw(b, box, f, t, e, ink);
    }
    void drawDefault(platform::Bitmap& b, platform::Rect box, std::u16string_view t, uint32_t ink) override {
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
        for (auto& f : catalog.families()) style.fontList.push_back({f, 0});
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
    for (uint32_t p : arial.image.pixels()) EXPECT_TRUE(p == kRed || p == kBlack) << std::hex << p;

    counting.pieces.clear();
    style.font.lfFaceName = u"\u5B8B\u4F53";
    style.pitchOffset = 2;
    const auto song = rasterizer.rasterize(u"\u4F60\u597D!", style);
    EXPECT_EQ(counting.pieces, (std::vector<std::u16string>{u"\u4F60", u"\u597D", u"!"}));
    EXPECT_GT(inkRows(song.image), 5);
    for (uint32_t p : song.image.pixels()) EXPECT_TRUE(p == kRed || p == kBlack) << std::hex << p;
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

TEST_F(QtRasterizer, GlyphStripMatchesTheRasterizedRun) {
    style.font.lfFaceName = u"DejaVu Sans";
    style.screenHeight = 12;
    style.pitchOffset = 1;
    for (const std::u16string text : {u"-", u"8", u"\u2103"}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        const auto run = rasterizer.rasterize(text, style);
        const auto strip = rasterizer.glyphStrip(text, style);
        const int width = run.advance + 2 * style.pitchOffset + 1;
        const size_t groups = static_cast<size_t>((width + 7) / 8);
        EXPECT_EQ(strip.width, run.advance);
        ASSERT_EQ(strip.bytes.size(), groups * 12);
        EXPECT_EQ(strip.lengthPlus5, strip.bytes.size() + 5);
        // Every bit is the lit test of the pixel it stands for.
        for (size_t g = 0; g < groups; ++g)
            for (int y = 0; y < 12; ++y)
                for (int b = 0; b < 8; ++b) {
                    const int x = static_cast<int>(g) * 8 + b;
                    const bool lit = x < width && x < run.image.width() && y < run.image.height() &&
                                     run.image.isLit(x, y);
                    EXPECT_EQ((strip.bytes[g * 12 + y] >> (7 - b)) & 1, lit ? 1 : 0) << x << "," << y;
                }
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
