#include "content/ProgramEncoder.h"
#include "device/DeviceImage.h"
#include "device/DeviceImageReader.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/ProgramSettings.h"

#include <gtest/gtest.h>

namespace {

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

uint8_t b(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]);
}
uint32_t u32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(b(s, at)) << 24 | b(s, at + 1) << 16 | b(s, at + 2) << 8 |
           b(s, at + 3);
}

ProgramRecord program(std::u16string text, int checked = 1, std::u16string name = u"p") {
    ProgramRecord p;
    p.checked = checked;
    p.name = std::move(name);
    p.settings = arialSettings(std::move(text));
    return p;
}

class Image : public ::testing::Test {
protected:
    Image()
        : encoder(CDlgProgram::Instance::Encoder, texts),
          rasterizer(renderer, fonts),
          programs(rasterizer, codec) {
        encoder.setFontList({{u"Arial", 0}});
    }
    ScreenRecord screen(int w, int h, std::vector<ProgramRecord> list) {
        ScreenRecord s;
        s.width = w;
        s.height = h;
        ProgramKey key = 65537;
        for (auto& p : list)
            s.programs[key++] = std::move(p);
        return s;
    }
    DeviceImage::Built build(const ScreenRecord& s, int32_t mode = 0, int32_t temp = 0,
                             bool currentOnly = false, ProgramKey current = 0) {
        return DeviceImage::build(s, mode, temp, currentOnly, current, encoder, programs);
    }

    Texts texts;
    FakeTextRenderer renderer;
    BitmapFontLibrary fonts;
    FakeImageCodec codec;
    CDlgProgram encoder;
    TextRasterizer rasterizer;
    ProgramEncoder programs;
};

TEST_F(Image, HeaderCodes) {
    struct Case {
        int w, h;
        uint8_t wc, hc;
    };
    for (const Case c : {Case{36, 11, 0, 0}, Case{48, 16, 1, 2}, Case{40, 12, 40, 1},
                         Case{48, 12, 1, 1}, Case{96, 32, 96, 32}}) {
        SCOPED_TRACE(c.w);
        const auto built = build(screen(c.w, c.h, {program(u"A")}));
        ASSERT_FALSE(built.bytes.empty());
        EXPECT_EQ(b(built.bytes, 0), c.wc);
        EXPECT_EQ(b(built.bytes, 1), c.hc);
    }
    const auto settings = build(screen(48, 12, {program(u"A")}), 1, -3);
    EXPECT_EQ(b(settings.bytes, 2), 1);
    EXPECT_EQ(b(settings.bytes, 44), 0xFD);
    EXPECT_EQ(build(screen(48, 12, {program(u"A")}), 0, 7).bytes[44], 7);
}

TEST_F(Image, RecordsFollowTheHeaderAndTheDigitFontTheRecords) {
    // 48 × 12: one page of 6 groups × 12 rows; the second program has two pages.
    const auto built =
        build(screen(48, 12, {program(u"AB", 1, u"one"), program(u"ABCDEFGHIJKLM", 1, u"two")}));
    const std::string& img = built.bytes;
    const uint32_t first = 30 + 5 + 72, second = 30 + 5 + 2 * 72;
    EXPECT_EQ(b(img, 49), 2);
    EXPECT_EQ(u32(img, 50), 100u);
    EXPECT_EQ(u32(img, 54), 100u + first);
    EXPECT_EQ(u32(img, 58), 0u);
    EXPECT_EQ(u32(img, 45), 100u + first + second);
    ASSERT_EQ(img.size(), 100u + first + second + 154);
    EXPECT_EQ(built.names, (std::vector<std::u16string>{u"one", u"two"}));
    // The reserved bytes stay 0.
    for (size_t i = 3; i < 44; ++i)
        EXPECT_EQ(img[i], 0) << i;
    // The digit font block, byte for byte from its table: offsets, then glyph 0 and the percent
    // sign.
    const size_t font = 100 + first + second;
    EXPECT_EQ(b(img, font), 0);
    EXPECT_EQ(b(img, font + 1), 22);
    EXPECT_EQ(b(img, font + 20), 0);
    EXPECT_EQ(b(img, font + 21), 22 + 120);
    const uint8_t zero[12] = {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x77,
                              0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF};
    const uint8_t percent[12] = {0xFF, 0xFF, 0xB7, 0x57, 0x4F, 0xAF,
                                 0xD7, 0xCB, 0xAB, 0xB7, 0xFF, 0xFF};
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(b(img, font + 22 + r), zero[r]);
        EXPECT_EQ(b(img, font + 22 + 120 + r), percent[r]);
    }
    EXPECT_EQ(b(img, font + 22 + 12 * 4 + 7), 0x87);  // glyph 4, row 7
}

TEST_F(Image, CheckedAndCurrentRules) {
    const ScreenRecord s = screen(
        48, 12, {program(u"A", 0, u"off"), program(u"B", 1, u"on"), program(u"", 1, u"empty")});
    const auto all = build(s);
    EXPECT_EQ(all.names,
              std::vector<std::u16string>{u"on"});  // the unchecked and the empty one are left out
    // Only the current program, checked or not.
    const auto current = build(s, 0, 0, true, 65537);
    EXPECT_EQ(current.names, std::vector<std::u16string>{u"off"});
    // Nothing checked: nothing at all.
    EXPECT_TRUE(build(screen(48, 12, {program(u"A", 0)})).bytes.empty());
    EXPECT_TRUE(build(s, 0, 0, true, 65539).bytes.empty());  // the current one shows nothing
}

TEST_F(Image, TheReaderSeesWhatTheBuilderWrote) {
    const auto built = build(screen(48, 12, {program(u"AB[05]"), program(u"[FF]x")}), 1, -2);
    const auto image = DeviceImageReader::read(built.bytes);
    EXPECT_EQ(image.problem, "");
    EXPECT_EQ(image.width, 48);
    EXPECT_EQ(image.height, 12);
    EXPECT_EQ(image.playMode, 1);
    EXPECT_EQ(image.temperatureCorrection, -2);
    ASSERT_EQ(image.records.size(), 2u);
    EXPECT_EQ(image.records[0].animations.size(), 1u);
    EXPECT_EQ(image.records[0].animations[0].number, 5);
    EXPECT_FALSE(image.records[0].hasTemperature);
    EXPECT_TRUE(image.records[1].hasTemperature);
    EXPECT_EQ(image.records[1].temperature.unit, 1);
    EXPECT_TRUE(image.hasDigitFont);
    // Lit LEDs where the encoder put ink: "AB" and the placeholder, 8 + 12 = 20 columns, from 14.
    EXPECT_TRUE(image.records[0].lit(14, 11, 48, 12));
    EXPECT_FALSE(image.records[0].lit(13, 11, 48, 12));
    EXPECT_FALSE(image.records[0].lit(14, 0, 48, 12));
}

TEST_F(Image, TheReaderNamesTheFirstProblem) {
    const auto built = build(screen(48, 12, {program(u"AB"), program(u"CD")}));
    const std::string& img = built.bytes;
    struct Case {
        std::string bytes;
        std::string problem;
        size_t records;
    };
    std::string badCount = img, badOffset = img, badFirst = img, badLength = img, badBitmap = img;
    badCount[49] = 13;
    badOffset[55] = 0x10;  // second table entry far beyond
    badFirst[51] = 0x10;   // first table entry far beyond: the second still counts
    badLength[100] = static_cast<char>(0x7F);  // first record claims 32 KB
    badBitmap[100 + 31] = 20;                  // a bitmap block of 20 bytes is no whole page
    // Offsets near 2^32 must not wrap round past the bounds checks.
    std::string farBitmap = img, farAnimation = img, farTemperature = img;
    for (int k = 0; k < 4; ++k) {
        farBitmap[100 + 11 + k] = static_cast<char>(0xFF);
        farAnimation[100 + 15 + k] = static_cast<char>(0xFF);
        farTemperature[100 + 19 + k] = static_cast<char>(0xFF);
    }
    farBitmap[100 + 14] = static_cast<char>(0xFD);  // 0xFFFFFFFD + 5 wraps to 2
    const Case cases[] = {
        {img.substr(0, 99), "shorter than its 100-byte header", 0},
        {img.substr(0, img.size() - 1), "no digit font block after the records", 2},
        {badCount, "program count beyond the 12 table slots at byte 49", 2},
        {badOffset, "program table entry outside the image at byte 54", 1},
        // A record that is passed over leaves the one after it readable.
        {badFirst, "program table entry outside the image at byte 50", 1},
        {badLength, "record length past the end of the image at byte 100", 1},
        {badBitmap, "bitmap block does not hold whole pages at byte 130", 1},
        {farBitmap, "bitmap block outside its record at byte 111", 1},
        {farAnimation, "animation table outside its record at byte 115", 1},
        {farTemperature, "temperature block outside its record at byte 119", 1},
    };
    const uint32_t second = static_cast<uint8_t>(img[54]) << 24 |
                            static_cast<uint8_t>(img[55]) << 16 |
                            static_cast<uint8_t>(img[56]) << 8 | static_cast<uint8_t>(img[57]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        const auto image = DeviceImageReader::read(c.bytes);
        EXPECT_EQ(image.problem, c.problem);
        ASSERT_EQ(image.records.size(), c.records);
        // Whatever was passed over, the record read is the second program's, in its own slot.
        if (c.records == 1 && c.bytes.size() > 100 &&
            c.problem.find("byte 54") == std::string::npos) {
            EXPECT_EQ(image.records[0].slot, 1u);
            EXPECT_EQ(image.records[0].offset, second);
        }
    }
}

}  // namespace

namespace {

// Sizes a sign can never have, and lines longer than an image can carry, are
// refused as too long before anything is drawn, never dropped on the quiet.
TEST_F(Image, ScreensLargerThanASignAreRefusedBeforeDrawing) {
    struct Case {
        int w, h;
        bool tooLong;
    };
    const Case cases[] = {{100000, 100000, true}, {256, 12, true}, {48, 128, true},
                          {255, 127, false},      {8, 8, false},   {48, 12, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        renderer.calls.clear();
        const auto built = build(screen(c.w, c.h, {program(u"AB")}));
        EXPECT_EQ(built.tooLong, c.tooLong);
        EXPECT_EQ(built.bytes.empty(), c.tooLong);
        if (c.tooLong) {
            EXPECT_TRUE(renderer.calls.empty());  // nothing was drawn for it
        }
    }
    // A screen with nothing checked has nothing to refuse.
    EXPECT_FALSE(build(screen(100000, 100000, {program(u"AB", 0)})).tooLong);
}

TEST_F(Image, TheLongestLineFitsAndOneColumnMoreIsRefused) {
    // 30720 bytes less the 100-byte header, the 154-byte digit font, the record's
    // 30-byte header and the bitmap's 5 leave 30431 bytes: 422 pages of 6 × 12
    // bytes on a 48 × 12 screen, 20256 columns, 5064 characters 4 columns wide.
    const auto fits = build(screen(48, 12, {program(std::u16string(5064, u'I'))}));
    ASSERT_FALSE(fits.tooLong);
    EXPECT_EQ(fits.bytes.size(), 100u + 30 + 5 + 422 * 72 + 154);
    EXPECT_EQ(b(fits.bytes, 100 + 30 + 2) << 8 | b(fits.bytes, 100 + 30 + 3), 20256);

    // One character more makes the line one page longer than an image holds; the
    // short program beside it is not sent without it.
    const auto over = build(screen(48, 12, {program(u"AB"), program(std::u16string(5065, u'I'))}));
    EXPECT_TRUE(over.tooLong);
    EXPECT_TRUE(over.bytes.empty());
}

TEST_F(Image, HostileSpacingAndOffsetsNeverSizeAnAllocation) {
    ProgramRecord wide = program(u"AB");
    wide.PitchOffSet = INT32_MAX;
    EXPECT_TRUE(build(screen(48, 12, {wide})).tooLong);
    ProgramRecord temperature = program(u"[FE]");
    temperature.PitchOffSet = 1 << 28;  // every digit cell is as wide
    EXPECT_TRUE(build(screen(48, 12, {temperature})).tooLong);
    ProgramRecord narrow = program(u"AB");
    narrow.PitchOffSet = INT32_MIN;  // every character goes back: nothing to show
    const auto none = build(screen(48, 12, {narrow}));
    EXPECT_FALSE(none.tooLong);
    EXPECT_TRUE(none.bytes.empty());
    for (int32_t offset : {INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(offset);
        ProgramRecord shifted = program(u"AB");
        shifted.OffsetX = offset;
        shifted.OffsetY = offset;
        const auto built = build(screen(48, 12, {shifted}));
        EXPECT_TRUE(built.tooLong || built.bytes.size() <= DeviceImage::kMaxSendLength);
    }
}

TEST(LineLimits, WholePagesWithinTheRecordAndSixteenBitColumns) {
    // (30466 − 35) bytes of pages: a 255 × 127 page is 32 × 127 = 4064 bytes, 7 pages.
    EXPECT_EQ(ProgramEncoder::maxLineColumns(255, 127), 7 * 255);
    // A 1-row page of 8 columns is one byte: 30431 pages, but no more than 65535 columns.
    EXPECT_EQ(ProgramEncoder::maxLineColumns(8, 1), 65528);
    EXPECT_EQ(ProgramEncoder::maxLineColumns(48, 12), 20256);
    EXPECT_EQ(ProgramEncoder::maxLineColumns(0, 12), 0);
    EXPECT_EQ(ProgramEncoder::maxLineColumns(48, 0), 0);
    EXPECT_EQ(ProgramEncoder::maxLineColumns(256, 12), 0);
    EXPECT_EQ(ProgramEncoder::maxLineColumns(48, 128), 0);
}

}  // namespace
