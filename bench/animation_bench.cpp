// The animation set of the shipped library beside the decoding of its GIFs
// alone: what the set adds on top of reading the files.
#include "assets/AnimationLibrary.h"
#include "assets/AnimationSet.h"
#include "platform/Folders.h"
#include "platform/TextCodec.h"
#include "platform/qt/QtImageCodec.h"

#include <QGuiApplication>

#include "TimesReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::u16string> g_paths;
std::map<std::string, double> g_seconds;

void BM_DecodeOnly(benchmark::State& state) {
    platform::QtImageCodec codec;
    for (auto _ : state) {
        size_t frames = 0;
        for (const auto& path : g_paths) {
            std::vector<platform::ImageFrame> decoded;
            codec.loadFrames(std::filesystem::path(platform::utf16ToUtf8(path)), decoded);
            frames += decoded.size();
        }
        benchmark::DoNotOptimize(frames);
    }
}

void BM_BuildSet(benchmark::State& state) {
    platform::QtImageCodec codec;
    const int height = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto set = AnimationSet::build(g_paths, height, codec);
        if (set.size() <= AnimationSet::kHeaderSize) state.SkipWithError("no animation was read");
        benchmark::DoNotOptimize(set.data());
    }
}

BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSet)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const auto program = platform::programFolder(platform::executableFolder());
    g_paths = AnimationLibrary::paths(AnimationLibrary::read(program / "DefaultGif.dat", program));
    if (g_paths.empty()) {
        std::fprintf(stderr, "no shipped animations in %s\n", program.string().c_str());
        return 1;
    }
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    g_seconds = reporter.seconds;
    const double decode = g_seconds["BM_DecodeOnly"];
    if (decode > 0) {
        for (const char* h : {"12", "16"}) {
            const double build = g_seconds[std::string("BM_BuildSet/") + h];
            std::printf(
                "%zu shipped animations at %s rows: set %.2f ms, decoding alone %.2f ms, "
                "ratio %.2f (goal: at most 1.5)\n",
                g_paths.size(), h, build * 1e3, decode * 1e3, build / decode);
        }
    }
    benchmark::Shutdown();
    return 0;
}
