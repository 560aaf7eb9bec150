// Encoding a full screen against the time its device image spends on the wire.
#include "app/LanguageTable.h"
#include "assets/PictureLibrary.h"
#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"
#include "content/FontList.h"
#include "content/ProgramEncoder.h"
#include "content/TextRasterizer.h"
#include "device/DeviceImage.h"
#include "platform/Folders.h"
#include "platform/TextCodec.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtTextRenderer.h"

#include <QGuiApplication>

#include "TimesReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

namespace {

struct Fixture {
    LanguageTable language;
    platform::QtFontCatalog catalog;
    platform::QtImageCodec images;
    platform::QtTextRenderer text{catalog};
    BitmapFontLibrary bitmapFonts;
    PictureLibrary pictures;
    CDlgProgram encoder{CDlgProgram::Instance::Encoder, language};
    TextRasterizer rasterizer{text, bitmapFonts};
    ProgramEncoder programEncoder{rasterizer, images};
    ScreenRecord bitmapScreen, systemScreen;

    Fixture() {
        const auto program = platform::programFolder(platform::executableFolder());
        bitmapFonts.loadFolder(program / "Font", 936);
        pictures.loadAtStartup({}, program / "DefaultImage.dat", program);
        encoder.setFontList(makeFontList(catalog.families(), bitmapFonts));
        encoder.setPictures(pictures.records());
        bitmapScreen = screen(u"QVSimsun");
        systemScreen = screen(u"\u5B8B\u4F53");
    }

    // Ten programs of about 40 characters, with a picture, an animation and a temperature.
    static ScreenRecord screen(const std::u16string& font) {
        ScreenRecord s;
        s.width = 48;
        s.height = 12;
        for (int i = 0; i < 10; ++i) {
            ProgramRecord p;
            p.name = u"Program";
            p.settings = {
                {u"TextContent", u"Welcome [50] open 9-18 \u4F60\u597D [05] now [FE] ok " +
                                     std::u16string(1, u'A' + i)},
                {u"Font", font},
                {u"FontSize", u"12"},
                {u"Color1", u"255"},
                {u"Color2", u"0"},
                {u"Effect", u"3"},
                {u"Speed", u"4"},
                {u"StopTime", u"3"}};
            s.programs[programKey(1, static_cast<uint16_t>(i + 1))] = p;
        }
        return s;
    }
    const ScreenRecord& screenOf(int64_t kind) const {
        return kind == 0 ? bitmapScreen : systemScreen;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

std::map<std::string, size_t> g_imageBytes;

void BM_EncodeProgram(benchmark::State& state) {
    Fixture& f = fixture();
    const ScreenRecord& screen = f.screenOf(state.range(0));
    f.encoder.setScreenSize(48, 12);
    f.encoder.load(screen.programs.begin()->second);
    for (auto _ : state)
        benchmark::DoNotOptimize(f.programEncoder.encode(f.encoder));
    state.SetLabel(state.range(0) == 0 ? "bitmap font" : "system font");
}

void BM_EncodeImage(benchmark::State& state) {
    Fixture& f = fixture();
    const ScreenRecord& screen = f.screenOf(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        const auto built = DeviceImage::build(screen, 0, 0, false, 0, f.encoder, f.programEncoder);
        bytes = built.bytes.size();
        benchmark::DoNotOptimize(built.bytes.data());
    }
    g_imageBytes["BM_EncodeImage/" + std::to_string(state.range(0))] = bytes;
    state.SetLabel((state.range(0) == 0 ? "bitmap font, " : "system font, ") +
                   std::to_string(bytes) + " bytes");
}

BENCHMARK(BM_EncodeProgram)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* name : {"BM_EncodeImage/0", "BM_EncodeImage/1"}) {
        const size_t bytes = g_imageBytes[name];
        // Each 52-byte piece goes out in one report and comes back acknowledged in another.
        const double wire = static_cast<double>((bytes + 51) / 52) * 2e-3;
        const double encode = reporter.seconds[name];
        if (wire > 0)
            std::printf(
                "%s: %zu bytes, %.1f ms on the wire, encoding %.2f ms = %.2f %% of it (goal: under "
                "2 %%)\n",
                name, bytes, wire * 1e3, encode * 1e3, 100 * encode / wire);
    }
    benchmark::Shutdown();
    return 0;
}
