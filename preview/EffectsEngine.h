#pragma once

#include "platform/Clock.h"
#include "preview/FrameMemory.h"
#include "preview/SignMemory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <stop_token>
#include <vector>

namespace preview {

// Plays program records the way the sign's firmware does: loads each page into
// the load plane, draws the temperature field into it, lets it enter the display
// with the record's effect, draws the animations into their places and lets the
// page stand for the stop time. Every wait goes through the clock in ticks of at
// most 2 ms and ends the play as soon as `stop` is requested.
class EffectsEngine {
public:
    struct Hooks {
        // After every commit into the shown plane, with the page's index.
        std::function<void(int page)> committed;
    };
    enum class Outcome { Played, Skipped, Stopped };

    // Tables of placeholders hold at most this many entries.
    static constexpr size_t kMaxPlaceholders = 20;
    // An animation that far into the memory or further is not drawn.
    static constexpr size_t kAnimationLimit = 0x20000;

    EffectsEngine(FrameMemory& frame, const SignMemory& memory, platform::Clock& clock,
                  std::stop_token stop, uint32_t seed, Hooks hooks = {});

    // Plays the record at `record` (a place in the memory) from its first page to
    // its last; Skipped when it has no page to show or is not all there.
    Outcome playProgram(size_t record);

    // The step delay of the moving effects (1 … 5) and of the others, in ms.
    static uint16_t movingDelay(uint8_t speed);
    static uint16_t revealingDelay(uint8_t speed);

    // Ticks taken by all waits so far.
    uint64_t ticks() const { return m_ticks; }

private:
    struct Stopped {};
    enum class WaitKind { Step, ShowAtOnce, Stand };

    struct Placeholder {
        int column = 0;  // in the program's bitmap
        bool drawable = false;
        size_t frames = 0;  // where frame 0 lies in the memory
        size_t frameSize = 0;
        uint8_t frameCount = 0;
    };
    struct AnimationTable {
        int size = 0;  // each placeholder is a square this wide
        std::vector<Placeholder> entries;
    };
    // A page's animations: for the page entering, or the last page of the program before.
    struct AnimationContext {
        bool valid = false;
        AnimationTable table;
        int pageStart = 0;
        std::array<uint8_t, kMaxPlaceholders> counters{};
    };
    struct Temperature {
        bool present = false;
        size_t block = 0;
        int fieldWidth = 0;
        int fieldColumn = 0;
        uint8_t unit = 0;
        int minusWidth = 0;
        size_t minusBytes = 0;
        int digitCell = 0;
        size_t digitBytes = 0;
        uint16_t minusOffset = 0;
        std::array<uint16_t, 10> digitOffsets{};
    };
    struct Program {
        uint8_t effect = 0;
        uint8_t speed = 0;
        uint32_t stopMs = 0;
        bool flicker = false;
        uint8_t border = 0;
        size_t pageData = 0;
        size_t pageBytes = 0;
        int pages = 0;
        AnimationTable animations;
        Temperature temperature;
    };

    bool readProgram(size_t record, Program& p);
    AnimationTable readAnimationTable(size_t at) const;
    Placeholder resolveAnimation(int column, uint8_t number, int size) const;
    Temperature readTemperature(size_t at) const;

    void playPage(int page);
    void loadPage(int page);
    void drawTemperature();
    void drawGlyph(uint16_t offset, size_t byteCount, int cellWidth, int column);
    void runEffect();

    // Animation placeholders on the work plane.
    void drawStepPlaceholders(int i);
    void drawEntering(int dx, int dy, int clipLeft, int clipRight);
    void drawLeaving(int dx, int dy);
    bool drawPagePlaceholders();
    bool drawTable(const AnimationTable& table, int pageStart,
                   const std::array<uint8_t, kMaxPlaceholders>& counters, int dx, int dy,
                   int clipLeft, int clipRight, bool mark);
    void drawFrame(const Placeholder& p, int size, uint8_t counter, int x, int y, int clipLeft,
                   int clipRight);

    void commit();
    void wait(uint32_t ms, WaitKind kind);
    void animationTick(WaitKind kind);
    void sleep(platform::Clock::Duration d);

    void copyRow(int y);
    void copyColumn(int fromX, int toX);
    void snowStep(int j, int k);

    FrameMemory& m_frame;
    const SignMemory& m_memory;
    platform::Clock& m_clock;
    std::stop_token m_stop;
    Hooks m_hooks;
    std::mt19937 m_random;

    int m_width = 0;
    int m_height = 0;
    Program m_program;
    int m_page = 0;
    int m_pageStart = 0;
    // The page shown before this one in the same program, if any.
    bool m_hasPreviousPage = false;
    int m_previousPageStart = 0;
    std::array<uint8_t, kMaxPlaceholders> m_counters{};
    std::array<bool, kMaxPlaceholders> m_drawn{};
    AnimationContext m_previousProgram;

    uint8_t m_tickCounter = 0;
    uint64_t m_ticks = 0;
};

}  // namespace preview
