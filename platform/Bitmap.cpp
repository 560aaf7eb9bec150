#include "platform/Bitmap.h"

#include <algorithm>

namespace platform {

Bitmap::Bitmap(int width, int height, uint32_t fill) {
    if (width < 1 || height < 1) return;
    m_width = width;
    m_height = height;
    m_pixels.assign(static_cast<size_t>(width) * height, fill);
}

uint32_t Bitmap::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kBlack;
    return m_pixels[static_cast<size_t>(y) * m_width + x];
}

void Bitmap::setPixel(int x, int y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    m_pixels[static_cast<size_t>(y) * m_width + x] = argb;
}

void Bitmap::fill(uint32_t argb) {
    std::fill(m_pixels.begin(), m_pixels.end(), argb);
}

void Bitmap::fillRect(Rect r, uint32_t argb) {
    const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    const int x1 = std::min<long long>(static_cast<long long>(r.x) + r.width, m_width);
    const int y1 = std::min<long long>(static_cast<long long>(r.y) + r.height, m_height);
    for (int y = y0; y < y1; ++y)
        std::fill(row(y) + x0, row(y) + std::max(x0, x1), argb);
}

void Bitmap::copyFrom(const Bitmap& source, Rect from, int x, int y) {
    // Clip the source rectangle to the source, then the destination to this bitmap.
    long long sx = from.x, sy = from.y, w = from.width, h = from.height, dx = x, dy = y;
    if (sx < 0) {
        w += sx;
        dx -= sx;
        sx = 0;
    }
    if (sy < 0) {
        h += sy;
        dy -= sy;
        sy = 0;
    }
    w = std::min(w, source.width() - sx);
    h = std::min(h, source.height() - sy);
    if (dx < 0) {
        w += dx;
        sx -= dx;
        dx = 0;
    }
    if (dy < 0) {
        h += dy;
        sy -= dy;
        dy = 0;
    }
    w = std::min(w, m_width - dx);
    h = std::min(h, m_height - dy);
    if (w <= 0 || h <= 0) return;
    for (long long r = 0; r < h; ++r)
        std::copy_n(source.row(static_cast<int>(sy + r)) + sx, w,
                    row(static_cast<int>(dy + r)) + dx);
}

}  // namespace platform
