// Building the flash image for a 4 MiB application beside a plain copy of the
// same bytes: the builder copies the application into user.app and that into
// zImag.img, with a CRC each time, so it should stay within a few plain copies.
#include "flashtool/image/ImageBuilder.h"
#include "flashtool/image/ImageSettings.h"

#include "ScratchFiles.h"
#include "TimesReporter.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t kBoot = 10'000;
constexpr size_t kApplication = 4u << 20;
constexpr uint32_t kAlignment = 0x200;

using benchfiles::randomBytes;
using benchfiles::ScratchFolder;
using benchfiles::writeFile;

// The inputs the benchmarks share; set up in main before they run.
struct Inputs {
    ScratchFolder folder;
    std::vector<std::string> imageFiles;  // uboot.boot, then the application
    vornload::BuildFolders buildFolders;
    fs::path copyFolder;
};
Inputs* g_inputs = nullptr;

// Settings as a board description gives them: code from 64K, a 16K configuration zone.
vornload::ImageSettings settings() {
    vornload::ImageSettings s;
    s.refreshInterval = 0x00000F3C;
    s.sdramControl = 0x1E1A3A52;
    s.clockWord = 0x00000032;
    s.spiWord = 0x00020104;
    s.runAddress = 0;
    s.codeStartOffset = 0x10000;
    s.configZoneSize = 0x4000;
    s.updateIoPin = 0x0541;
    s.updateLedPin = 0x0C42;
    s.updateDeviceName = {'T', 'Z', '4', '3', 0};
    const uint32_t flashId = 0xEF4016, flashSize = 4u << 20;
    for (size_t k = 0; k < 4; ++k) {
        s.systemConfig[k] = static_cast<uint8_t>(flashId >> (8 * k));
        s.systemConfig[4 + k] = static_cast<uint8_t>(flashSize >> (8 * k));
    }
    return s;
}

void BM_BuildImage(benchmark::State& state) {
    const vornload::ImageSettings s = settings();
    std::ostream discard(nullptr);  // the builders' lines are not what is measured
    for (auto _ : state) {
        vornload::ApplicationPackage package;
        if (vornload::buildApplicationPackage(g_inputs->imageFiles, kAlignment, s,
                                              g_inputs->buildFolders.tempFolder, discard,
                                              package) != 0) {
            state.SkipWithError("user.app was not built");
            break;
        }
        vornload::FlashImage image;
        if (vornload::buildImage(g_inputs->imageFiles, package, kAlignment, s,
                                 g_inputs->buildFolders, discard, image) != 0) {
            state.SkipWithError("zImag.img was not built");
            break;
        }
        benchmark::DoNotOptimize(image.flashFileSize);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBoot + kApplication));
}

void BM_CopyFiles(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& file : g_inputs->imageFiles) {
            std::error_code ec;
            fs::copy_file(file, g_inputs->copyFolder / fs::path(file).filename(),
                          fs::copy_options::overwrite_existing, ec);
            if (ec) {
                state.SkipWithError(("copy failed: " + ec.message()).c_str());
                return;
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBoot + kApplication));
}

BENCHMARK(BM_BuildImage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

bool prepare(Inputs& in) {
    if (!in.folder.create("flashimage-bench")) {
        std::fprintf(stderr, "no scratch folder: %s\n", std::strerror(errno));
        return false;
    }
    const fs::path root = in.folder.path();
    std::error_code ec;
    for (const char* sub : {"in", "tmp", "cwd", "copy"}) {
        fs::create_directory(root / sub, ec);
        if (ec) {
            std::fprintf(stderr, "cannot create %s: %s\n", (root / sub).c_str(),
                         ec.message().c_str());
            return false;
        }
    }
    const fs::path boot = root / "in" / "uboot.boot";
    const fs::path app = root / "in" / "main.app";
    if (!writeFile(boot, randomBytes(kBoot, 1)) || !writeFile(app, randomBytes(kApplication, 2))) {
        std::fprintf(stderr, "cannot write the input files in %s\n", root.c_str());
        return false;
    }
    in.imageFiles = {boot.string(), app.string()};
    in.buildFolders = {(root / "tmp").string(), (root / "cwd").string()};
    in.copyFolder = root / "copy";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    auto inputs = std::make_unique<Inputs>();
    if (!prepare(*inputs)) return 1;
    g_inputs = inputs.get();
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double build = reporter.seconds["BM_BuildImage/real_time"];
    const double copy = reporter.seconds["BM_CopyFiles/real_time"];
    if (build > 0 && copy > 0)
        std::printf(
            "%zu + %zu bytes: image build %.2f ms, copy %.2f ms; the build takes %.2f times as "
            "long as the copy (goal: at most 3)\n",
            kBoot, kApplication, build * 1e3, copy * 1e3, build / copy);
    g_inputs = nullptr;
    benchmark::Shutdown();
    return 0;
}
