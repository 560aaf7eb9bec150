#include "preview/SignMemory.h"

#include <utility>

namespace preview {

SignMemory::SignMemory(std::vector<uint8_t> image, const std::vector<uint8_t>& animationSet)
    : m_bytes(std::move(image)), m_imageLength(m_bytes.size()) {
    m_bytes.insert(m_bytes.end(), animationSet.begin(), animationSet.end());
}

std::optional<uint8_t> SignMemory::u8(size_t at) const {
    if (!has(at, 1)) return std::nullopt;
    return m_bytes[at];
}

std::optional<uint16_t> SignMemory::u16(size_t at) const {
    if (!has(at, 2)) return std::nullopt;
    return static_cast<uint16_t>(m_bytes[at] << 8 | m_bytes[at + 1]);
}

std::optional<uint32_t> SignMemory::u32(size_t at) const {
    if (!has(at, 4)) return std::nullopt;
    return static_cast<uint32_t>(m_bytes[at]) << 24 | static_cast<uint32_t>(m_bytes[at + 1]) << 16 |
           static_cast<uint32_t>(m_bytes[at + 2]) << 8 | m_bytes[at + 3];
}

}  // namespace preview
