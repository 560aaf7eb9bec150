// Images are built on any thread: the preview and the batch send build while the
// window goes on. Run under ThreadSanitizer by the tsan preset.
#include "content/EncodeContext.h"
#include "device/DeviceImage.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

ProgramRecord program(std::u16string text, std::u16string face = u"Arial",
                      std::u16string name = u"p") {
    ProgramRecord p;
    p.checked = 1;
    p.name = std::move(name);
    p.settings = {{u"TextContent", std::move(text)},
                  {u"Font", std::move(face)},
                  {u"FontSize", u"12"},
                  {u"Color1", u"255"},
                  {u"Color2", u"0"}};
    return p;
}

ScreenRecord screen(int w, int h, std::vector<ProgramRecord> programs) {
    ScreenRecord s;
    s.width = w;
    s.height = h;
    ProgramKey key = programKey(1, 1);
    for (auto& p : programs)
        s.programs[key++] = std::move(p);
    return s;
}

TEST(EncodeThreads, TwoThreadsBuildTheSameBytesAsOneAfterTheOther) {
    FakeTextRenderer renderer;
    FakeImageCodec codec;
    platform::Bitmap heart(12, 11, platform::kBlack);
    for (int i = 0; i < 11; ++i)
        heart.setPixel(i, i, 0xFFFF0000u);
    codec.put("/pictures/heart.png", heart);
    EncodeContext context(renderer, codec);
    context.setFonts({u"Arial", u"DejaVu Sans"}, BitmapFontLibrary());
    context.setPictures({{50, 12, 11, u"/pictures/heart.png", 0}});
    context.setLanguageName(u"English");

    // Different sizes, a picture both share, temperatures, animations, a face
    // that is not installed (it takes the previous program's).
    const ScreenRecord a =
        screen(48, 12, {program(u"Open [50] now"), program(u"[FE] out"), program(u"x", u"Nope")});
    const ScreenRecord b = screen(64, 16,
                                  {program(u"[01]Sale[50]"), program(std::u16string(60, u'W')),
                                   program(u"[FF]", u"DejaVu Sans")});
    const std::string aAlone = DeviceImage::buildScreen(a, 0, 0, false, 0, context).bytes;
    const std::string bAlone = DeviceImage::buildScreen(b, 1, -2, false, 0, context).bytes;
    ASSERT_FALSE(aAlone.empty());
    ASSERT_FALSE(bAlone.empty());
    ASSERT_NE(aAlone, bAlone);

    constexpr int kRounds = 20;
    std::vector<std::string> fromA(kRounds), fromB(kRounds);
    {
        std::jthread one([&] {
            for (auto& bytes : fromA)
                bytes = DeviceImage::buildScreen(a, 0, 0, false, 0, context).bytes;
        });
        std::jthread two([&] {
            for (auto& bytes : fromB)
                bytes = DeviceImage::buildScreen(b, 1, -2, false, 0, context).bytes;
        });
    }
    for (int k = 0; k < kRounds; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(fromA[k], aAlone);
        EXPECT_EQ(fromB[k], bAlone);
    }
}

// A build holds the fonts and pictures it started with, whatever the window
// hands in meanwhile; the next build sees the new ones.
TEST(EncodeThreads, ABuildKeepsItsSnapshotWhileTheWindowChangesIt) {
    FakeTextRenderer renderer;
    FakeImageCodec codec;
    codec.put("/a.png", platform::Bitmap(4, 4, 0xFFFF0000u));
    codec.put("/b.png", platform::Bitmap(8, 4, 0xFFFF0000u));
    EncodeContext context(renderer, codec);
    context.setFonts({u"Arial"}, BitmapFontLibrary());
    context.setPictures({{50, 4, 4, u"/a.png", 0}});
    const auto before = context.snapshot();
    const ScreenRecord s = screen(48, 12, {program(u"[50]")});
    const std::string first = DeviceImage::buildScreen(s, 0, 0, false, 0, context).bytes;

    std::jthread changer([&] {
        for (int k = 0; k < 50; ++k) {
            context.setPictures({{50, k % 2 ? 8 : 4, 4, k % 2 ? u"/b.png" : u"/a.png", 0}});
            context.setLanguageName(k % 2 ? u"English" : u"Deutsch");
        }
    });
    for (int k = 0; k < 50; ++k) {
        const std::string bytes = DeviceImage::buildScreen(s, 0, 0, false, 0, context).bytes;
        ASSERT_FALSE(bytes.empty());
    }
    changer.join();
    EXPECT_EQ(before->inputs.pictures.front().imgPath, u"/a.png");  // the old snapshot is untouched
    context.setPictures({{50, 8, 4, u"/b.png", 0}});
    EXPECT_NE(DeviceImage::buildScreen(s, 0, 0, false, 0, context).bytes, first);
}

}  // namespace
