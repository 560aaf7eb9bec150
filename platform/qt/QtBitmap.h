#pragma once

#include "platform/Bitmap.h"

#include <QImage>

#include <cstring>

namespace platform {

// For showing a Bitmap in a widget; both share the pixel layout (0xAARRGGBB, rows from the top).
inline QImage toQImage(const Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.row(y), static_cast<size_t>(bitmap.width()) * 4);
    return image;
}

}  // namespace platform
