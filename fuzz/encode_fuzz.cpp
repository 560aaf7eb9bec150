// Arbitrary bytes as a project file turned into the device images of its
// screens, as `zentari-cli image` and Send build them: every program's
// settings read by the editor's rules (fonts, sizes, colours, lists, picture,
// animation and temperature codes) and encoded against a text renderer, a
// bitmap font and pictures of known sizes. An image is either refused as too
// long or empty, or it reads back whole: the screen's size, one record per
// program taken, nothing outside the bytes.
#include "FuzzFolder.h"
#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"
#include "content/ProgramEncoder.h"
#include "content/TextRasterizer.h"
#include "device/DeviceImage.h"
#include "device/DeviceImageReader.h"
#include "project/ProjectFile.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/QvfWriter.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxScreens = 4;

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

// What every input is encoded against, made once.
struct Encoding {
    Texts texts;
    FakeTextRenderer renderer;
    BitmapFontLibrary fonts;
    FakeImageCodec codec;
    CDlgProgram loader{CDlgProgram::Instance::Encoder, texts};

    Encoding() {
        QvfFontSpec font{"QVSimsun", 12, {}};
        for (char16_t c : {u'A', u'B', u'0', u'1', u'\u4E2D'})
            font.glyphs[c] = {"############", "#..........#", "#.##....##.#", "#..........#",
                              "#....##....#", "#..........#", "#.#......#.#", "#..######..#",
                              "#..........#", "#..........#", "#..........#", "############"};
        fonts.addFile(makeQvf({font}), 936);
        loader.setFontList({{u"Arial", 0}, {u"QVSimsun", fonts.listValue(0)}});
        loader.setPictures(
            {{50, 12, 11, u"p50", 0}, {51, 30, 20, u"p51", 1}, {52, 5, 5, u"gone", 0}});
        codec.put("p50", platform::Bitmap(12, 11, 0xFFFF0000u));
        codec.put("p51", platform::Bitmap(40, 30, 0xFF00FF00u));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Encoding* encoding = new Encoding;
    fuzzfolder::reset();
    const auto file = fuzzfolder::folder() / "in.vqd";
    fuzzfolder::writeFile(file, fuzzfolder::bytesOf(data, size));
    std::vector<ProjectFile::LoadedScreen> screens;
    if (!ProjectFile::read(file, screens)) return 0;

    const TextRasterizer rasterizer(encoding->renderer, encoding->fonts);
    const ProgramEncoder encoder(rasterizer, encoding->codec);
    for (size_t s = 0; s < screens.size() && s < kMaxScreens; ++s) {
        // Keyed as opening the project keys them: file order, ten at most.
        ScreenRecord screen = screens[s].screen;
        ProgramKey key = programKey(static_cast<ScreenId>(s + 1), 1);
        for (const ProgramRecord& program : screens[s].programs) {
            if (screen.programs.size() == 10) break;
            screen.programs.emplace(key++, program);
        }
        const int32_t tempOffset = static_cast<int32_t>(s) * 3 - 5;
        const DeviceImage::Built built = DeviceImage::build(
            screen, static_cast<int32_t>(s % 2), tempOffset, false, 0, encoding->loader, encoder);
        if (built.tooLong) {
            if (!built.bytes.empty() || !built.names.empty()) std::abort();
            continue;
        }
        if (built.bytes.empty()) {
            if (!built.names.empty()) std::abort();
            continue;
        }
        // A screen 1 column wide, or 1 or 2 rows high, writes the size codes of
        // 48 columns, 12 and 16 rows (the sign's format has no others): a sign
        // reads such an image as of that size, and so does the reader.
        if (DeviceImage::widthOfCode(DeviceImage::widthCode(screen.width)) != screen.width ||
            DeviceImage::heightOfCode(DeviceImage::heightCode(screen.height)) != screen.height)
            continue;
        const DeviceImageReader::Image image = DeviceImageReader::read(built.bytes);
        if (!image.problem.empty()) std::abort();
        if (image.width != screen.width || image.height != screen.height) std::abort();
        if (image.records.size() != built.names.size() || image.count != built.names.size())
            std::abort();
        if (image.playMode != s % 2 || image.temperatureCorrection != tempOffset) std::abort();
        if (image.imageLength + DeviceImage::kDigitFontSize != built.bytes.size() ||
            !image.hasDigitFont)
            std::abort();
        for (const auto& record : image.records)
            if (screen.width > 0 && record.columns % screen.width != 0) std::abort();
    }
    return 0;
}
