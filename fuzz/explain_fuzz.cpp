// Arbitrary bytes as what `zentari-cli explain` prints: a device image (first
// byte even) or an animation set (odd). The explanation says "Problem" exactly
// when it reports failure; a parsed set has whole frames of its height only,
// within the bytes, and a sound set put together again from its frames reads
// back frame for frame.
#include "assets/AnimationSet.h"
#include "cli/Explain.h"
#include "device/DeviceImageReader.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

void checkSet(std::span<const uint8_t> bytes) {
    const auto set = AnimationSet::parse(bytes);
    if (!set) {
        if (bytes.size() >= AnimationSet::kHeaderSize) std::abort();
        return;
    }
    if (set->height != AnimationSet::heightOf(bytes[0]) || set->blocks.size() > bytes[4])
        std::abort();
    const size_t perFrame = AnimationSet::frameBytes(set->height);
    for (const auto& block : set->blocks) {
        if (block.offset + AnimationSet::kBlockHeaderSize > bytes.size()) std::abort();
        if (block.frames.size() > block.frameCount) std::abort();
        if (block.offset + AnimationSet::kBlockHeaderSize + block.frames.size() * perFrame >
            bytes.size())
            std::abort();
        for (const auto& frame : block.frames)
            if (frame.size() != perFrame) std::abort();
    }
    if (!set->problem.empty() || set->blocks.empty() ||
        AnimationSet::sizeCode(set->height) != bytes[0])
        return;

    std::vector<std::vector<uint8_t>> blocks;
    for (const auto& block : set->blocks) {
        std::vector<uint8_t> b(AnimationSet::kBlockHeaderSize, 0);
        b[0] = static_cast<uint8_t>(block.frameByteCount >> 8);
        b[1] = static_cast<uint8_t>(block.frameByteCount);
        b[2] = block.frameCount;
        for (const auto& frame : block.frames)
            for (uint8_t byte : frame)
                b.push_back(static_cast<uint8_t>(~byte));
        blocks.push_back(std::move(b));
    }
    const std::vector<uint8_t> again = AnimationSet::assemble(blocks, set->height);
    const auto reread = AnimationSet::parse(again);
    if (!reread || !reread->problem.empty() || reread->blocks.size() != set->blocks.size())
        std::abort();
    for (size_t k = 0; k < set->blocks.size(); ++k)
        if (reread->blocks[k].frames != set->blocks[k].frames) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::ostringstream out;
    if (data[0] % 2 == 0) {
        const bool sound = explainDeviceImage(bytes, out);
        if (sound != DeviceImageReader::read(bytes).problem.empty()) std::abort();
        if (sound == (out.str().find("Problem: ") != std::string::npos)) std::abort();
    } else {
        const bool sound = explainAnimationSet(bytes, out);
        if (sound == (out.str().find("problem: ") != std::string::npos) && sound) std::abort();
        checkSet({data + 1, size - 1});
    }
    return 0;
}
