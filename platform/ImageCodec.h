#pragma once

#include "platform/Bitmap.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace platform {

enum class ImageFormat { Bmp24, Png, Jpeg };

struct ImageFrame {
    Bitmap image;
    int delayMs = 0;  // the frame's display time in an animation; 0 for still pictures
};

// The one place pictures are decoded, scaled and saved: BMP, JPG, PNG and GIF.
class ImageCodec {
public:
    virtual ~ImageCodec() = default;

    // The picture's first frame; false for a file that cannot be read or decoded.
    virtual bool load(const std::filesystem::path& file, Bitmap& image) = 0;
    // Every frame, each the full-size picture as it shows at that frame (an
    // animated GIF's frames composed as its disposal rules say); a still
    // picture gives one frame. False, with no frames, for what cannot be decoded.
    virtual bool loadFrames(const std::filesystem::path& file, std::vector<ImageFrame>& frames) = 0;
    // The same from bytes in memory.
    virtual bool decodeFrames(std::string_view bytes, std::vector<ImageFrame>& frames) = 0;

    // Draws `from` of the source scaled into `to` of the target with smoothing,
    // clipped to the target.
    virtual void drawScaled(const Bitmap& source, Rect from, Bitmap& target, Rect to) = 0;

    // Writes the picture (BMP as 24 bits per pixel) through a temporary file, so
    // a failure leaves an existing file as it was.
    virtual bool save(const Bitmap& image, const std::filesystem::path& file,
                      ImageFormat format) = 0;
};

}  // namespace platform
