#include "preview/FrameMemory.h"

#include "device/DeviceImage.h"

#include <algorithm>

namespace preview {

// Rows are whole bytes: 36 columns take 40.
int FrameMemory::bufferWidthOf(uint8_t widthCode) {
    return (DeviceImage::widthOfCode(widthCode) + 7) / 8 * 8;
}

bool FrameMemory::fits(uint8_t widthCode, uint8_t heightCode) {
    return static_cast<size_t>(bufferWidthOf(widthCode) / 8) *
               DeviceImage::heightOfCode(heightCode) <=
           kPlaneBytes;
}

bool FrameMemory::setSize(uint8_t widthCode, uint8_t heightCode) {
    if (!fits(widthCode, heightCode)) {
        m_visibleWidth = 48;
        m_bufferWidth = 48;
        m_height = 12;
        return false;
    }
    m_visibleWidth = DeviceImage::widthOfCode(widthCode);
    m_bufferWidth = bufferWidthOf(widthCode);
    m_height = DeviceImage::heightOfCode(heightCode);
    return true;
}

void FrameMemory::fill(Plane plane, uint8_t value) {
    auto& p = m_planes[static_cast<size_t>(plane)];
    std::fill(p.begin(), p.end(), value);
}

PreviewFrame FrameMemory::shownFrame() {
    PreviewFrame f{m_visibleWidth, m_height,
                   std::vector<bool>(static_cast<size_t>(m_visibleWidth) * m_height)};
    std::lock_guard lock(m_shownLock);
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_visibleWidth; ++x)
            f.lit[static_cast<size_t>(y) * m_visibleWidth + x] = lit(Plane::Shown, x, y);
    return f;
}

PreviewFrame FrameMemory::darkFrame() const {
    return {m_visibleWidth, m_height,
            std::vector<bool>(static_cast<size_t>(m_visibleWidth) * m_height)};
}

}  // namespace preview
