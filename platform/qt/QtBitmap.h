#pragma once

#include "platform/Bitmap.h"

#include <QColor>
#include <QImage>

#include <algorithm>

#include <cstring>

namespace platform {

// A colour written 0xRRGGBB, as the dialogs' fixed colours are.
inline QColor colourOfRgb(uint32_t rgb) {
    return QColor(static_cast<int>(rgb >> 16 & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

// For showing a Bitmap in a widget; both share the pixel layout (0xAARRGGBB, rows from the top).
inline QImage toQImage(const Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.row(y), static_cast<size_t>(bitmap.width()) * 4);
    return image;
}

// A picture as a red sign shows it: one LED of `pitch` pixels a pixel, lit
// where the sign would light it (the picture laid over black, as it is read
// for the sign), on the dark of an unlit sign.
inline QImage signLook(const QImage& picture, int pitch) {
    pitch = std::clamp(pitch, 1, 16);
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage look(source.width() * pitch, source.height() * pitch, QImage::Format_ARGB32);
    if (look.isNull()) return look;
    look.fill(0xFF161619u);
    // Dots with a gap between them once there is room for one.
    const int dot = pitch > 2 ? pitch - 1 : pitch;
    for (int y = 0; y < source.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            if (!isLitPixel(overBlack(row[x]))) continue;
            for (int dy = 0; dy < dot; ++dy) {
                auto* out = reinterpret_cast<uint32_t*>(look.scanLine(y * pitch + dy));
                std::fill_n(out + x * pitch, dot, 0xFFFF3C28u);
            }
        }
    }
    return look;
}

}  // namespace platform
