#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A colour as the program's files store it: 0x00BBGGRR.
using ColorRef = uint32_t;

constexpr ColorRef rgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<ColorRef>(r) | static_cast<ColorRef>(g) << 8 |
           static_cast<ColorRef>(b) << 16;
}
constexpr uint8_t redOf(ColorRef c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t greenOf(ColorRef c) {
    return static_cast<uint8_t>(c >> 8 & 0xFF);
}
constexpr uint8_t blueOf(ColorRef c) {
    return static_cast<uint8_t>(c >> 16 & 0xFF);
}

// Pixels are 0xAARRGGBB, the layout the image libraries use.
constexpr uint32_t argbOf(ColorRef c) {
    return 0xFF000000u | static_cast<uint32_t>(redOf(c)) << 16 |
           static_cast<uint32_t>(greenOf(c)) << 8 | blueOf(c);
}
constexpr ColorRef colorRefOf(uint32_t argb) {
    return rgb(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
               static_cast<uint8_t>(argb));
}
// A sign LED is lit where the rendered pixel's red component is 100 or more.
constexpr bool isLitPixel(uint32_t argb) {
    return (argb >> 16 & 0xFF) >= 100;
}

constexpr uint32_t kBlack = 0xFF000000u;

// A pixel laid over black: how every picture the program reads is taken.
constexpr uint32_t overBlack(uint32_t argb) {
    const uint32_t a = argb >> 24;
    if (a == 0xFF) return argb;
    const auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
    return 0xFF000000u | channel(argb >> 16 & 0xFF) << 16 | channel(argb >> 8 & 0xFF) << 8 |
           channel(argb & 0xFF);
}

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// A picture in memory: width × height 32-bit pixels, rows from the top.
class Bitmap {
public:
    Bitmap() = default;
    // Sizes below 1 give an empty bitmap.
    Bitmap(int width, int height, uint32_t fill = kBlack);

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool empty() const { return m_width == 0 || m_height == 0; }

    // Pixels outside the bitmap read as black and are not written.
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t argb);
    ColorRef colorRef(int x, int y) const { return colorRefOf(pixel(x, y)); }
    bool isLit(int x, int y) const { return isLitPixel(pixel(x, y)); }

    uint32_t* row(int y) { return m_pixels.data() + static_cast<size_t>(y) * m_width; }
    const uint32_t* row(int y) const { return m_pixels.data() + static_cast<size_t>(y) * m_width; }
    const std::vector<uint32_t>& pixels() const { return m_pixels; }

    void fill(uint32_t argb);
    void fillRect(Rect r, uint32_t argb);
    // Copies the source rectangle unscaled to (x, y), clipped to both bitmaps.
    void copyFrom(const Bitmap& source, Rect from, int x, int y);

    bool operator==(const Bitmap&) const = default;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint32_t> m_pixels;
};

}  // namespace platform
