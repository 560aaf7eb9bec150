#include "preview/FrameMemory.h"

#include <algorithm>

namespace preview {

int FrameMemory::visibleWidthOf(uint8_t widthCode) {
    switch (widthCode) {
        case 0:
            return 36;
        case 1:
            return 48;
        default:
            return widthCode;
    }
}

int FrameMemory::bufferWidthOf(uint8_t widthCode) {
    switch (widthCode) {
        case 0:
            return 40;
        case 1:
            return 48;
        default:
            return (widthCode + 7) / 8 * 8;
    }
}

int FrameMemory::heightOf(uint8_t heightCode) {
    switch (heightCode) {
        case 0:
            return 11;
        case 1:
            return 12;
        case 2:
            return 16;
        default:
            return heightCode;
    }
}

bool FrameMemory::fits(uint8_t widthCode, uint8_t heightCode) {
    return static_cast<size_t>(bufferWidthOf(widthCode) / 8) * heightOf(heightCode) <= kPlaneBytes;
}

bool FrameMemory::setSize(uint8_t widthCode, uint8_t heightCode) {
    if (!fits(widthCode, heightCode)) {
        m_visibleWidth = 48;
        m_bufferWidth = 48;
        m_height = 12;
        return false;
    }
    m_visibleWidth = visibleWidthOf(widthCode);
    m_bufferWidth = bufferWidthOf(widthCode);
    m_height = heightOf(heightCode);
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
