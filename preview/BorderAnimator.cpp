#include "preview/BorderAnimator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

namespace preview {

using namespace std::chrono_literals;
using Plane = FrameMemory::Plane;

int BorderAnimator::stepDelay(int kind, int b) {
    switch (kind) {
        case 2:
        case 3:
        case 4:
            return 1000;
        case 5:
        case 6:
        case 7:
            return 200 * b + 100;
        case 8:
            return 200 * b;
        case 9:
            return 60 * b + 90;
        case 10:
            return 20 * b + 50;
        case 11:
            return 20 * b + 20;
        case 12:
        case 13:
        case 14:
            return 100 * b;
        default:
            return 0;
    }
}

void BorderAnimator::ringPoint(int index, int& x, int& y) const {
    const int W = m_width;
    const int H = m_height;
    int p = index % perimeter();
    if (p < 0) p += perimeter();
    if (p < W) {
        x = p, y = 0;
    } else if (p <= W + H - 2) {
        x = W - 1, y = p - (W - 1);
    } else if (p <= 2 * W + H - 3) {
        x = W - 1 - (p - (W + H - 2)), y = H - 1;
    } else {
        x = 0, y = H - 1 - (p - (2 * W + H - 3));
    }
}

void BorderAnimator::setRing(int index, bool lit) {
    int x = 0, y = 0;
    ringPoint(index, x, y);
    m_frame.setLit(Plane::Shown, x, y, lit);
}

void BorderAnimator::fillRing(bool lit) {
    for (int p = 0; p < perimeter(); ++p)
        setRing(p, lit);
}

// The rows first, then the columns: a corner shows the column's bit.
void BorderAnimator::drawBytePattern(uint8_t byte) {
    const uint8_t inverse = static_cast<uint8_t>(~byte);
    for (int x = 0; x < m_width; ++x) {
        m_frame.setLit(Plane::Shown, x, 0, (byte >> (7 - x % 8) & 1) == 0);
        m_frame.setLit(Plane::Shown, x, m_height - 1, (inverse >> (7 - x % 8) & 1) == 0);
    }
    for (int y = 0; y < m_height; ++y) {
        m_frame.setLit(Plane::Shown, 0, y, (byte >> (y % 8) & 1) == 0);
        m_frame.setLit(Plane::Shown, m_width - 1, y, (inverse >> (y % 8) & 1) == 0);
    }
}

void BorderAnimator::drawWordPatterns(uint16_t top, uint16_t bottom) {
    // High byte first: on a row its bit 7 is the leftmost column, on a column its
    // bit 0 the top row of the first 8.
    auto rowBit = [](uint16_t w, int x) { return (w >> (15 - x % 16) & 1) == 0; };
    auto columnBit = [](uint16_t w, int y) {
        const int r = y % 16;
        return (w >> (r < 8 ? 8 + r : r - 8) & 1) == 0;
    };
    for (int x = 0; x < m_width; ++x) {
        m_frame.setLit(Plane::Shown, x, 0, rowBit(top, x));
        m_frame.setLit(Plane::Shown, x, m_height - 1, rowBit(bottom, x));
    }
    for (int y = 0; y < m_height; ++y) {
        m_frame.setLit(Plane::Shown, 0, y, columnBit(top, y));
        m_frame.setLit(Plane::Shown, m_width - 1, y, columnBit(bottom, y));
    }
}

void BorderAnimator::start(int kind) {
    m_kind = kind;
    m_toggle = false;
    m_dot = false;
    fillRing(false);
    const int W = m_width;
    const int H = m_height;
    switch (kind) {
        case 9:
            m_p = m_q = 0x3333;
            break;
        case 10:
            m_p = m_q = 0x0F0F;
            break;
        case 11:
            m_p = m_q = 0x00FF;
            break;
        case 12:
            m_heads[0] = (W + H) / 2 - 1;
            // On the bottom row, counted from the left.
            m_heads[1] = (W + H - 2) + (W - 1 - (std::abs(H - W) / 2 - 1));
            m_tails[0] = 0;
            m_tails[1] = W + H - 2;
            break;
        case 13:
        case 14:
            m_heads[0] = W - 1;
            m_tails[0] = 2 * W + H - 3;
            break;
        default:
            break;
    }
}

void BorderAnimator::draw(int kind) {
    const bool first = !m_toggle;
    m_toggle = !m_toggle;
    switch (kind) {
        case 2:
            fillRing(true);
            break;
        case 3:
            drawBytePattern(0xAA);
            break;
        case 4:
            drawBytePattern(0x33);
            break;
        case 5:
            fillRing(first);
            break;
        case 6:
        case 7:
            if (first)
                drawBytePattern(kind == 6 ? 0xAA : 0x33);
            else
                fillRing(false);
            break;
        case 8:
            drawBytePattern(first ? 0x55 : 0xAA);
            break;
        case 9:
        case 10:
        case 11:
            fillRing(false);
            drawWordPatterns(m_p, m_q);
            m_p = static_cast<uint16_t>(m_p >> 1 | m_p << 15);
            m_q = static_cast<uint16_t>(m_q << 1 | m_q >> 15);
            break;
        case 12:
        case 13:
        case 14: {
            const int snakes = kind == 12 ? 2 : 1;
            for (int n = 0; n < 4; ++n) {
                for (int s = 0; s < snakes; ++s) {
                    m_heads[s] = (m_heads[s] + 1) % perimeter();
                    // The dotted snake lights every other pixel its head enters.
                    const bool light = kind != 14 || !m_dot;
                    if (kind == 14) m_dot = !m_dot;
                    if (light) setRing(m_heads[s], true);
                    m_tails[s] = (m_tails[s] + 1) % perimeter();
                    setRing(m_tails[s], false);
                }
            }
            break;
        }
        default:
            break;
    }
}

void BorderAnimator::step(int kind) {
    std::lock_guard lock(m_frame.shownLock());
    m_width = m_frame.visibleWidth();
    m_height = m_frame.height();
    if (kind < 2 || kind > 14) {
        m_kind = kind;
        return;
    }
    if (kind != m_kind) start(kind);
    draw(kind);
}

void BorderAnimator::run(platform::Clock& clock, std::stop_token stop) {
    while (!stop.stop_requested()) {
        const int kind = m_frame.border.load();
        if (kind != 0) {
            step(kind);
            const int slices = std::max(stepDelay(kind, m_frame.borderSpeed.load()), 10) / 10;
            for (int n = 0; n < slices && !stop.stop_requested(); ++n) {
                clock.sleepFor(2ms);
                if (m_frame.border.load() != kind) break;
            }
        } else {
            m_kind = 0;
        }
        if (stop.stop_requested()) break;
        clock.sleepFor(5ms);
    }
}

}  // namespace preview
