#pragma once

#include "platform/ImageCodec.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The animation set a sign takes as a block of kind 2: every animation of the
// library scaled to the screen's height, one bit per LED, inverted. Numbers
// are big-endian.
namespace AnimationSet {

inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kBlockHeaderSize = 5;
// A set this long or longer does not fit a sign.
inline constexpr size_t kMaxLength = 22528;

// 0, 1, 2 for the heights 11, 12, 16; any other height stands for itself.
uint8_t sizeCode(int height);
// The height a size code stands for.
int heightOf(uint8_t sizeCode);
// ⌈h / 8⌉ bytes for each of the h rows.
size_t frameBytes(int height);

// One frame: scaled with smoothing to h × h on black, bands of 8 columns from
// the left, one byte per row, bit 7 the band's leftmost column, set where red is
// 100 or more; not yet inverted.
std::vector<uint8_t> encodeFrame(const platform::Bitmap& frame, int height,
                                 platform::ImageCodec& codec);
// The block of one animation (header and inverted frames); empty without frames.
std::vector<uint8_t> encodeBlock(const std::vector<platform::ImageFrame>& frames, int height,
                                 platform::ImageCodec& codec);
// The set of the animations at these paths, in this order; one that cannot be
// read, or has no frame, gets no block. Empty when there are no paths.
std::vector<uint8_t> build(const std::vector<std::u16string>& paths, int height,
                           platform::ImageCodec& codec);
// The header, the offsets and the blocks, which must not be empty.
std::vector<uint8_t> assemble(const std::vector<std::vector<uint8_t>>& blocks, int height);

// A set read back, for explaining it and for showing it on a virtual sign.
struct Parsed {
    struct Block {
        size_t offset = 0;
        uint16_t frameByteCount = 0;
        uint8_t frameCount = 0;
        std::vector<std::vector<uint8_t>> frames;  // inverted back: a set bit is a lit LED
    };
    uint8_t sizeCode = 0;
    int height = 0;
    std::vector<Block> blocks;
    // The first thing that is not as a set should be; empty when it is whole.
    std::string problem;
};
// As far as the bytes are sound; none when not even the header is there.
std::optional<Parsed> parse(std::span<const uint8_t> bytes);
// Whether a lit LED is at (x, y) of a parsed frame.
bool lit(const std::vector<uint8_t>& frame, int height, int x, int y);

}  // namespace AnimationSet
