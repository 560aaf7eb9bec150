#pragma once

#include "platform/Clock.h"
#include "preview/FrameMemory.h"

#include <cstdint>
#include <stop_token>

namespace preview {

// Runs the border around the display edge on the shown plane: one step of the
// playing program's border kind (2 … 14) per pass, the ring cleared and the
// kind's pattern started afresh whenever the kind changes.
class BorderAnimator {
public:
    explicit BorderAnimator(FrameMemory& frame) : m_frame(frame) {}

    // The step delay value of a border kind at a border speed.
    static int stepDelay(int kind, int speed);

    // One pass's drawing for `kind` (0 draws nothing), under the shown plane's lock.
    void step(int kind);
    // Passes until `stop`: a step, max(delay, 10) ÷ 10 sleeps of 2 ms (cut short
    // when the kind changes), then 5 ms.
    void run(platform::Clock& clock, std::stop_token stop);

private:
    void start(int kind);
    void draw(int kind);
    int perimeter() const { return 2 * m_width + 2 * m_height - 4; }
    // A point of the ring by its clockwise place from the top-left corner.
    void ringPoint(int index, int& x, int& y) const;
    void setRing(int index, bool lit);
    void fillRing(bool lit);
    // One-byte patterns: the top row and left column take `byte`, the others its inverse.
    void drawBytePattern(uint8_t byte);
    void drawWordPatterns(uint16_t top, uint16_t bottom);

    FrameMemory& m_frame;
    int m_width = 0;
    int m_height = 0;
    int m_kind = 0;
    bool m_toggle = false;
    uint16_t m_p = 0;
    uint16_t m_q = 0;
    int m_heads[2] = {0, 0};
    int m_tails[2] = {0, 0};
    bool m_dot = false;
};

}  // namespace preview
