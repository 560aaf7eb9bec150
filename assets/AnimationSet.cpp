#include "assets/AnimationSet.h"

#include "platform/TextCodec.h"

#include <filesystem>

namespace AnimationSet {

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v >> 8);
    out[at + 1] = static_cast<uint8_t>(v);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out[at + k] = static_cast<uint8_t>(v >> (24 - 8 * k));
}

uint32_t get16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 8 | b[at + 1];
}

uint32_t get32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

}  // namespace

uint8_t sizeCode(int height) {
    switch (height) {
        case 11:
            return 0;
        case 12:
            return 1;
        case 16:
            return 2;
        default:
            return static_cast<uint8_t>(height);
    }
}

int heightOf(uint8_t code) {
    switch (code) {
        case 0:
            return 11;
        case 1:
            return 12;
        case 2:
            return 16;
        default:
            return code;
    }
}

size_t frameBytes(int height) {
    return height <= 0 ? 0 : static_cast<size_t>((height + 7) / 8) * static_cast<size_t>(height);
}

std::vector<uint8_t> encodeFrame(const platform::Bitmap& frame, int height,
                                 platform::ImageCodec& codec) {
    std::vector<uint8_t> out(frameBytes(height), 0);
    if (height <= 0) return out;
    platform::Bitmap square(height, height, platform::kBlack);
    codec.drawScaled(frame, {0, 0, frame.width(), frame.height()}, square, {0, 0, height, height});
    size_t at = 0;
    for (int band = 0; band < height; band += 8)
        for (int y = 0; y < height; ++y, ++at)
            for (int x = band; x < band + 8 && x < height; ++x)
                if (platform::isLitPixel(square.pixel(x, y)))
                    out[at] |= static_cast<uint8_t>(0x80 >> (x - band));
    return out;
}

std::vector<uint8_t> encodeBlock(const std::vector<platform::ImageFrame>& frames, int height,
                                 platform::ImageCodec& codec) {
    if (frames.empty()) return {};
    // The count's low 8 bits are what the block can say, and what it holds.
    const size_t count = frames.size() & 0xFF;
    std::vector<uint8_t> block(kBlockHeaderSize, 0);
    block.reserve(kBlockHeaderSize + count * frameBytes(height));
    for (size_t k = 0; k < count; ++k)
        for (uint8_t byte : encodeFrame(frames[k].image, height, codec))
            block.push_back(static_cast<uint8_t>(~byte));
    put16(block, 0, static_cast<uint32_t>(block.size() - kBlockHeaderSize));
    block[2] = static_cast<uint8_t>(count);
    return block;
}

std::vector<uint8_t> build(const std::vector<std::u16string>& paths, int height,
                           platform::ImageCodec& codec) {
    if (paths.empty()) return {};
    std::vector<std::vector<uint8_t>> blocks;
    for (const std::u16string& path : paths) {
        if (path.empty()) continue;
        std::vector<platform::ImageFrame> frames;
        if (!codec.loadFrames(std::filesystem::path(platform::utf16ToUtf8(path)), frames)) continue;
        if (auto block = encodeBlock(frames, height, codec); !block.empty())
            blocks.push_back(std::move(block));
    }
    return assemble(blocks, height);
}

std::vector<uint8_t> assemble(const std::vector<std::vector<uint8_t>>& blocks, int height) {
    const size_t n = blocks.size();
    std::vector<uint8_t> out(kHeaderSize + 4 * n, 0);
    out[0] = out[1] = sizeCode(height);
    out[4] = static_cast<uint8_t>(n);
    size_t offset = out.size();
    for (size_t k = 0; k < n; ++k) {
        put32(out, kHeaderSize + 4 * k, static_cast<uint32_t>(offset));
        offset += blocks[k].size();
    }
    for (const auto& block : blocks)
        out.insert(out.end(), block.begin(), block.end());
    return out;
}

std::optional<Parsed> parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    Parsed set;
    set.sizeCode = bytes[0];
    set.height = heightOf(bytes[0]);
    const size_t n = bytes[4];
    if (bytes[1] != bytes[0]) set.problem = "the two size codes differ";
    if (bytes.size() < kHeaderSize + 4 * n) {
        set.problem = "the offsets of " + std::to_string(n) + " blocks do not fit";
        return set;
    }
    const size_t perFrame = frameBytes(set.height);
    for (size_t k = 0; k < n; ++k) {
        const size_t offset = get32(bytes, kHeaderSize + 4 * k);
        if (offset > bytes.size() || bytes.size() - offset < kBlockHeaderSize) {
            if (set.problem.empty())
                set.problem = "block " + std::to_string(k) + " lies outside the set";
            break;
        }
        Parsed::Block block;
        block.offset = offset;
        block.frameByteCount = static_cast<uint16_t>(get16(bytes, offset));
        block.frameCount = bytes[offset + 2];
        const size_t available = bytes.size() - offset - kBlockHeaderSize;
        const size_t declared = std::min<size_t>(block.frameByteCount, available);
        if (block.frameByteCount > available && set.problem.empty())
            set.problem = "block " + std::to_string(k) + " is cut short";
        if (perFrame > 0 && block.frameByteCount != block.frameCount * perFrame &&
            set.problem.empty())
            set.problem = "block " + std::to_string(k) + " holds " +
                          std::to_string(block.frameByteCount) + " frame bytes for " +
                          std::to_string(block.frameCount) + " frames";
        for (size_t f = 0; perFrame > 0 && f < block.frameCount && (f + 1) * perFrame <= declared;
             ++f) {
            std::vector<uint8_t> frame(perFrame);
            for (size_t b = 0; b < perFrame; ++b)
                frame[b] =
                    static_cast<uint8_t>(~bytes[offset + kBlockHeaderSize + f * perFrame + b]);
            block.frames.push_back(std::move(frame));
        }
        set.blocks.push_back(std::move(block));
    }
    return set;
}

bool lit(const std::vector<uint8_t>& frame, int height, int x, int y) {
    if (x < 0 || y < 0 || x >= height || y >= height) return false;
    const size_t at = static_cast<size_t>(x / 8) * static_cast<size_t>(height) + y;
    return at < frame.size() && (frame[at] & (0x80 >> (x % 8))) != 0;
}

}  // namespace AnimationSet
