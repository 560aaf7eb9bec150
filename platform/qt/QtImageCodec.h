#pragma once

#include "platform/ImageCodec.h"

namespace platform {

// Pictures through Qt's image readers and writers. Needs no QCoreApplication:
// BMP and PNG are built into Qt Gui, GIF and JPEG come from its standard
// image-format plugins.
//
// Decoded pixels are always opaque: transparency is composed over black, which
// is what a sign shows where a picture has nothing.
class QtImageCodec : public ImageCodec {
public:
    // A hostile file must not exhaust memory: a frame larger than this is
    // refused, and an animation stops once its frames hold this many pixels
    // together or reach kMaxFrames.
    static constexpr long long kMaxFramePixels = 20'000'000;
    static constexpr long long kMaxTotalPixels = 100'000'000;
    static constexpr int kMaxFrames = 1000;

    QtImageCodec();

    bool load(const std::filesystem::path& file, Bitmap& image) override;
    bool loadFrames(const std::filesystem::path& file, std::vector<ImageFrame>& frames) override;
    bool decodeFrames(std::string_view bytes, std::vector<ImageFrame>& frames) override;

    void drawScaled(const Bitmap& source, Rect from, Bitmap& target, Rect to) override;

    bool save(const Bitmap& image, const std::filesystem::path& file, ImageFormat format) override;
};

}  // namespace platform
