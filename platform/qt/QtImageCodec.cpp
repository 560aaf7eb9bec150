#include "platform/qt/QtImageCodec.h"

#include "platform/SafeSave.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <system_error>

namespace platform {

namespace {

// Qt refuses any single image allocation above this. It is process-wide, and
// it only has to let through the largest frame we accept: 20 million 32-bit
// pixels are 80 MB.
constexpr int kAllocationLimitMb = 96;

long long pixelsOf(QSize size) {
    return static_cast<long long>(size.width()) * size.height();
}

// Empty when the conversion cannot allocate.
Bitmap toBitmap(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull()) return {};
    Bitmap out(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y) {
        // Scanlines may be padded; read each one from its own start.
        const auto* line = reinterpret_cast<const uint32_t*>(argb.constScanLine(y));
        uint32_t* row = out.row(y);
        for (int x = 0; x < argb.width(); ++x)
            row[x] = overBlack(line[x]);
    }
    return out;
}

// Only the formats the program offers: the same files load on every install,
// whatever other image plugins it has, and no other parser sees outside bytes.
bool isOffered(const QByteArray& format) {
    return format == "bmp" || format == "png" || format == "jpeg" || format == "gif";
}

bool readFrames(QIODevice& device, int maxFrames, std::vector<ImageFrame>& frames) {
    frames.clear();
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!isOffered(reader.format())) return false;
    const bool animated = reader.supportsAnimation();
    long long total = 0;
    while (static_cast<int>(frames.size()) < maxFrames) {
        if (!frames.empty() && (!animated || !reader.canRead())) break;
        // Checked before decoding, so an absurd header costs nothing; handlers that
        // cannot tell the size beforehand are held by the allocation limit.
        const QSize announced = reader.size();
        if (announced.isValid() && pixelsOf(announced) > QtImageCodec::kMaxFramePixels) break;
        QImage image;
        if (!reader.read(&image) || image.isNull()) break;
        const long long pixels = pixelsOf(image.size());
        if (pixels > QtImageCodec::kMaxFramePixels) break;
        if (total + pixels > QtImageCodec::kMaxTotalPixels) break;
        const int delay = animated ? std::max(reader.nextImageDelay(), 0) : 0;
        Bitmap bitmap = toBitmap(image);
        if (bitmap.empty()) break;
        total += pixels;
        frames.push_back(ImageFrame{std::move(bitmap), delay});
    }
    // A damaged later frame ends the animation; the frames before it stand.
    return !frames.empty();
}

bool readFile(const std::filesystem::path& file, int maxFrames, std::vector<ImageFrame>& frames) {
    frames.clear();
    // Folders, pipes and devices are not pictures; opening a pipe could block.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    QFile in(QFile::decodeName(QByteArray(file.c_str())));
    if (!in.open(QIODevice::ReadOnly)) return false;
    return readFrames(in, maxFrames, frames);
}

}  // namespace

QtImageCodec::QtImageCodec() {
    QImageReader::setAllocationLimit(kAllocationLimitMb);
}

bool QtImageCodec::load(const std::filesystem::path& file, Bitmap& image) {
    std::vector<ImageFrame> frames;
    if (!readFile(file, 1, frames)) return false;
    image = std::move(frames.front().image);
    return true;
}

bool QtImageCodec::loadFrames(const std::filesystem::path& file, std::vector<ImageFrame>& frames) {
    return readFile(file, kMaxFrames, frames);
}

bool QtImageCodec::decodeFrames(std::string_view bytes, std::vector<ImageFrame>& frames) {
    frames.clear();
    if (bytes.empty()) return false;
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) return false;
    return readFrames(buffer, kMaxFrames, frames);
}

void QtImageCodec::drawScaled(const Bitmap& source, Rect from, Bitmap& target, Rect to) {
    if (source.empty() || target.empty() || from.width <= 0 || from.height <= 0 || to.width <= 0 ||
        to.height <= 0)
        return;

    // Only the part of `from` that lies in the source is drawn, into the matching
    // part of `to`. Working in long long and double keeps huge rectangles from
    // overflowing.
    const long long fx0 = std::max<long long>(from.x, 0);
    const long long fy0 = std::max<long long>(from.y, 0);
    const long long fx1 =
        std::min<long long>(static_cast<long long>(from.x) + from.width, source.width());
    const long long fy1 =
        std::min<long long>(static_cast<long long>(from.y) + from.height, source.height());
    if (fx1 <= fx0 || fy1 <= fy0) return;
    const double sx = static_cast<double>(to.width) / from.width;
    const double sy = static_cast<double>(to.height) / from.height;
    const double dx0 = to.x + (fx0 - from.x) * sx, dx1 = to.x + (fx1 - from.x) * sx;
    const double dy0 = to.y + (fy0 - from.y) * sy, dy1 = to.y + (fy1 - from.y) * sy;

    // Clip the destination to the target ourselves, so Qt never sees coordinates
    // far outside it, and map the clipped edges back into the source.
    const double cx0 = std::max(dx0, 0.0), cx1 = std::min(dx1, static_cast<double>(target.width()));
    const double cy0 = std::max(dy0, 0.0),
                 cy1 = std::min(dy1, static_cast<double>(target.height()));
    if (cx1 <= cx0 || cy1 <= cy0) return;

    // A copy of just the source part: smoothing then never blends in pixels from
    // outside `from`.
    const QImage whole(reinterpret_cast<const uchar*>(source.row(0)), source.width(),
                       source.height(), static_cast<qsizetype>(source.width()) * 4,
                       QImage::Format_ARGB32);
    const QImage part = whole.copy(static_cast<int>(fx0), static_cast<int>(fy0),
                                   static_cast<int>(fx1 - fx0), static_cast<int>(fy1 - fy0));
    if (part.isNull()) return;
    const QRectF partSource((cx0 - dx0) / sx, (cy0 - dy0) / sy, (cx1 - cx0) / sx, (cy1 - cy0) / sy);

    QImage canvas(reinterpret_cast<uchar*>(target.row(0)), target.width(), target.height(),
                  static_cast<qsizetype>(target.width()) * 4, QImage::Format_ARGB32);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(cx0, cy0, cx1 - cx0, cy1 - cy0), part, partSource);
    painter.end();
}

bool QtImageCodec::save(const Bitmap& image, const std::filesystem::path& file,
                        ImageFormat format) {
    if (image.empty()) return false;
    QImage opaque(image.width(), image.height(), QImage::Format_RGB32);
    if (opaque.isNull()) return false;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(opaque.scanLine(y));
        const uint32_t* row = image.row(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = overBlack(row[x]);
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return false;
    bool written = false;
    switch (format) {
        case ImageFormat::Bmp24: {
            // Qt writes a 24-bit BMP from 24-bit pixels.
            const QImage rgb = opaque.convertToFormat(QImage::Format_RGB888);
            written = !rgb.isNull() && QImageWriter(&buffer, "bmp").write(rgb);
            break;
        }
        case ImageFormat::Png:
            written = QImageWriter(&buffer, "png").write(opaque);
            break;
        case ImageFormat::Jpeg: {
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(90);
            written = writer.write(opaque);
            break;
        }
    }
    buffer.close();
    if (!written || bytes.isEmpty()) return false;
    return saveFileSafely(file,
                          std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

}  // namespace platform
