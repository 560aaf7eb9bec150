#include "preview/PreviewPlayer.h"

#include "Frames.h"
#include "ImageBuilder.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace std::chrono_literals;
using testframes::allDark;
using testframes::frameOf;
using testframes::picture;
using testimage::Program;

namespace {

Program litProgram(uint8_t effect, int pages, uint8_t stop) {
    Program p;
    p.effect = effect;
    p.stop = stop;
    p.columns = static_cast<uint16_t>(48 * pages);
    p.pages = testimage::pagesOf(48, 12, pages, [](int, int) { return true; });
    return p;
}

// What the player's threads report, gathered under a lock.
struct Recorder {
    struct Commit {
        int program, page;
        PreviewFrame shown;
    };

    PreviewPlayer::Callbacks callbacks() {
        return {[this](int index) {
                    std::lock_guard lock(mutex);
                    if (!closed) started.push_back(index);
                },
                [this](int program, int page, const PreviewFrame& shown) {
                    std::lock_guard lock(mutex);
                    if (!closed) commits.push_back({program, page, shown});
                },
                [this](const PreviewFrame& f) {
                    std::lock_guard lock(mutex);
                    ++framesSeen;
                    if (closed) return;
                    frames.push_back(f);
                    commitsAtFrame.push_back(commits.size());
                }};
    }

    std::mutex mutex;
    // Set at the end of a play: once the test thread stops taking part, time
    // runs on until the player has stopped, and what happens then is not counted.
    bool closed = false;
    int framesSeen = 0;  // counted even when closed
    std::vector<int> started;
    std::vector<Commit> commits;
    std::vector<PreviewFrame> frames;
    std::vector<size_t> commitsAtFrame;
};

class Player : public ::testing::Test {
protected:
    void make(std::vector<uint8_t> image, PreviewPlayer::Options options = {}) {
        player = std::make_unique<PreviewPlayer>(clock, std::move(image), std::vector<uint8_t>{},
                                                 options, recorder.callbacks());
    }
    // Plays for `d` of virtual time; the test thread takes part only meanwhile.
    void playFor(platform::Clock::Duration d) {
        {
            std::lock_guard lock(recorder.mutex);
            recorder.closed = false;
        }
        auto self = clock.join();
        player->start();
        clock.sleepFor(d);
        std::lock_guard lock(recorder.mutex);
        recorder.closed = true;
    }

    platform::VirtualClock clock;
    Recorder recorder;
    std::unique_ptr<PreviewPlayer> player;
};

TEST_F(Player, StopsWithinHalfASecondWhileAProgramStandsFor255Seconds) {
    make(testimage::image(1, 1, {litProgram(0, 1, 255)}));
    playFor(2s);
    EXPECT_EQ(recorder.commits.size(), 1u);
    const auto before = clock.elapsed();
    player->stop();
    EXPECT_LT(clock.elapsed() - before, 500ms);
    const int frames = recorder.framesSeen;
    // Stopped for good: no thread runs on.
    clock.advance(1s);
    EXPECT_EQ(recorder.framesSeen, frames);
}

TEST_F(Player, ProgramsPlayInTurnAndEachStartIsReported) {
    make(testimage::image(1, 1, {litProgram(0, 1, 0), litProgram(0, 1, 0), litProgram(0, 1, 0)}));
    // Each program shows its page and waits 20 ms.
    playFor(130ms);
    player->stop();
    ASSERT_GE(recorder.started.size(), 6u);
    for (size_t n = 0; n < 6; ++n)
        EXPECT_EQ(recorder.started[n], static_cast<int>(n % 3));
    ASSERT_GE(recorder.commits.size(), 6u);
    for (size_t n = 0; n < 6; ++n) {
        EXPECT_EQ(recorder.commits[n].program, static_cast<int>(n % 3));
        EXPECT_EQ(recorder.commits[n].page, 0);
    }
}

TEST_F(Player, FlickerDarkensSixtyFourFramesOfEvery128AndHoldsTheEffect) {
    Program p = litProgram(3, 3, 0);
    p.flicker = 1;
    make(testimage::image(1, 1, {p}));
    playFor(1400ms);
    player->stop();
    const auto& frames = recorder.frames;
    ASSERT_GE(frames.size(), 270u);
    // Frame k (from 1) is blank from k = 128 on while k mod 128 < 64.
    for (size_t k = 10; k <= 270; ++k) {
        SCOPED_TRACE(k);
        const bool blank = k >= 128 && k % 128 < 64;
        EXPECT_EQ(allDark(frames[k - 1]), blank) << picture(frames[k - 1]);
    }
    // The steps stand still while the display is blank and go on afterwards.
    const auto& commits = recorder.commitsAtFrame;
    EXPECT_EQ(commits[130 - 1], commits[189 - 1]);
    EXPECT_GT(commits[126 - 1], commits[100 - 1]);
    EXPECT_GT(commits[250 - 1], commits[195 - 1]);
}

TEST_F(Player, TheRefresherShowsTheVisibleColumnsEveryFiveMilliseconds) {
    Program p;
    p.columns = 36;
    p.pages = testimage::pagesOf(36, 11, 1, [](int x, int y) { return x == y; });
    make(testimage::image(0, 0, {p}));
    EXPECT_EQ(player->width(), 36);
    EXPECT_EQ(player->height(), 11);
    playFor(100ms);
    player->stop();
    // One at the start and one after each 5 ms.
    EXPECT_GE(recorder.frames.size(), 20u);
    EXPECT_LE(recorder.frames.size(), 22u);
    EXPECT_EQ(recorder.frames.back(), frameOf(36, 11, [](int x, int y) { return x == y; }));
}

TEST_F(Player, TheBorderRunsOnTheShownPlane) {
    Program p;
    p.border = 2;
    p.columns = 48;
    p.pages = testimage::pagesOf(48, 12, 1, [](int, int) { return false; });
    make(testimage::image(1, 1, {p}));
    playFor(100ms);
    player->stop();
    const auto ring =
        frameOf(48, 12, [](int x, int y) { return x == 0 || y == 0 || x == 47 || y == 11; });
    EXPECT_EQ(recorder.frames.back(), ring) << picture(recorder.frames.back());
}

TEST_F(Player, ImagesTooShortOrTooLargeForTheFrameMemoryDoNotPlay) {
    auto image = testimage::image(1, 1, {litProgram(0, 1, 0)});
    image.resize(99);
    make(image);
    EXPECT_FALSE(player->playable());
    EXPECT_EQ(player->width(), 48);
    EXPECT_EQ(player->height(), 12);
    playFor(50ms);
    player->stop();
    EXPECT_TRUE(recorder.frames.empty());
    EXPECT_TRUE(recorder.started.empty());

    // 256 columns × 255 rows: 32 × 255 bytes is more than a plane holds.
    std::vector<uint8_t> large(200, 0);
    large[0] = 255;
    large[1] = 255;
    make(large);
    EXPECT_FALSE(player->playable());
    large[1] = 225;  // 32 × 225 = 7200 fits
    make(large);
    EXPECT_TRUE(player->playable());
    EXPECT_EQ(player->width(), 255);
    EXPECT_EQ(player->height(), 225);
}

TEST_F(Player, ProgramsThatShowNothingDoNotKeepThePlayerBusy) {
    auto image = testimage::image(1, 1, {litProgram(0, 1, 0), litProgram(0, 1, 0)});
    // Both table entries far outside the memory.
    image[50] = image[54] = 0x7F;
    make(image);
    playFor(100ms);
    player->stop();
    EXPECT_TRUE(recorder.commits.empty());
    EXPECT_GE(recorder.started.size(), 2u);
    EXPECT_LE(recorder.started.size(), 14u);
}

TEST_F(Player, StartsAgainAfterAStop) {
    make(testimage::image(1, 1, {litProgram(0, 1, 1)}));
    playFor(30ms);
    player->stop();
    playFor(30ms);
    player->stop();
    EXPECT_EQ(recorder.commits.size(), 2u);
    EXPECT_EQ(recorder.started, (std::vector<int>{0, 0}));
}

}  // namespace
