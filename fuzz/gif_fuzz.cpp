// Arbitrary bytes as an animation: decode its frames, encode them as a sign's
// animation block for a height taken from the input, and read the set back:
// every frame must come back as it went in (a height the set cannot name
// comes back as the one its size code names).
#include "assets/AnimationSet.h"
#include "platform/qt/QtImageCodec.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (qInstallMessageHandler(quiet), true);
    (void)silenced;
    static platform::QtImageCodec codec;
    if (size < 1) return 0;
    const int heights[] = {11, 12, 16, 1, 7, 9, 24, 127};
    const int height = heights[data[0] % 8];

    std::vector<platform::ImageFrame> frames;
    codec.decodeFrames(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), frames);
    const std::vector<uint8_t> block = AnimationSet::encodeBlock(frames, height, codec);
    if (frames.empty()) {
        if (!block.empty()) std::abort();
        return 0;
    }
    const size_t count = frames.size() & 0xFF;
    if (block.size() != AnimationSet::kBlockHeaderSize + count * AnimationSet::frameBytes(height))
        std::abort();

    const std::vector<uint8_t> set = AnimationSet::assemble({block}, height);
    const auto parsed = AnimationSet::parse(set);
    // Heights 1 and 2 write the size codes of 12 and 16 rows (the sign's format
    // has no others): a sign, and the reader, take them as those.
    const int named = AnimationSet::heightOf(AnimationSet::sizeCode(height));
    if (named != height) {
        if (!parsed || parsed->height != named) std::abort();
        return 0;
    }
    if (!parsed || !parsed->problem.empty() || parsed->blocks.size() != 1) std::abort();
    const auto& back = parsed->blocks[0].frames;
    if (back.size() != count) std::abort();
    for (size_t k = 0; k < count; ++k)
        if (back[k] != AnimationSet::encodeFrame(frames[k].image, height, codec)) std::abort();
    return 0;
}
