// Writing a 4 MiB image to a simulated SPI NOR chip, first whole and then
// again unchanged. The unchanged rewrite only reads the header and the find
// record to learn that the chip still holds the previous image, so it should
// move at most 1 % of the bytes the whole write moves over the link.
#include "flashtool/device/Chip.h"
#include "flashtool/device/StorageKind.h"
#include "flashtool/sim/SimulatedChip.h"
#include "flashtool/sim/SimulatedChipConfig.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include "ScratchFiles.h"
#include "TimesReporter.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>
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

constexpr uint32_t kImage = 4u << 20;
constexpr uint32_t kMedium = 8u << 20;
// Any place inside the image: the comparison reads 512 bytes there.
constexpr uint32_t kZoneEnd = 0x7000;

using benchfiles::randomBytes;
using benchfiles::ScratchFolder;
using benchfiles::writeFile;

// Bytes over the link in both directions, storage and RAM.
uint64_t bytesMoved(const vornload::SimulatedChipCounters& c) {
    return c.storageBytesWritten + c.storageBytesRead + c.ramBytesWritten + c.ramBytesRead;
}

// What one write asked of the chip.
struct Traffic {
    uint64_t bytes = 0;
    unsigned blocksErased = 0;
    unsigned storageWrites = 0;
};

// The inputs the benchmarks share; set up in main before they run.
struct Inputs {
    ScratchFolder folder;
    std::string imageFile;
    std::string work;               // the previous image is work + ".bak"
    std::ostream discard{nullptr};  // the chip's progress lines are not what is measured
    std::shared_ptr<vornload::SimulatedChip> sim;
    std::unique_ptr<vornload::SimulatedDiskSource> disks;
    std::unique_ptr<vornload::Chip> chip;
    Traffic full;
    Traffic unchanged;
};
Inputs* g_inputs = nullptr;

// One write of the image without the erase flag; its traffic from the chip's counters.
bool writeOnce(Inputs& in, Traffic& traffic) {
    in.sim->clearRecords();
    if (in.chip->writeImage(in.imageFile, false, 0, kZoneEnd, in.work) != 0) return false;
    const vornload::SimulatedChipCounters& c = in.sim->counters();
    traffic = {bytesMoved(c), c.blocksErased, c.writeStorage};
    return true;
}

void BM_WriteFull(benchmark::State& state) {
    const std::string bak = g_inputs->work + ".bak";
    for (auto _ : state) {
        state.PauseTiming();
        // Without a previous image the whole file is written.
        if (::unlink(bak.c_str()) != 0 && errno != ENOENT) {
            state.SkipWithError(("cannot remove " + bak + ": " + std::strerror(errno)).c_str());
            break;
        }
        state.ResumeTiming();
        if (!writeOnce(*g_inputs, g_inputs->full)) {
            state.SkipWithError("the whole write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImage));
}

void BM_WriteUnchanged(benchmark::State& state) {
    // The chip and the previous image agree: every block is found unchanged.
    Traffic setUp;
    if (!writeOnce(*g_inputs, setUp)) {
        state.SkipWithError("the write before the unchanged ones failed");
        return;
    }
    for (auto _ : state) {
        if (!writeOnce(*g_inputs, g_inputs->unchanged)) {
            state.SkipWithError("the unchanged write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImage));
}

BENCHMARK(BM_WriteFull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();

bool prepare(Inputs& in) {
    if (!in.folder.create("vornload-bench")) {
        std::fprintf(stderr, "no scratch folder: %s\n", std::strerror(errno));
        return false;
    }
    const fs::path root = in.folder.path();
    const fs::path image = root / "zImag.img";
    if (!writeFile(image, randomBytes(kImage, 3))) {
        std::fprintf(stderr, "cannot write the image in %s\n", root.c_str());
        return false;
    }
    in.imageFile = image.string();
    in.work = (root / "work").string();

    vornload::SimulatedChipConfig config;
    config.medium = vornload::SimMedium::spiNor;
    config.mediumSize = kMedium;
    std::string error;
    in.sim = vornload::SimulatedChip::create(config, error);
    if (!in.sim) {
        std::fprintf(stderr, "no simulated chip: %s\n", error.c_str());
        return false;
    }
    in.disks = std::make_unique<vornload::SimulatedDiskSource>(in.sim);
    in.chip = vornload::findChip(*in.disks, "qk500", in.discard, in.discard);
    if (!in.chip) {
        std::fprintf(stderr, "the simulated chip was not found\n");
        return false;
    }
    // As a run does: the media query decides the block size.
    vornload::MediaAnswer answer;
    if (const int rc = in.chip->mediaQuery(0, 0, answer); rc != 0) {
        std::fprintf(stderr, "media query failed: %d\n", rc);
        return false;
    }
    in.chip->setStorageKind(vornload::storageKindOfMediaCode(answer.mediaCode));
    if (in.chip->storageKind() != vornload::storageSpiNor) {
        std::fprintf(stderr, "the simulated chip is not SPI NOR (kind %d)\n",
                     in.chip->storageKind());
        return false;
    }
    return true;
}

// The figures mean nothing unless the chip ends up holding the image.
bool chipHoldsImage(const Inputs& in) {
    const std::vector<char> expected = randomBytes(kImage, 3);
    const std::vector<uint8_t>& storage = in.sim->storage();
    return storage.size() >= kImage && std::memcmp(storage.data(), expected.data(), kImage) == 0;
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
    const double full = reporter.seconds["BM_WriteFull/real_time"];
    const double unchanged = reporter.seconds["BM_WriteUnchanged/real_time"];
    const Traffic& f = inputs->full;
    const Traffic& u = inputs->unchanged;
    int status = 0;
    if ((f.bytes > 0 || u.bytes > 0) && !chipHoldsImage(*inputs)) {
        std::fprintf(stderr, "the simulated chip does not hold the image after the writes\n");
        status = 1;
    }
    if (full > 0 && unchanged > 0 && f.bytes > 0)
        std::printf(
            "%u-byte image: whole write %.2f ms, %llu bytes over the link (%u blocks erased, %u "
            "storage writes); unchanged rewrite %.2f ms, %llu bytes (%u blocks erased, %u "
            "storage writes); the unchanged rewrite moves %.4f %% of the bytes of the whole one "
            "(goal: at most 1 %%) in %.1f %% of its time\n",
            kImage, full * 1e3, static_cast<unsigned long long>(f.bytes), f.blocksErased,
            f.storageWrites, unchanged * 1e3, static_cast<unsigned long long>(u.bytes),
            u.blocksErased, u.storageWrites,
            100.0 * static_cast<double>(u.bytes) / static_cast<double>(f.bytes),
            100.0 * unchanged / full);
    g_inputs = nullptr;
    benchmark::Shutdown();
    return status;
}
