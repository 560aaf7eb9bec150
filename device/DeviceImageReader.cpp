#include "device/DeviceImageReader.h"

#include "device/DeviceImage.h"

#include <algorithm>
#include <cstdio>

namespace {

uint8_t u8(std::string_view b, size_t at) { return static_cast<uint8_t>(b[at]); }
uint16_t u16(std::string_view b, size_t at) { return static_cast<uint16_t>(u8(b, at) << 8 | u8(b, at + 1)); }
uint32_t u32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(u8(b, at)) << 24 | static_cast<uint32_t>(u8(b, at + 1)) << 16 |
           static_cast<uint32_t>(u8(b, at + 2)) << 8 | u8(b, at + 3);
}

std::string at(const char* what, size_t offset) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s at byte %zu", what, offset);
    return buf;
}

// Reads one record inside `rec` (the record's bytes); false with a problem when it is not sound.
bool readRecord(std::string_view rec, int width, int height, DeviceImageReader::Record& r, std::string& problem) {
    const size_t base = r.offset;
    if (rec.size() < 30) return problem = at("record header cut short", base), false;
    r.length = u16(rec, 0);
    r.effect = u8(rec, 2);
    r.speed = u8(rec, 3);
    r.stopTime = u8(rec, 4);
    r.flicker = u8(rec, 5);
    r.border = u8(rec, 6);
    r.borderSpeed = u8(rec, 7);
    r.redBackground = u8(rec, 8);
    r.formatMark = u8(rec, 10);
    r.bitmapOffset = u32(rec, 11);
    r.animationOffset = u32(rec, 15);
    r.temperatureOffset = u32(rec, 19);
    if (r.length < 30 || r.length > rec.size()) return problem = at("record length past the end of the image", base), false;
    rec = rec.substr(0, r.length);
    if (uint64_t{r.bitmapOffset} + 5 > rec.size()) return problem = at("bitmap block outside its record", base + 11), false;
    const std::string_view bitmap = rec.substr(r.bitmapOffset);
    r.bitmapLength = u16(bitmap, 0);
    r.columns = u16(bitmap, 2);
    if (r.bitmapLength < 5 || r.bitmapLength > bitmap.size())
        return problem = at("bitmap block length past its record", base + r.bitmapOffset), false;
    r.pageData = bitmap.substr(5, r.bitmapLength - 5);
    if (width > 0 && height > 0) {
        const size_t pageBytes = static_cast<size_t>((width + 7) / 8) * height;
        if (r.columns % width != 0 || r.pageData.size() != r.columns / width * pageBytes)
            return problem = at("bitmap block does not hold whole pages", base + r.bitmapOffset), false;
    }
    if (r.animationOffset != 0) {
        if (uint64_t{r.animationOffset} + 5 > rec.size())
            return problem = at("animation table outside its record", base + 15), false;
        const std::string_view table = rec.substr(r.animationOffset);
        const uint8_t m = u8(table, 3);
        r.placeholderSize = u8(table, 2);
        if (u16(table, 0) != 3u * m + 9) return problem = at("animation table length does not match its count", base + r.animationOffset), false;
        if (5 + 3u * m > table.size()) return problem = at("animation table past its record", base + r.animationOffset), false;
        for (size_t k = 0; k < m; ++k) r.animations.push_back({u16(table, 5 + 3 * k), u8(table, 7 + 3 * k)});
    }
    if (r.temperatureOffset != 0) {
        if (uint64_t{r.temperatureOffset} + 38 > rec.size())
            return problem = at("temperature block outside its record", base + 19), false;
        const std::string_view t = rec.substr(r.temperatureOffset);
        auto& f = r.temperature;
        f.length = u16(t, 0);
        f.fieldWidth = u8(t, 2);
        f.column = u16(t, 3);
        f.unit = u8(t, 5);
        f.minusWidth = u8(t, 6);
        f.minusLengthPlus5 = u16(t, 7);
        f.digitCell = u8(t, 9);
        f.largestDigitPlus5 = u16(t, 10);
        f.minusOffset = u16(t, 12);
        for (int d = 0; d < 10; ++d) f.digitOffsets[d] = u16(t, 14 + 2 * d);
        if (f.length < 38 || f.length > t.size())
            return problem = at("temperature block length past its record", base + r.temperatureOffset), false;
        f.glyphs = t.substr(34, f.length - 38);
        for (int d = 0; d < 10; ++d)
            if (f.digitOffsets[d] != 0 && (f.digitOffsets[d] < 34 || f.digitOffsets[d] >= f.length - 4))
                return problem = at("digit glyph outside its temperature block", base + r.temperatureOffset + 14 + 2 * d), false;
        r.hasTemperature = true;
    }
    return true;
}

}  // namespace

bool DeviceImageReader::Record::lit(int column, int row, int screenWidth, int screenHeight) const {
    if (screenWidth <= 0 || screenHeight <= 0 || column < 0 || row < 0 || row >= screenHeight) return false;
    const int groups = (screenWidth + 7) / 8;
    const size_t page = static_cast<size_t>(column / screenWidth);
    const int x = column % screenWidth;
    const size_t at = page * groups * screenHeight + static_cast<size_t>(x / 8) * screenHeight + row;
    if (at >= pageData.size()) return false;
    return (static_cast<uint8_t>(pageData[at]) >> (7 - x % 8) & 1) == 0;
}

DeviceImageReader::Image DeviceImageReader::read(std::string_view bytes) {
    Image image;
    if (bytes.size() < DeviceImage::kHeaderSize) {
        image.problem = "shorter than its 100-byte header";
        return image;
    }
    image.widthCode = u8(bytes, 0);
    image.heightCode = u8(bytes, 1);
    image.width = DeviceImage::widthOfCode(image.widthCode);
    image.height = DeviceImage::heightOfCode(image.heightCode);
    image.playMode = u8(bytes, 2);
    image.temperatureCorrection = static_cast<int8_t>(u8(bytes, 44));
    image.imageLength = u32(bytes, 45);
    image.count = u8(bytes, 49);
    if (image.count > DeviceImage::kTableSlots) {
        image.problem = at("program count beyond the 12 table slots", 49);
        image.count = DeviceImage::kTableSlots;
    }
    if (image.imageLength < DeviceImage::kHeaderSize || image.imageLength > bytes.size()) {
        if (image.problem.empty()) image.problem = at("image length past the end of the bytes", 45);
    }
    const size_t end = std::min<size_t>(bytes.size(), std::max<uint32_t>(image.imageLength, DeviceImage::kHeaderSize));
    for (size_t k = 0; k < image.count; ++k) image.offsets.push_back(u32(bytes, 50 + 4 * k));
    for (size_t k = 0; k < image.offsets.size(); ++k) {
        Record r;
        r.offset = image.offsets[k];
        r.slot = k;
        // An entry that points outside the image, or at a record that is not
        // sound, is passed over as the sign passes over it; the others still count.
        if (r.offset < DeviceImage::kHeaderSize || r.offset >= end) {
            if (image.problem.empty()) image.problem = at("program table entry outside the image", 50 + 4 * k);
            continue;
        }
        std::string problem;
        const bool sound = readRecord(bytes.substr(r.offset, end - r.offset), image.width, image.height, r, problem);
        if (!sound) {
            if (image.problem.empty()) image.problem = problem;
            continue;
        }
        image.records.push_back(std::move(r));
    }
    image.hasDigitFont = image.imageLength >= DeviceImage::kHeaderSize &&
                         static_cast<size_t>(image.imageLength) + DeviceImage::kDigitFontSize <= bytes.size();
    if (!image.hasDigitFont && image.problem.empty()) image.problem = "no digit font block after the records";
    return image;
}
