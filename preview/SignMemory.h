#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace preview {

// What the emulated sign holds: the device image followed directly by the
// animation set. Both come from outside, so every read says whether the bytes
// are there instead of trusting an offset or a length.
class SignMemory {
public:
    SignMemory() = default;
    SignMemory(std::vector<uint8_t> image, const std::vector<uint8_t>& animationSet);

    size_t size() const { return m_bytes.size(); }
    // Where the animation set begins.
    size_t imageLength() const { return m_imageLength; }

    // Whether `count` bytes from `at` (which may come from anywhere) are inside.
    bool has(size_t at, size_t count) const {
        return at <= m_bytes.size() && count <= m_bytes.size() - at;
    }
    // The bytes from `at`, or nothing when they are not all inside.
    const uint8_t* bytes(size_t at, size_t count) const {
        return has(at, count) ? m_bytes.data() + at : nullptr;
    }
    // Big-endian numbers; nothing when they are not inside.
    std::optional<uint8_t> u8(size_t at) const;
    std::optional<uint16_t> u16(size_t at) const;
    std::optional<uint32_t> u32(size_t at) const;

    // `a` + `b`, or nothing when it would not be a place in any memory.
    static std::optional<size_t> add(size_t a, size_t b) {
        if (b > SIZE_MAX - a) return std::nullopt;
        return a + b;
    }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_imageLength = 0;
};

}  // namespace preview
