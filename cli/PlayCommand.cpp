#include "cli/PlayCommand.h"

#include "platform/Clock.h"
#include "platform/GifWriter.h"
#include "platform/SafeSave.h"
#include "platform/TextCodec.h"
#include "preview/PreviewPlayer.h"

#include <chrono>
#include <cstdio>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// The preview window's look: cells of 10 pixels, a round LED inset by one,
// grid lines between the cells.
constexpr int kCell = 10;
constexpr int kInset = 1;
enum Colour : uint8_t { BLACK, LIT, DARK, GRID };
const std::vector<uint32_t> kPalette{0x000000, 0xFF0000, 0x121200, 0x202020};

std::vector<uint8_t> ledPicture(const PreviewFrame& frame) {
    const int w = frame.width * kCell, h = frame.height * kCell;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h, BLACK);
    const double r = kCell / 2.0 - kInset;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cx = x % kCell, cy = y % kCell;
            uint8_t& p = out[static_cast<size_t>(y) * w + x];
            if (cx == 0 || cy == 0) {
                p = GRID;
                continue;
            }
            const double dx = cx + 0.5 - kCell / 2.0, dy = cy + 0.5 - kCell / 2.0;
            if (dx * dx + dy * dy <= r * r) p = frame.at(x / kCell, y / kCell) ? LIT : DARK;
        }
    return out;
}

void printRows(const PreviewFrame& frame) {
    std::string rows;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x)
            rows += frame.at(x, y) ? '#' : '.';
        rows += '\n';
    }
    std::fputs(rows.c_str(), stdout);
}

struct Commit {
    long long ms;
    int program, page;
    PreviewFrame shown;
};

struct Shown {
    long long ms;
    PreviewFrame frame;
};

}  // namespace

int runPlay(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
            const std::vector<std::u16string>& programNames, const PlayOptions& options,
            platform::ImageCodec& codec) {
    platform::VirtualClock clock;
    const auto since = [&clock] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock.elapsed()).count();
    };
    std::mutex mutex;
    std::vector<Commit> commits;
    std::vector<Shown> frames;
    std::vector<std::pair<long long, int>> programs;
    PreviewPlayer::Callbacks callbacks;
    // Once the caller stops taking part, time runs on until the player has
    // stopped: what comes after the end is not shown.
    const long long end = options.milliseconds;
    callbacks.programStarted = [&](int index) {
        if (since() > end) return;
        std::lock_guard lock(mutex);
        programs.emplace_back(since(), index);
    };
    if (options.dump)
        callbacks.committed = [&](int program, int page, const PreviewFrame& shown) {
            if (since() > end) return;
            std::lock_guard lock(mutex);
            commits.push_back({since(), program, page, shown});
        };
    callbacks.frame = [&](const PreviewFrame& frame) {
        if (since() > end) return;
        std::lock_guard lock(mutex);
        if (frames.empty() || !(frames.back().frame == frame)) frames.push_back({since(), frame});
    };
    PreviewPlayer player(clock, std::move(image), std::move(animationSet),
                         {options.temperature, options.seed}, std::move(callbacks));
    if (!player.playable()) {
        std::fprintf(stderr, "zentari-cli: nothing to play: no checked program shows anything\n");
        return 7;
    }
    {
        auto self = clock.join();
        player.start();
        clock.sleepFor(std::chrono::milliseconds(options.milliseconds));
    }
    player.stop();

    std::lock_guard lock(mutex);
    for (const auto& [ms, index] : programs) {
        const std::u16string name = index >= 0 && index < static_cast<int>(programNames.size())
                                        ? programNames[index]
                                        : std::u16string();
        std::fprintf(stderr, "@%lld program %d starts: %s\n", ms, index,
                     platform::utf16ToUtf8(name).c_str());
    }
    for (const Commit& c : commits) {
        std::printf("@%lld program %d page %d\n", c.ms, c.program, c.page);
        printRows(c.shown);
    }
    if (options.dumpFrames)
        for (const Shown& s : frames) {
            std::printf("@%lld frame\n", s.ms);
            printRows(s.frame);
        }
    std::fflush(stdout);

    if (!options.gif.empty() && !frames.empty()) {
        const PreviewFrame& first = frames.front().frame;
        platform::GifWriter gif(first.width * kCell, first.height * kCell, kPalette);
        for (size_t k = 0; k < frames.size(); ++k) {
            const long long until = k + 1 < frames.size() ? frames[k + 1].ms : options.milliseconds;
            gif.addFrame(ledPicture(frames[k].frame), static_cast<int>(until - frames[k].ms));
        }
        std::string error;
        if (!platform::saveFileSafely(options.gif, gif.finish(), &error)) {
            std::fprintf(stderr, "zentari-cli: cannot write %s\n", error.c_str());
            return 1;
        }
        std::fprintf(stderr, "%zu frames written to %s\n", frames.size(), options.gif.c_str());
    }
    if (!options.png.empty() && !frames.empty()) {
        const PreviewFrame& last = frames.back().frame;
        const std::vector<uint8_t> pixels = ledPicture(last);
        platform::Bitmap picture(last.width * kCell, last.height * kCell);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(
                    x, y,
                    0xFF000000u | kPalette[pixels[static_cast<size_t>(y) * picture.width() + x]]);
        if (!codec.save(picture, options.png, platform::ImageFormat::Png)) {
            std::fprintf(stderr, "zentari-cli: cannot write %s\n", options.png.c_str());
            return 1;
        }
    }
    return 0;
}
