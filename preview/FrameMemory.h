#pragma once

#include "preview/PreviewFrame.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace preview {

// The emulated sign's frame memory: the shown plane (what the LEDs display), the
// work plane (a step being composed) and the load plane (the page brought in),
// each `height` rows of bufferWidth ÷ 8 bytes, bit 7 the leftmost column, a bit
// of 1 a dark LED. Besides the planes it holds what the player, the display
// refresher and the border animator share: the flicker phase, the emulated
// temperature and the playing program's border and flicker.
//
// The player alone touches the work and load planes. The shown plane is written
// by the player's commits and the border animator and read by the refresher:
// each of them holds shownLock() while it does, so a frame may show a step half
// done by the other writer but never a torn byte.
class FrameMemory {
public:
    static constexpr size_t kPlaneBytes = 7200;
    enum class Plane { Shown, Work, Load };

    // The visible width and the height of the codes are DeviceImage's.
    static int bufferWidthOf(uint8_t widthCode);
    // Whether the planes hold a sign of these codes.
    static bool fits(uint8_t widthCode, uint8_t heightCode);

    // Sizes from the image header's codes; false (and a 48 × 12 sign) when the
    // planes cannot hold it. Before any thread runs.
    bool setSize(uint8_t widthCode, uint8_t heightCode);

    int visibleWidth() const { return m_visibleWidth; }
    int bufferWidth() const { return m_bufferWidth; }
    int height() const { return m_height; }
    int rowBytes() const { return m_bufferWidth / 8; }
    size_t rowStart(int y) const { return static_cast<size_t>(y) * rowBytes(); }

    // Row y of a plane; the shown plane only under shownLock().
    uint8_t* row(Plane plane, int y) { return planeData(plane) + rowStart(y); }
    const uint8_t* row(Plane plane, int y) const {
        return const_cast<FrameMemory*>(this)->row(plane, y);
    }
    bool lit(Plane plane, int x, int y) const {
        return (row(plane, y)[x >> 3] >> (7 - (x & 7)) & 1) == 0;
    }
    void setLit(Plane plane, int x, int y, bool on) {
        uint8_t& b = row(plane, y)[x >> 3];
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        b = on ? static_cast<uint8_t>(b & ~bit) : static_cast<uint8_t>(b | bit);
    }
    // Every byte of a plane (the shown plane under the lock).
    void fill(Plane plane, uint8_t value);

    std::mutex& shownLock() { return m_shownLock; }
    // The visible part of the shown plane, taken under the lock.
    PreviewFrame shownFrame();
    // The same, all dark.
    PreviewFrame darkFrame() const;

    // Written by the refresher, read by the player's waits.
    std::atomic<bool> blankPhase{false};
    // Degrees Celsius the sign reads.
    std::atomic<int> temperature{16};
    // The playing program's border kind (0 none, 2 … 14), border speed and
    // flicker: the player writes them at each program start.
    std::atomic<uint8_t> border{0};
    std::atomic<uint8_t> borderSpeed{0};
    std::atomic<bool> flicker{false};

private:
    uint8_t* planeData(Plane plane) { return m_planes[static_cast<size_t>(plane)].data(); }

    int m_visibleWidth = 48;
    int m_bufferWidth = 48;
    int m_height = 12;
    std::array<std::array<uint8_t, kPlaneBytes>, 3> m_planes{};
    std::mutex m_shownLock;
};

}  // namespace preview
