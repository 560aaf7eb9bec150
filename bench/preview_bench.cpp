// The emulated sign's own cost: a 96 × 16 screen with a snake border and
// text moving in from the right plays for 10 s of real time, and the process's
// CPU time is read beside the same run when the window repaints every frame.
#include "preview/ImageBuilder.h"
#include "preview/PreviewPlayer.h"

#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// What a window does with a frame: one round LED per sign pixel in 10 × 10 cells.
uint64_t paint(const PreviewFrame& frame) {
    uint64_t lit = 0;
    for (int y = 0; y < frame.height * 10; ++y)
        for (int x = 0; x < frame.width * 10; ++x) {
            const int cx = x % 10 - 5, cy = y % 10 - 5;
            if (cx * cx + cy * cy <= 16 && frame.at(x / 10, y / 10)) ++lit;
        }
    return lit;
}

struct Run {
    double cpuShare = 0;
    long frames = 0;
    long paints = 0;
};

enum class Painting { None, Changed, Every };

Run play(const std::vector<uint8_t>& image, Painting painting, std::chrono::seconds length) {
    platform::SteadyClock clock;
    std::atomic<long> frames{0}, paints{0};
    std::atomic<uint64_t> sink{0};
    PreviewFrame last;
    PreviewPlayer::Callbacks callbacks;
    callbacks.frame = [&](const PreviewFrame& frame) {
        ++frames;
        if (painting == Painting::None) return;
        // The preview window repaints only a frame that differs from the last one.
        if (painting == Painting::Changed && frame == last) return;
        last = frame;
        ++paints;
        sink += paint(frame);
    };
    PreviewPlayer player(clock, image, {}, {}, std::move(callbacks));
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    player.start();
    std::this_thread::sleep_for(length);
    player.stop();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return {(cpuSeconds() - cpu0) / wall, frames.load(), paints.load()};
}

}  // namespace

int main(int argc, char** argv) {
    const auto length = std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 10);
    testimage::Program p;
    p.effect = 3;
    p.speed = 1;
    p.stop = 1;
    p.border = 12;
    p.borderSpeed = 1;
    p.columns = 96 * 3;
    p.pages = testimage::pagesOf(96, 16, 3, [](int x, int y) { return (x / 3 + y) % 5 == 0; });
    // Width and height as bytes: 96 columns, 16 rows.
    const auto image = testimage::image(96, 2, {p});

    const Run engine = play(image, Painting::None, length);
    const Run changed = play(image, Painting::Changed, length);
    const Run every = play(image, Painting::Every, length);
    std::printf("96 x 16, border 12, effect 3, %lld s each:\n",
                static_cast<long long>(length.count()));
    std::printf("  the engine alone:                    %.2f %% of a core (%ld frames)\n",
                engine.cpuShare * 100, engine.frames);
    std::printf(
        "  engine + repaints of changed frames: %.2f %% of a core (%ld frames, %ld painted)\n",
        changed.cpuShare * 100, changed.frames, changed.paints);
    std::printf(
        "  engine + a repaint of every frame:   %.2f %% of a core (%ld frames, %ld painted)\n",
        every.cpuShare * 100, every.frames, every.paints);
    std::printf("goal: at most 2 %% of a core for the engine, repaints only for changed frames\n");
    return 0;
}
