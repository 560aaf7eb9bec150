#include "content/ProgramEncoder.h"
#include "content/TextRasterizer.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/ProgramSettings.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using platform::Bitmap;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlack = 0xFF000000u;

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

uint16_t u16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) << 8 |
                                 static_cast<uint8_t>(s[at + 1]));
}
uint32_t u32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(u16(s, at)) << 16 | u16(s, at + 2);
}

// Lit columns of one bitmap row, as '#' and '.'.
std::string row(const Bitmap& b, int y) {
    std::string r;
    for (int x = 0; x < b.width(); ++x)
        r += b.isLit(x, y) ? '#' : '.';
    return r;
}

// Every character of the fake renderer is 4 columns wide with its ink in the
// bottom 8 of 12 rows, so a run of n characters is 4·n columns.
class Encoder : public ::testing::Test {
protected:
    Encoder()
        : encoder(CDlgProgram::Instance::Encoder, texts),
          rasterizer(renderer, fonts),
          programs(rasterizer, codec) {
        encoder.setFontList({{u"Arial", 0}});
        encoder.setScreenSize(48, 12);
    }
    void load(std::u16string text, SettingsMap extra = {}, int offsetX = 0, int offsetY = 0) {
        ProgramRecord p;
        p.OffsetX = offsetX;
        p.OffsetY = offsetY;
        p.settings = arialSettings(std::move(text), {{u"BorderSpeed", u"4"}});
        for (auto& [k, v] : extra)
            p.settings[k] = v;
        encoder.load(p);
    }
    ProgramEncoder::Layout line() { return programs.layout(encoder, programs.segments(encoder)); }

    Texts texts;
    FakeTextRenderer renderer;
    BitmapFontLibrary fonts;
    FakeImageCodec codec;
    CDlgProgram encoder;
    TextRasterizer rasterizer;
    ProgramEncoder programs;
};

TEST_F(Encoder, AShortRunIsCentredAndOffsetXMovesIt) {
    load(u"ABCDE");  // 20 columns
    ProgramEncoder::Layout a = line();
    ASSERT_EQ(a.bitmap.width(), 48);
    EXPECT_EQ(row(a.bitmap, 11).find('#'), 14u);
    EXPECT_EQ(row(a.bitmap, 11).rfind('#'), 14u + 19);
    EXPECT_EQ(row(a.bitmap, 3), std::string(48, '.'));  // ink in the bottom 8 rows only
    load(u"ABCDE", {}, 4);
    EXPECT_EQ(row(line().bitmap, 11).find('#'), 20u);
    // OffsetY moves text down; rows pushed past the bottom are gone.
    load(u"ABCDE", {}, 0, 2);
    EXPECT_EQ(row(line().bitmap, 5), std::string(48, '.'));
    EXPECT_EQ(row(line().bitmap, 6).find('#'), 14u);
}

TEST_F(Encoder, ALongRunFillsWholePagesFromColumnZero) {
    load(u"ABCDEFGHIJKLM");  // 52 columns
    const ProgramEncoder::Layout l = line();
    EXPECT_EQ(l.bitmap.width(), 96);
    EXPECT_EQ(row(l.bitmap, 11).find('#'), 0u);
    const std::string record = programs.encode(encoder);
    EXPECT_EQ(u16(record, 30 + 2), 96);  // total columns
    EXPECT_EQ(u16(record, 0), 30 + 5 + 2 * 6 * 12);
}

TEST_F(Encoder, BlackOnRedLightsTheBackground) {
    load(u"AB", {{u"Color1", u"0"}, {u"Color2", u"255"}});
    const std::string record = programs.encode(encoder);
    EXPECT_EQ(record[8], 1);  // red background byte
    // Every LED but the text's is lit: 0 bits in the page data except under the ink.
    const ProgramEncoder::Layout l = line();
    EXPECT_EQ(row(l.bitmap, 0), std::string(48, '#'));
    std::string bottom = row(l.bitmap, 11);
    EXPECT_EQ(bottom.substr(20, 8), "........");  // the two characters, dark
    EXPECT_EQ(bottom.substr(0, 20), std::string(20, '#'));
    load(u"AB");
    EXPECT_EQ(programs.encode(encoder)[8], 0);
}

TEST_F(Encoder, ATrailingAnimationKeepsItsColumns) {
    load(u"ABCDEFGHIJK[05]");  // 44 columns of text, then a 12-column placeholder
    const ProgramEncoder::Layout l = line();
    ASSERT_EQ(l.animations.size(), 1u);
    // sum 56 ≥ 48: from column 0; the placeholder after a one-column gap at 45.
    EXPECT_EQ(l.animations[0].first, 45);
    EXPECT_EQ(l.animations[0].second, 5);
    // The text ends at column 44 (43 holds ink): 44 + 12 = 56 → two pages.
    EXPECT_EQ(l.bitmap.width(), 96);
    const std::string record = programs.encode(encoder);
    const uint32_t table = u32(record, 15);
    EXPECT_EQ(table, 30u + 5 + 2 * 72);
    EXPECT_EQ(u16(record, table), 3 * 1 + 9);
    EXPECT_EQ(static_cast<uint8_t>(record[table + 2]), 12);
    EXPECT_EQ(static_cast<uint8_t>(record[table + 3]), 1);
    EXPECT_EQ(u16(record, table + 5), 45);
    EXPECT_EQ(static_cast<uint8_t>(record[table + 7]), 5);
    EXPECT_EQ(u32(record, 19), 0u);
}

TEST_F(Encoder, TwoPlaceholdersMakeAnElevenByteTable) {
    load(u"[0A]x[0B]");
    const std::string record = programs.encode(encoder);
    const uint32_t table = u32(record, 15);
    ASSERT_NE(table, 0u);
    EXPECT_EQ(record.size() - table, 11u);
    EXPECT_EQ(u16(record, table), 15);
    EXPECT_EQ(static_cast<uint8_t>(record[table + 7]), 0x0A);
    EXPECT_EQ(static_cast<uint8_t>(record[table + 10]), 0x0B);
}

TEST_F(Encoder, TheTwentyFirstAnimationCodeIsDropped) {
    std::u16string text = u"A";
    for (int i = 0; i < 21; ++i)
        text += u"[1" + std::u16string(1, u"0123456789ABCDEF"[i % 16]) + u"]";
    load(text);
    const std::string record = programs.encode(encoder);
    const uint32_t table = u32(record, 15);
    EXPECT_EQ(static_cast<uint8_t>(record[table + 3]), 20);
    EXPECT_EQ(u16(record, table), 3 * 20 + 9);
}

TEST_F(Encoder, PicturesAreCutToTwelveRowsAndKeepTheirRows) {
    Bitmap tall(3, 20, kRed);
    codec.put("/p/tall.png", tall);
    encoder.setPictures({{52, 3, 20, u"/missing.png", 0}, {52, 3, 20, u"/p/tall.png", 0}});
    load(u"[52]", {}, 0, 3);  // OffsetY moves text, not pictures
    const auto segs = programs.segments(encoder);
    ASSERT_EQ(segs.size(), 1u);  // the first record's file is missing: the next one is taken
    EXPECT_EQ(segs[0].image.height(), 12);
    const ProgramEncoder::Layout l = line();
    // Centred: (48 − 3) / 2 = 22, then the one-column gap before a picture.
    EXPECT_EQ(row(l.bitmap, 0).substr(22, 5), ".###.");
    EXPECT_EQ(row(l.bitmap, 11).substr(22, 5), ".###.");
    // No such picture: nothing at all.
    load(u"[57]");
    EXPECT_TRUE(programs.encode(encoder).empty());
}

TEST_F(Encoder, TemperatureFieldAndBlock) {
    load(u"[FE]", {{u"UseTemp", u"1"}});
    const std::string record = programs.encode(encoder);
    const uint32_t block = u32(record, 19);
    ASSERT_NE(block, 0u);
    EXPECT_EQ(u32(record, 15), 0u);
    // Each glyph strip: 4 + 2·0 + 1 = 5 columns, one group of 12 rows.
    const std::string t = record.substr(block);
    EXPECT_EQ(u16(t, 0), 38 + 11 * 12);
    EXPECT_EQ(t.size(), 38u + 11 * 12);
    EXPECT_EQ(static_cast<uint8_t>(t[2]), 2 * 5 + 4);  // field width: two digit cells and the minus
    EXPECT_EQ(static_cast<uint8_t>(t[5]), 0);          // Celsius
    EXPECT_EQ(static_cast<uint8_t>(t[6]), 4);          // minus width
    EXPECT_EQ(u16(t, 7), 12 + 5);
    EXPECT_EQ(static_cast<uint8_t>(t[9]), 5);  // digit cell: 4 + 0 + 1
    EXPECT_EQ(u16(t, 10), 12 + 5);
    EXPECT_EQ(u16(t, 12), 34);
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(u16(t, 14 + 2 * d), 34 + 12 * (d + 1));
    // The glyphs inverted: dark rows 0xFF, the 4 ink columns 0x0F.
    EXPECT_EQ(static_cast<uint8_t>(t[34]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(t[34 + 11]), 0x0F);
    EXPECT_EQ(t.substr(t.size() - 4), std::string(4, '\0'));
    // The field: symbol (4) + minus (4) + 2 digit cells (10) = 18 columns, centred
    // at 15, then the one-column gap: column 16.
    EXPECT_EQ(u16(t, 3), 16);
    // Fahrenheit, and the last of two fields wins.
    load(u"[FE][FF]");
    const std::string two = programs.encode(encoder);
    EXPECT_EQ(static_cast<uint8_t>(two[u32(two, 19) + 5]), 1);
}

TEST_F(Encoder, RecordHeaderAndPages) {
    load(u"AB", {{u"Effect", u"3"},
                 {u"Speed", u"0"},
                 {u"StopTime", u"21"},
                 {u"Flicker", u"1"},
                 {u"Border", u"12"},
                 {u"BorderSpeed", u"8"}});
    const std::string record = programs.encode(encoder);
    ASSERT_EQ(record.size(), 30u + 5 + 72);
    EXPECT_EQ(u16(record, 0), 107);
    EXPECT_EQ(static_cast<uint8_t>(record[2]), 3);
    EXPECT_EQ(static_cast<uint8_t>(record[3]), 1);    // speed value of position 0
    EXPECT_EQ(static_cast<uint8_t>(record[4]), 255);  // stop time of position 21
    EXPECT_EQ(static_cast<uint8_t>(record[5]), 1);
    EXPECT_EQ(static_cast<uint8_t>(record[6]), 12);
    EXPECT_EQ(static_cast<uint8_t>(record[7]), 9);
    EXPECT_EQ(static_cast<uint8_t>(record[10]), 1);
    EXPECT_EQ(u32(record, 11), 30u);
    EXPECT_EQ(u32(record, 15), 0u);
    EXPECT_EQ(u32(record, 19), 0u);
    EXPECT_EQ(u16(record, 30), 72 + 5);
    EXPECT_EQ(u16(record, 32), 48);
    // "AB" at columns 20..27: group 2 holds 16..23, group 3 24..31; bottom row 11.
    EXPECT_EQ(static_cast<uint8_t>(record[35 + 2 * 12 + 11]),
              0xF0);  // columns 20-23 lit (0), 16-19 dark
    EXPECT_EQ(static_cast<uint8_t>(record[35 + 3 * 12 + 11]), 0x0F);  // columns 24-27 lit
    EXPECT_EQ(static_cast<uint8_t>(record[35 + 0 * 12 + 11]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(record[35 + 2 * 12 + 3]), 0xFF);  // above the ink
    // A list without a selection gives 0xFF.
    load(u"AB", {{u"Effect", u"12"}});
    EXPECT_EQ(static_cast<uint8_t>(programs.encode(encoder)[2]), 0xFF);
    // Nothing to show: no record.
    load(u"");
    EXPECT_TRUE(programs.encode(encoder).empty());
}

TEST_F(Encoder, APageOfThirtySixColumnsHasPaddingDark) {
    encoder.setScreenSize(36, 11);
    load(u"A");
    const std::string record = programs.encode(encoder);
    EXPECT_EQ(record.size(), 30u + 5 + 5 * 11);
    // Group 4 holds columns 32..35 and 4 padding columns (dark).
    for (int r = 0; r < 11; ++r)
        EXPECT_EQ(static_cast<uint8_t>(record[35 + 4 * 11 + r]) & 0x0F, 0x0F);
}

}  // namespace
