#include "preview/BorderAnimator.h"

#include "Frames.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace std::chrono_literals;
using preview::BorderAnimator;
using preview::FrameMemory;

namespace {

// The ring of a 16 × 8 sign: the top and bottom rows without their corners, the
// left and right columns with them; '#' lit.
struct Ring {
    std::string top, bottom, left, right;
    bool operator==(const Ring&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Ring& r) {
    return os << "\n top    " << r.top << "\n bottom " << r.bottom << "\n left   " << r.left
              << "\n right  " << r.right;
}

Ring ringOf(const PreviewFrame& f) {
    Ring r;
    for (int x = 1; x + 1 < f.width; ++x) {
        r.top += f.at(x, 0) ? '#' : '.';
        r.bottom += f.at(x, f.height - 1) ? '#' : '.';
    }
    for (int y = 0; y < f.height; ++y) {
        r.left += f.at(0, y) ? '#' : '.';
        r.right += f.at(f.width - 1, y) ? '#' : '.';
    }
    return r;
}

// Rows are written whole (16 columns) and trimmed of their corners here.
Ring ring(const std::string& top, const std::string& bottom, const std::string& left,
          const std::string& right) {
    return {top.substr(1, 14), bottom.substr(1, 14), left, right};
}

const std::string kLit16(16, '#'), kDark16(16, '.'), kLit8(8, '#'), kDark8(8, '.');
const Ring kAllLit = ring(kLit16, kLit16, kLit8, kLit8);
const Ring kAllDark = ring(kDark16, kDark16, kDark8, kDark8);
// 0xAA on the top row and left column, 0x55 on the others.
const Ring kDotsAA = ring(".#.#.#.#.#.#.#.#", "#.#.#.#.#.#.#.#.", "#.#.#.#.", ".#.#.#.#");
// 0x33, and 0xCC.
const Ring kPairs33 = ring("##..##..##..##..", "..##..##..##..##", "..##..##", "##..##..");

struct Kind {
    int kind;
    Ring first, second;
};

class BorderKinds : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(frame.setSize(16, 8));
        // All lit, so that a step that strays from the ring shows.
        frame.fill(FrameMemory::Plane::Shown, 0x00);
    }
    void expectInsideLit() {
        const PreviewFrame f = frame.shownFrame();
        for (int y = 1; y < 7; ++y)
            for (int x = 1; x < 15; ++x)
                ASSERT_TRUE(f.at(x, y)) << x << "," << y;
    }
    FrameMemory frame;
    BorderAnimator border{frame};
};

TEST_P(BorderKinds, FirstTwoSteps) {
    const Kind& k = GetParam();
    border.step(k.kind);
    EXPECT_EQ(ringOf(frame.shownFrame()), k.first);
    border.step(k.kind);
    EXPECT_EQ(ringOf(frame.shownFrame()), k.second);
    expectInsideLit();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BorderKinds,
    ::testing::Values(Kind{2, kAllLit, kAllLit}, Kind{3, kDotsAA, kDotsAA},
                      Kind{4, kPairs33, kPairs33}, Kind{5, kAllLit, kAllDark},
                      Kind{6, kDotsAA, kAllDark}, Kind{7, kPairs33, kAllDark},
                      // 0x55 and 0xAA by turns.
                      Kind{8, ring("#.#.#.#.#.#.#.#.", ".#.#.#.#.#.#.#.#", ".#.#.#.#", "#.#.#.#."),
                           kDotsAA},
                      // 16-bit patterns: the top and left one rotates right, the other left.
                      Kind{9, ring("##..##..##..##..", "##..##..##..##..", "..##..##", "..##..##"),
                           ring(".##..##..##..##.", "#..##..##..##..#", ".##..##.", "#..##..#")},
                      Kind{10, ring("####....####....", "####....####....", "....####", "....####"),
                           ring(".####....####...", "###....####....#", "...####.", "#....###")},
                      Kind{11, ring("########........", "########........", kLit8, kLit8),
                           ring(".########.......", "#######........#", "#######.", ".#######")},
                      // Heads at top column 11 and bottom column 3, four pixels a step clockwise.
                      Kind{12, ring("............####", "###.............", "......##", "#......."),
                           ring("............####", "###.............", "..######", "#####...")},
                      // One head from the top-right corner down the right column.
                      Kind{13, ring(kDark16, kDark16, kDark8, ".####..."),
                           ring(kDark16, "..............#.", kDark8, ".#######")},
                      Kind{14, ring(kDark16, kDark16, kDark8, ".#.#...."),
                           ring(kDark16, kDark16, kDark8, ".#.#.#.#")}),
    [](const auto& p) { return "Border" + std::to_string(p.param.kind); });

TEST_F(BorderKinds, ANewKindStartsFromADarkRing) {
    border.step(2);
    border.step(13);
    EXPECT_EQ(ringOf(frame.shownFrame()), ring(kDark16, kDark16, kDark8, ".####..."));
    // Back to the first kind: it starts again too.
    border.step(5);
    border.step(5);
    border.step(2);
    EXPECT_EQ(ringOf(frame.shownFrame()), kAllLit);
}

TEST_F(BorderKinds, AChangeOfKindCutsTheSleepShort) {
    platform::VirtualClock clock;
    frame.fill(FrameMemory::Plane::Shown, 0xFF);
    frame.border.store(2);
    frame.borderSpeed.store(1);
    std::stop_source stop;
    PreviewFrame seen;
    {
        auto self = clock.join();
        // Kind 2 steps once a second; its sleep is 100 slices of 2 ms.
        auto worker =
            clock.startThread([&](std::stop_token) { border.run(clock, stop.get_token()); });
        clock.sleepFor(50ms);
        EXPECT_EQ(ringOf(frame.shownFrame()), kAllLit);
        frame.border.store(13);
        clock.sleepFor(20ms);
        seen = frame.shownFrame();
        stop.request_stop();
        self.leave();
    }
    EXPECT_EQ(ringOf(seen), ring(kDark16, kDark16, kDark8, ".####..."));
}

}  // namespace
