// Arbitrary bytes as a picture: decode every frame, scale each onto a sign-sized
// bitmap, and check that what came out is whole and opaque.
#include "platform/qt/QtImageCodec.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

void checkOpaque(const platform::Bitmap& b) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixel(x, y) >> 24 != 0xFF) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Decoders report every damaged input; printing them would only slow the run.
    static const bool silenced = (qInstallMessageHandler(quiet), true);
    (void)silenced;
    static platform::QtImageCodec codec;

    std::vector<platform::ImageFrame> frames;
    const bool decoded =
        codec.decodeFrames(std::string_view(reinterpret_cast<const char*>(data), size), frames);
    if (decoded == frames.empty()) std::abort();
    if (frames.size() > static_cast<size_t>(platform::QtImageCodec::kMaxFrames)) std::abort();

    for (const platform::ImageFrame& frame : frames) {
        const platform::Bitmap& image = frame.image;
        if (image.empty() || frame.delayMs < 0) std::abort();
        if (static_cast<long long>(image.width()) * image.height() >
            platform::QtImageCodec::kMaxFramePixels)
            std::abort();
        if (image.width() != frames[0].image.width() || image.height() != frames[0].image.height())
            std::abort();
        checkOpaque(image);

        platform::Bitmap sign(12, 12);
        codec.drawScaled(image, {0, 0, image.width(), image.height()}, sign, {0, 0, 12, 12});
        // A part reaching past the source, drawn partly outside the target.
        codec.drawScaled(image,
                         {image.width() / 3, image.height() / 3, image.width(), image.height()},
                         sign, {-3, 5, 20, 9});
        checkOpaque(sign);
    }
    return 0;
}
