#include "device/DeviceImageReader.h"

#include "device/DeviceImage.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace ImageLayout;

std::string at(const char* what, size_t offset) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s at byte %zu", what, offset);
    return buf;
}

// Reads one record inside `rec` (the record's bytes); false with a problem when it is not sound.
bool readRecord(std::string_view rec, int width, int height, DeviceImageReader::Record& r,
                std::string& problem) {
    const size_t base = r.offset;
    if (rec.size() < kRecordHeaderSize) return problem = at("record header cut short", base), false;
    r.length = get16(rec, kRecordLength);
    r.effect = get8(rec, kEffect);
    r.speed = get8(rec, kSpeed);
    r.stopTime = get8(rec, kStopTime);
    r.flicker = get8(rec, kFlicker);
    r.border = get8(rec, kBorder);
    r.borderSpeed = get8(rec, kBorderSpeed);
    r.redBackground = get8(rec, kRedBackground);
    r.formatMark = get8(rec, kFormatMark);
    r.bitmapOffset = get32(rec, kBitmapOffset);
    r.animationOffset = get32(rec, kAnimationOffset);
    r.temperatureOffset = get32(rec, kTemperatureOffset);
    if (r.length < kRecordHeaderSize || r.length > rec.size())
        return problem = at("record length past the end of the image", base), false;
    rec = rec.substr(0, r.length);
    if (uint64_t{r.bitmapOffset} + kBitmapHeaderSize > rec.size())
        return problem = at("bitmap block outside its record", base + kBitmapOffset), false;
    const std::string_view bitmap = rec.substr(r.bitmapOffset);
    r.bitmapLength = get16(bitmap, kBitmapLength);
    r.columns = get16(bitmap, kBitmapColumns);
    if (r.bitmapLength < kBitmapHeaderSize || r.bitmapLength > bitmap.size())
        return problem = at("bitmap block length past its record", base + r.bitmapOffset), false;
    r.pageData = bitmap.substr(kBitmapHeaderSize, r.bitmapLength - kBitmapHeaderSize);
    if (width > 0 && height > 0) {
        const size_t pageBytes = static_cast<size_t>((width + 7) / 8) * height;
        if (r.columns % width != 0 || r.pageData.size() != r.columns / width * pageBytes)
            return problem = at("bitmap block does not hold whole pages", base + r.bitmapOffset),
                   false;
    }
    if (r.animationOffset != 0) {
        if (uint64_t{r.animationOffset} + kAnimationHeaderSize > rec.size())
            return problem = at("animation table outside its record", base + kAnimationOffset),
                   false;
        const std::string_view table = rec.substr(r.animationOffset);
        const uint8_t m = get8(table, kAnimationCount);
        r.placeholderSize = get8(table, kPlaceholderSize);
        if (get16(table, kAnimationLength) != kAnimationEntrySize * m + kAnimationLengthExtra)
            return problem = at("animation table length does not match its count",
                                base + r.animationOffset),
                   false;
        if (kAnimationHeaderSize + kAnimationEntrySize * m > table.size())
            return problem = at("animation table past its record", base + r.animationOffset), false;
        for (size_t k = 0; k < m; ++k) {
            const size_t entry = kAnimationHeaderSize + kAnimationEntrySize * k;
            r.animations.push_back({get16(table, entry), get8(table, entry + 2)});
        }
    }
    if (r.temperatureOffset != 0) {
        constexpr size_t kSmallest = kTemperatureHeaderSize + kTemperatureTrailer;
        if (uint64_t{r.temperatureOffset} + kSmallest > rec.size())
            return problem = at("temperature block outside its record", base + kTemperatureOffset),
                   false;
        const std::string_view t = rec.substr(r.temperatureOffset);
        auto& f = r.temperature;
        f.length = get16(t, kTemperatureLength);
        f.fieldWidth = get8(t, kFieldWidth);
        f.column = get16(t, kFieldColumn);
        f.unit = get8(t, kUnit);
        f.minusWidth = get8(t, kMinusWidth);
        f.minusLengthPlus5 = get16(t, kMinusLength);
        f.digitCell = get8(t, kDigitCell);
        f.largestDigitPlus5 = get16(t, kLargestDigit);
        f.minusOffset = get16(t, kMinusOffset);
        for (size_t d = 0; d < 10; ++d)
            f.digitOffsets[d] = get16(t, kDigitOffsets + 2 * d);
        if (f.length < kSmallest || f.length > t.size())
            return problem =
                       at("temperature block length past its record", base + r.temperatureOffset),
                   false;
        f.glyphs = t.substr(kTemperatureHeaderSize, f.length - kSmallest);
        for (size_t d = 0; d < 10; ++d)
            if (f.digitOffsets[d] != 0 && (f.digitOffsets[d] < kTemperatureHeaderSize ||
                                           f.digitOffsets[d] >= f.length - kTemperatureTrailer))
                return problem = at("digit glyph outside its temperature block",
                                    base + r.temperatureOffset + kDigitOffsets + 2 * d),
                       false;
        r.hasTemperature = true;
    }
    return true;
}

}  // namespace

bool DeviceImageReader::Record::lit(int column, int row, int screenWidth, int screenHeight) const {
    if (screenWidth <= 0 || screenHeight <= 0 || column < 0 || row < 0 || row >= screenHeight)
        return false;
    const int groups = (screenWidth + 7) / 8;
    const size_t page = static_cast<size_t>(column / screenWidth);
    const int x = column % screenWidth;
    const size_t at =
        page * groups * screenHeight + static_cast<size_t>(x / 8) * screenHeight + row;
    if (at >= pageData.size()) return false;
    return (static_cast<uint8_t>(pageData[at]) >> (7 - x % 8) & 1) == 0;
}

DeviceImageReader::Image DeviceImageReader::read(std::string_view bytes) {
    Image image;
    if (bytes.size() < kHeaderSize) {
        image.problem = "shorter than its 100-byte header";
        return image;
    }
    image.widthCode = get8(bytes, kWidthCode);
    image.heightCode = get8(bytes, kHeightCode);
    image.width = DeviceImage::widthOfCode(image.widthCode);
    image.height = DeviceImage::heightOfCode(image.heightCode);
    image.playMode = get8(bytes, kPlayMode);
    image.temperatureCorrection = static_cast<int8_t>(get8(bytes, kTemperatureCorrection));
    image.imageLength = get32(bytes, kImageLength);
    image.count = get8(bytes, kProgramCount);
    if (image.count > kTableSlots) {
        image.problem = at("program count beyond the 12 table slots", kProgramCount);
        image.count = kTableSlots;
    }
    if (image.imageLength < kHeaderSize || image.imageLength > bytes.size()) {
        if (image.problem.empty())
            image.problem = at("image length past the end of the bytes", kImageLength);
    }
    const size_t end =
        std::min<size_t>(bytes.size(), std::max<uint32_t>(image.imageLength, kHeaderSize));
    for (size_t k = 0; k < image.count; ++k)
        image.offsets.push_back(get32(bytes, kProgramTable + 4 * k));
    for (size_t k = 0; k < image.offsets.size(); ++k) {
        Record r;
        r.offset = image.offsets[k];
        r.slot = k;
        // An entry that points outside the image, or at a record that is not
        // sound, is passed over as the sign passes over it; the others still count.
        if (r.offset < kHeaderSize || r.offset >= end) {
            if (image.problem.empty())
                image.problem = at("program table entry outside the image", kProgramTable + 4 * k);
            continue;
        }
        std::string problem;
        const bool sound = readRecord(bytes.substr(r.offset, end - r.offset), image.width,
                                      image.height, r, problem);
        if (!sound) {
            if (image.problem.empty()) image.problem = problem;
            continue;
        }
        image.records.push_back(std::move(r));
    }
    image.hasDigitFont = image.imageLength >= kHeaderSize &&
                         static_cast<size_t>(image.imageLength) + kDigitFontSize <= bytes.size();
    if (!image.hasDigitFont && image.problem.empty())
        image.problem = "no digit font block after the records";
    return image;
}
