#include "preview/EffectsEngine.h"

#include "device/DeviceImage.h"

#include "Frames.h"
#include "ImageBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

using namespace std::chrono_literals;
using preview::EffectsEngine;
using preview::FrameMemory;
using testframes::frameOf;
using testframes::picture;
using testimage::Program;

namespace {

// The engine alone on the test thread: on a virtual clock with nobody else
// taking part its waits end at once and time moves by what they wait.
class Engine : public ::testing::Test {
protected:
    struct Commit {
        int page = 0;
        PreviewFrame shown;
        platform::Clock::Duration at{};
    };

    void load(uint8_t widthCode, uint8_t heightCode, const std::vector<Program>& programs,
              const std::vector<uint8_t>& set = {}, uint32_t seed = 1) {
        loadImage(testimage::image(widthCode, heightCode, programs), set, seed);
    }

    void loadImage(std::vector<uint8_t> bytes, const std::vector<uint8_t>& set = {},
                   uint32_t seed = 1) {
        image = bytes;
        memory = preview::SignMemory(std::move(bytes), set);
        ASSERT_TRUE(frame.setSize(image[0], image[1]));
        frame.fill(FrameMemory::Plane::Shown, 0xFF);
        frame.fill(FrameMemory::Plane::Work, 0xFF);
        frame.fill(FrameMemory::Plane::Load, 0xFF);
        engine = std::make_unique<EffectsEngine>(
            frame, memory, clock, stop.get_token(), seed, EffectsEngine::Hooks{[this](int page) {
                commits.push_back({page, frame.shownFrame(), clock.elapsed()});
                if (commits.size() >= stopAfter) stop.request_stop();
            }});
    }

    size_t recordOf(int program) const {
        const size_t at = 50 + 4 * static_cast<size_t>(program);
        return static_cast<size_t>(image[at]) << 24 | static_cast<size_t>(image[at + 1]) << 16 |
               static_cast<size_t>(image[at + 2]) << 8 | image[at + 3];
    }

    EffectsEngine::Outcome play(int program = 0) { return engine->playProgram(recordOf(program)); }

    int W() const { return frame.visibleWidth(); }
    int H() const { return frame.height(); }

    platform::VirtualClock clock;
    FrameMemory frame;
    preview::SignMemory memory;
    std::vector<uint8_t> image;
    std::stop_source stop;
    std::unique_ptr<EffectsEngine> engine;
    std::vector<Commit> commits;
    size_t stopAfter = SIZE_MAX;
};

Program program(uint8_t effect, int width, int height, int pages,
                const std::function<bool(int, int)>& lit) {
    Program p;
    p.effect = effect;
    p.columns = static_cast<uint16_t>(width * pages);
    p.pages = testimage::pagesOf(width, height, pages, lit);
    return p;
}

bool pattern(int x, int y) {
    return (x * 37 + y * 11) % 13 < 5;
}

// --- moving -----------------------------------------------------------------------------

TEST_F(Engine, MoveLeftScrollsThreePagesColumnByColumnSixtyMillisecondsApart) {
    load(1, 1, {program(3, 48, 12, 3, pattern)});
    EXPECT_EQ(play(), EffectsEngine::Outcome::Played);
    ASSERT_EQ(commits.size(), 144u);
    for (size_t n = 0; n < commits.size(); ++n) {
        SCOPED_TRACE(n);
        // The band: a dark screen, then the three pages; one more column each step.
        const auto expected = frameOf(48, 12, [&](int x, int y) {
            const int column = static_cast<int>(n) + 1 + x - 48;
            return column >= 0 && pattern(column, y);
        });
        ASSERT_EQ(commits[n].shown, expected) << picture(commits[n].shown);
        EXPECT_EQ(commits[n].page, static_cast<int>(n / 48));
        if (n > 0) {
            // 30 ticks of 2 ms; every 41st tick takes 1 ms.
            const auto gap = commits[n].at - commits[n - 1].at;
            EXPECT_TRUE(gap == 60ms || gap == 59ms) << (gap / 1us) << " us";
        }
    }
}

TEST_F(Engine, MoveRightShowsTheLastPageFirst) {
    load(1, 1, {program(4, 48, 12, 3, pattern)});
    EXPECT_EQ(play(), EffectsEngine::Outcome::Played);
    // 48 steps a page and one more commit of the finished page.
    ASSERT_EQ(commits.size(), 3u * 49);
    for (int n = 0; n < 48; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(commits[n].page, 2);
        const auto expected =
            frameOf(48, 12, [&](int x, int y) { return x <= n && pattern(96 + 47 - n + x, y); });
        ASSERT_EQ(commits[n].shown, expected) << picture(commits[n].shown);
    }
    EXPECT_EQ(commits[48].shown, commits[47].shown);
    // Page 2 follows, pushing page 3 out to the right.
    for (int n = 0; n < 48; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(commits[49 + n].page, 1);
        const auto expected = frameOf(48, 12, [&](int x, int y) {
            return x <= n ? pattern(48 + 47 - n + x, y) : pattern(96 + x - n - 1, y);
        });
        ASSERT_EQ(commits[49 + n].shown, expected) << picture(commits[49 + n].shown);
    }
    EXPECT_EQ(commits.back().page, 0);
}

TEST_F(Engine, MoveUpAndDownBringRowsInAtTheEdge) {
    auto cross = [](int x, int y) { return x == y || x == 47 - y || x == 20 + y; };
    for (uint8_t effect : {1, 2}) {
        SCOPED_TRACE(int{effect});
        commits.clear();
        load(1, 1, {program(effect, 48, 12, 1, cross)});
        play();
        ASSERT_EQ(commits.size(), 12u);
        for (int n = 0; n < 12; ++n) {
            SCOPED_TRACE(n);
            const auto expected = frameOf(48, 12, [&](int x, int y) {
                // Up: load row n entered at the bottom; down: load row 11 − n at the top.
                const int row = effect == 1 ? y - (11 - n) : 11 - n + y;
                return row >= 0 && row <= 11 && cross(x, row);
            });
            ASSERT_EQ(commits[n].shown, expected) << picture(commits[n].shown);
        }
    }
}

TEST_F(Engine, SnowDropsTheBottomRowInFourInterleavedParts) {
    // Only the page's bottom row is lit; the sign was dark.
    load(1, 1, {program(5, 48, 12, 1, [](int, int y) { return y == 11; })});
    stopAfter = 5;
    play();
    ASSERT_EQ(commits.size(), 5u);
    // Sub-step k lights the columns of mask k in row 0 and pushes the rows down:
    // masks 0x09, 0x22, 0x84, 0x50 are columns {4, 7}, {2, 6}, {0, 5}, {1, 3} of 8.
    const std::set<int> parts[4] = {{4, 7}, {2, 6}, {0, 5}, {1, 3}};
    const auto afterFour =
        frameOf(48, 12, [&](int x, int y) { return y <= 3 && parts[3 - y].count(x % 8) > 0; });
    EXPECT_EQ(commits[3].shown, afterFour) << picture(commits[3].shown);
    EXPECT_EQ(commits[0].shown,
              frameOf(48, 12, [&](int x, int y) { return y == 0 && parts[0].count(x % 8) > 0; }))
        << picture(commits[0].shown);
    // The fifth brings in row 10, which is dark, and pushes the four parts down.
    const auto afterFive = frameOf(
        48, 12, [&](int x, int y) { return 1 <= y && y <= 4 && parts[4 - y].count(x % 8) > 0; });
    EXPECT_EQ(commits[4].shown, afterFive) << picture(commits[4].shown);
}

TEST_F(Engine, SnowEndsWithTheWholePageAfterFourStepsARow) {
    load(1, 1, {program(5, 48, 12, 1, pattern)});
    play();
    ASSERT_EQ(commits.size(), 48u);
    EXPECT_EQ(commits.back().shown, frameOf(48, 12, pattern)) << picture(commits.back().shown);
}

// The revealing effects and effect 0 on an all-lit page: which LEDs each step shows.
struct Reveal {
    uint8_t effect;
    uint8_t widthCode;
    size_t steps;
    std::function<bool(int step, int x, int y)> lit;
};

class Reveals : public Engine, public ::testing::WithParamInterface<Reveal> {};

TEST_P(Reveals, StepByStep) {
    const Reveal& r = GetParam();
    const int width = DeviceImage::widthOfCode(r.widthCode);
    load(r.widthCode, 1, {program(r.effect, width, 12, 1, [](int, int) { return true; })});
    EXPECT_EQ(play(), EffectsEngine::Outcome::Played);
    ASSERT_EQ(commits.size(), r.steps);
    for (size_t n = 0; n < r.steps; ++n) {
        SCOPED_TRACE(n);
        const auto expected =
            frameOf(width, 12, [&](int x, int y) { return r.lit(static_cast<int>(n), x, y); });
        ASSERT_EQ(commits[n].shown, expected) << picture(commits[n].shown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Effects, Reveals,
    ::testing::Values(Reveal{0, 1, 1, [](int, int, int) { return true; }},
                      // Unknown effects show the page at once.
                      Reveal{12, 1, 1, [](int, int, int) { return true; }},
                      Reveal{255, 1, 1, [](int, int, int) { return true; }},
                      // Rows r ≡ i (mod 3) from row i, four of them.
                      Reveal{6, 1, 6, [](int n, int, int y) { return y % 3 <= n; }},
                      // A 36-column sign: columns 0, 8, 16, 24, 32 first, eight steps.
                      Reveal{7, 0, 8, [](int n, int x, int) { return x % 8 <= n; }},
                      Reveal{8, 1, 12, [](int n, int, int y) { return y >= 11 - n; }},
                      Reveal{9, 1, 12, [](int n, int, int y) { return y <= n; }},
                      Reveal{10, 1, 48, [](int n, int x, int) { return x <= n; }},
                      Reveal{11, 1, 48, [](int n, int x, int) { return x >= 47 - n; }}));

TEST_F(Engine, ShowAtOnceWaitsTwentyMillisecondsThenTheStopTime) {
    Program p = program(0, 48, 12, 2, pattern);
    p.stop = 3;
    load(1, 1, {p});
    play();
    ASSERT_EQ(commits.size(), 2u);
    EXPECT_EQ(commits[0].shown, frameOf(48, 12, pattern));
    EXPECT_EQ(commits[1].shown, frameOf(48, 12, [](int x, int y) { return pattern(48 + x, y); }));
    // 20 ms and 3 s, in ticks of 2 ms of which every 41st takes 1 ms.
    const auto page = commits[1].at - commits[0].at;
    EXPECT_GE(page, 3020ms - 75ms);
    EXPECT_LE(page, 3020ms);
}

TEST_F(Engine, NoEffectTouchesTheOutermostRingWhileABorderRuns) {
    for (uint8_t effect = 0; effect <= 11; ++effect) {
        SCOPED_TRACE(int{effect});
        commits.clear();
        Program p = program(effect, 48, 12, 1, [](int, int) { return true; });
        p.border = 2;
        load(1, 1, {p});
        play();
        ASSERT_FALSE(commits.empty());
        for (size_t n = 0; n < commits.size(); ++n) {
            const PreviewFrame& f = commits[n].shown;
            for (int x = 0; x < 48; ++x)
                ASSERT_FALSE(f.at(x, 0) || f.at(x, 11)) << n << picture(f);
            for (int y = 0; y < 12; ++y)
                ASSERT_FALSE(f.at(0, y) || f.at(47, y)) << n << picture(f);
        }
        const auto inside =
            frameOf(48, 12, [](int x, int y) { return x > 0 && x < 47 && y > 0 && y < 11; });
        EXPECT_EQ(commits.back().shown, inside) << picture(commits.back().shown);
    }
}

TEST_F(Engine, ARandomBorderIsChosenAnewAtEveryProgramStart) {
    Program p = program(0, 48, 12, 1, pattern);
    p.border = 1;
    auto kinds = [&](uint32_t seed) {
        load(1, 1, {p}, {}, seed);
        std::vector<int> chosen;
        for (int n = 0; n < 40; ++n) {
            play();
            chosen.push_back(frame.border.load());
        }
        return chosen;
    };
    const auto first = kinds(7);
    std::set<int> distinct(first.begin(), first.end());
    for (int k : first) {
        EXPECT_GE(k, 2);
        EXPECT_LE(k, 14);
    }
    EXPECT_GE(distinct.size(), 6u);
    EXPECT_EQ(kinds(7), first);
    EXPECT_NE(kinds(8), first);
}

TEST_F(Engine, PagesThatAreNotAllThereAreNotShown) {
    auto bytes = testimage::image(1, 1, {program(0, 48, 12, 3, pattern)});
    // The record's header, the bitmap block's header and two and a half pages.
    bytes.resize(100 + 30 + 5 + 72 * 2 + 36);
    loadImage(bytes);
    EXPECT_EQ(play(), EffectsEngine::Outcome::Played);
    EXPECT_EQ(commits.size(), 2u);
}

TEST_F(Engine, ARecordOutsideTheMemoryIsSkipped) {
    auto bytes = testimage::image(1, 1, {program(0, 48, 12, 1, pattern)});
    loadImage(bytes);
    EXPECT_EQ(engine->playProgram(bytes.size() - 10), EffectsEngine::Outcome::Skipped);
    EXPECT_EQ(engine->playProgram(bytes.size() + 1000), EffectsEngine::Outcome::Skipped);
    // A bitmap offset far outside.
    bytes[100 + 11] = 0x7F;
    loadImage(bytes);
    EXPECT_EQ(play(), EffectsEngine::Outcome::Skipped);
    EXPECT_TRUE(commits.empty());
}

// --- the temperature field --------------------------------------------------------------

std::vector<uint8_t> glyphOf(const std::array<uint8_t, 12>& rows) {
    return {rows.begin(), rows.end()};
}

// A minus of four columns in row 6.
const std::vector<uint8_t> kMinus = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::vector<uint8_t> temperatureAt(uint16_t column, uint8_t unit) {
    std::vector<std::vector<uint8_t>> digits;
    for (int d = 0; d < 10; ++d)
        digits.push_back(glyphOf(testimage::kDigitFont[d]));
    return testimage::temperatureBlock(column, unit, 4, 8, kMinus, digits);
}

// Lights the columns [from, to) of an 8-column glyph of the font at screen column x.
void paintGlyph(PreviewFrame& f, const std::vector<uint8_t>& rows, int x, int from = 0,
                int to = 8) {
    for (int y = 0; y < f.height; ++y)
        for (int j = from; j < to; ++j)
            if ((rows[y] >> (7 - j) & 1) == 0 && x + j >= 0 && x + j < f.width)
                f.lit[static_cast<size_t>(y) * f.width + x + j] = true;
}

struct Reading {
    int celsius;
    uint8_t unit;
    bool minus;
    int tens;
    int units;
};

class Temperatures : public Engine, public ::testing::WithParamInterface<Reading> {};

TEST_P(Temperatures, ShowTheReadingInTheField) {
    const Reading& r = GetParam();
    frame.temperature.store(r.celsius);
    Program p = program(0, 48, 12, 1, [](int, int) { return false; });
    p.temperature = temperatureAt(10, r.unit);
    load(1, 1, {p});
    play();
    ASSERT_EQ(commits.size(), 1u);
    auto expected = frameOf(48, 12, [](int, int) { return false; });
    if (r.minus) paintGlyph(expected, kMinus, 10, 0, 4);
    paintGlyph(expected, glyphOf(testimage::kDigitFont[r.tens]), 14);
    paintGlyph(expected, glyphOf(testimage::kDigitFont[r.units]), 22);
    EXPECT_EQ(commits[0].shown, expected) << picture(commits[0].shown);
}

INSTANTIATE_TEST_SUITE_P(Readings, Temperatures,
                         ::testing::Values(Reading{16, 0, false, 1, 6},
                                           // 32 + 28.8 truncated
                                           Reading{16, 1, false, 6, 0}, Reading{-3, 0, true, 0, 3},
                                           // 32 − 5.4 truncated towards zero
                                           Reading{-3, 1, false, 2, 7},
                                           Reading{9, 0xFF, false, 0, 9}));

TEST_F(Engine, AFieldAcrossTwoPagesShowsItsPartOnEach) {
    frame.temperature.store(16);
    Program p = program(0, 48, 12, 2, [](int, int) { return false; });
    // Minus 40..43 (not drawn), tens 44..51, units 52..59.
    p.temperature = temperatureAt(40, 0);
    load(1, 1, {p});
    play();
    ASSERT_EQ(commits.size(), 2u);
    const auto one = glyphOf(testimage::kDigitFont[1]);
    const auto six = glyphOf(testimage::kDigitFont[6]);
    auto first = frameOf(48, 12, [](int, int) { return false; });
    paintGlyph(first, one, 44, 0, 4);
    EXPECT_EQ(commits[0].shown, first) << picture(commits[0].shown);
    auto second = frameOf(48, 12, [](int, int) { return false; });
    paintGlyph(second, one, -4, 4, 8);
    paintGlyph(second, six, 4);
    EXPECT_EQ(commits[1].shown, second) << picture(commits[1].shown);
}

// --- animations -------------------------------------------------------------------------

// A 12 × 12 frame lighting the given columns, as a set stores it: two bands of
// 12 rows, 1 dark.
std::vector<uint8_t> frameLighting(const std::set<int>& columns) {
    std::vector<uint8_t> bytes(24, 0xFF);
    for (int c : columns)
        for (int y = 0; y < 12; ++y)
            bytes[static_cast<size_t>(c / 8 * 12 + y)] &= static_cast<uint8_t>(~(0x80 >> (c % 8)));
    return bytes;
}

std::set<int> litColumns(const PreviewFrame& f) {
    std::set<int> columns;
    for (int x = 0; x < f.width; ++x)
        for (int y = 0; y < f.height; ++y)
            if (f.at(x, y)) columns.insert(x);
    return columns;
}

Program darkWithPlaceholder(uint8_t effect, int pages, uint16_t column, uint8_t number = 0) {
    Program p = program(effect, 48, 12, pages, [](int, int) { return false; });
    p.placeholderSize = 12;
    p.placeholders = {{column, number}};
    return p;
}

std::set<int> span(int from, int to) {
    std::set<int> s;
    for (int x = from; x <= to; ++x)
        s.insert(x);
    return s;
}

TEST_F(Engine, APlaceholderShowsItsNextFrameAtEveryAnimationTick) {
    testimage::Animation a;
    a.frameCount = 3;
    for (int f = 0; f < 3; ++f)
        testimage::append(a.frames, frameLighting({f}));
    Program p = darkWithPlaceholder(0, 1, 20);
    p.stop = 1;
    load(1, 1, {p}, testimage::animationSet(1, {a}));
    stopAfter = 6;
    play();
    ASSERT_EQ(commits.size(), 6u);
    const int expected[6] = {20, 21, 22, 20, 21, 22};
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(litColumns(commits[n].shown), std::set<int>{expected[n]})
            << picture(commits[n].shown);
        // Every row of the frame's column.
        for (int y = 0; y < 12; ++y)
            EXPECT_TRUE(commits[n].shown.at(expected[n], y));
        // The 41st tick draws, then sleeps 1 ms; the 40 before it 2 ms each (the
        // first 10 of them effect 0's wait).
        if (n > 0) {
            EXPECT_EQ(commits[n].at - commits[n - 1].at, n == 1 ? 80ms : 81ms);
        }
    }
}

TEST_F(Engine, InTheMovesAndPullsFramesComeInRowByRowWithTheContent) {
    testimage::Animation a;
    a.frames = frameLighting(span(0, 11));
    for (uint8_t effect : {1, 2, 8, 9}) {
        SCOPED_TRACE(int{effect});
        commits.clear();
        load(1, 1, {darkWithPlaceholder(effect, 1, 4)}, testimage::animationSet(1, {a}));
        play();
        ASSERT_EQ(commits.size(), 12u);
        for (int n : {0, 5, 11}) {
            SCOPED_TRACE(n);
            // Up and pull up from the bottom edge, down and pull down from the top.
            const bool fromBelow = effect == 1 || effect == 8;
            const auto expected = frameOf(48, 12, [&](int x, int y) {
                return x >= 4 && x < 16 && (fromBelow ? y >= 11 - n : y <= n);
            });
            EXPECT_EQ(commits[n].shown, expected) << picture(commits[n].shown);
        }
    }
}

TEST_F(Engine, APlaceholderMovesWithTheContent) {
    testimage::Animation a;
    a.frames = frameLighting(span(0, 11));
    load(1, 1, {darkWithPlaceholder(3, 2, 0)}, testimage::animationSet(1, {a}));
    play();
    ASSERT_EQ(commits.size(), 96u);
    for (int n : {0, 5, 11, 20, 47}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(litColumns(commits[n].shown), span(47 - n, std::min(47, 58 - n)));
    }
    // The second page pushes the first out to the left, frame and all.
    EXPECT_EQ(litColumns(commits[48].shown), span(0, 10));
    EXPECT_EQ(litColumns(commits[53].shown), span(0, 5));
    EXPECT_TRUE(litColumns(commits[59].shown).empty());
}

TEST_F(Engine, TheLastPageOfTheProgramBeforeLeavesWithItsFrames) {
    testimage::Animation a;
    a.frames = frameLighting(span(0, 11));
    Program before = darkWithPlaceholder(0, 1, 0);
    load(1, 1, {before, program(1, 48, 12, 1, [](int, int) { return false; })},
         testimage::animationSet(1, {a}));
    play(0);
    play(1);
    ASSERT_EQ(commits.size(), 13u);
    // Moving up: after one step the frame stands a row higher, then leaves at the top.
    for (int n = 0; n < 12; ++n) {
        SCOPED_TRACE(n);
        const auto expected = frameOf(48, 12, [&](int x, int y) { return x < 12 && y <= 10 - n; });
        EXPECT_EQ(commits[1 + n].shown, expected) << picture(commits[1 + n].shown);
    }
}

TEST_F(Engine, CoveringRevealsOnlyTheUncoveredColumnsOfAFrame) {
    testimage::Animation a;
    a.frames = frameLighting(span(0, 11));
    load(1, 1, {darkWithPlaceholder(10, 1, 20)}, testimage::animationSet(1, {a}));
    play();
    ASSERT_EQ(commits.size(), 48u);
    EXPECT_TRUE(litColumns(commits[19].shown).empty());
    EXPECT_EQ(litColumns(commits[20].shown), span(20, 20));
    EXPECT_EQ(litColumns(commits[25].shown), span(20, 25));
    EXPECT_EQ(litColumns(commits[47].shown), span(20, 31));
}

struct Unshown {
    const char* why;
    std::function<void(testimage::Animation&, Program&, size_t imageLength)> make;
    std::set<int> lit;  // the columns shown
};

class Animations : public Engine, public ::testing::WithParamInterface<Unshown> {};

TEST_P(Animations, AreDrawnOnlyWhenTheSetHoldsThemWhole) {
    const Unshown& u = GetParam();
    SCOPED_TRACE(u.why);
    testimage::Animation a;
    a.frames = frameLighting(span(0, 11));
    Program p = darkWithPlaceholder(0, 1, 4);
    const size_t imageLength = testimage::image(1, 1, {p}).size();
    u.make(a, p, imageLength);
    load(1, 1, {p}, testimage::animationSet(1, {a}));
    play();
    ASSERT_EQ(commits.size(), 1u);
    EXPECT_EQ(litColumns(commits[0].shown), u.lit);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, Animations,
    ::testing::Values(
        Unshown{"whole", [](auto&, auto&, size_t) {}, span(4, 15)},
        Unshown{"frame size 25 is no multiple of 12",
                [](auto& a, auto&, size_t) { a.frames.push_back(0); },
                {}},
        // Two frames of 12 bytes: one band each, the first band of the bytes.
        Unshown{"frame size 12", [](auto& a, auto&, size_t) { a.frameCount = 2; }, span(4, 11)},
        Unshown{"number past the block count",
                [](auto&, auto& p, size_t) { p.placeholders[0].second = 1; },
                {}},
        Unshown{"placeholder size 0", [](auto&, auto& p, size_t) { p.placeholderSize = 0; }, {}},
        Unshown{"no frames", [](auto& a, auto&, size_t) { a.frameCount = 0; }, {}},
        // The set starts after the image; its header and one offset take 12 bytes.
        Unshown{"block just below 0x20000",
                [](auto& a, auto&, size_t length) { a.gapBefore = 0x1FFFF - length - 12; },
                span(4, 15)},
        Unshown{"block at 0x20000",
                [](auto& a, auto&, size_t length) { a.gapBefore = 0x20000 - length - 12; },
                {}}));

}  // namespace
