#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// An animated GIF of palette pictures, all of one size, each shown for its
// delay; it loops for ever.
class GifWriter {
public:
    // `palette` holds 0xRRGGBB colours, 1 to 256 of them.
    GifWriter(int width, int height, std::vector<uint32_t> palette);

    // `pixels` are palette indexes, row by row; `delayMs` is rounded to the
    // format's hundredths of a second, carrying the rest to the next frame.
    // False (and nothing added) for a wrong size or an index outside the palette.
    bool addFrame(const std::vector<uint8_t>& pixels, int delayMs);

    // The whole file.
    std::string finish() const;

private:
    int m_width;
    int m_height;
    std::vector<uint32_t> m_palette;
    int m_paletteBits = 1;
    std::string m_frames;
    int m_carryMs = 0;
};

}  // namespace platform
