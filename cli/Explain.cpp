#include "cli/Explain.h"

#include "assets/AnimationSet.h"
#include "device/DeviceImage.h"
#include "device/DeviceImageReader.h"

#include <iomanip>
#include <span>

namespace {

void field(std::ostream& out, int indent, const char* name, const std::string& value) {
    out << std::string(indent, ' ') << std::left << std::setw(26) << name << value << '\n';
}

std::string num(long long v) {
    return std::to_string(v);
}

const char* effectName(int e) {
    static const char* names[] = {"show at once",
                                  "move up",
                                  "move down",
                                  "move left",
                                  "move right",
                                  "snow",
                                  "horizontal blinds",
                                  "vertical blinds",
                                  "pull up",
                                  "pull down",
                                  "cover from the right",
                                  "cover from the left"};
    return e >= 0 && e < 12 ? names[e] : "none";
}

void explainRecord(std::ostream& out, const DeviceImageReader::Image& image, size_t index) {
    const auto& r = image.records[index];
    out << "Program " << r.slot + 1 << " at byte " << r.offset << '\n';
    field(out, 2, "record length", num(r.length));
    field(out, 2, "effect",
          num(r.effect) + " (" + effectName(r.effect == 0xFF ? -1 : r.effect) + ")");
    field(out, 2, "speed", num(r.speed));
    field(out, 2, "stop time", num(r.stopTime) + " s");
    field(out, 2, "flicker", num(r.flicker));
    field(out, 2, "border", num(r.border));
    field(out, 2, "border speed", num(r.borderSpeed));
    field(out, 2, "red background", num(r.redBackground));
    field(out, 2, "format mark", num(r.formatMark));
    const int pages = image.width > 0 ? r.columns / image.width : 0;
    field(out, 2, "bitmap block",
          "at " + num(r.bitmapOffset) + ", length " + num(r.bitmapLength) + ", " + num(r.columns) +
              " columns (" + num(pages) + (pages == 1 ? " page)" : " pages)"));
    if (r.animationOffset == 0) {
        field(out, 2, "animation table", "none");
    } else {
        field(out, 2, "animation table",
              "at " + num(r.animationOffset) + ", placeholders " + num(r.placeholderSize) + " x " +
                  num(r.placeholderSize) + ", " + num(r.animations.size()) + " entries");
        for (size_t k = 0; k < r.animations.size(); ++k)
            field(out, 4, ("#" + num(k + 1)).c_str(),
                  "column " + num(r.animations[k].column) + ", animation " +
                      num(r.animations[k].number));
    }
    if (!r.hasTemperature) {
        field(out, 2, "temperature block", "none");
    } else {
        const auto& t = r.temperature;
        field(out, 2, "temperature block",
              "at " + num(r.temperatureOffset) + ", length " + num(t.length));
        field(out, 4, "field",
              "column " + num(t.column) + ", " + num(t.fieldWidth) + " columns wide");
        field(out, 4, "unit",
              t.unit == 0   ? "Celsius"
              : t.unit == 1 ? "Fahrenheit"
                            : "other (" + num(t.unit) + ")");
        field(out, 4, "minus glyph",
              num(t.minusWidth) + " columns, length+5 " + num(t.minusLengthPlus5) + ", at " +
                  num(t.minusOffset));
        field(out, 4, "digit cell",
              num(t.digitCell) + " columns, largest glyph length+5 " + num(t.largestDigitPlus5));
        std::string offsets;
        for (int d = 0; d < 10; ++d)
            offsets += (d ? " " : "") + num(t.digitOffsets[d]);
        field(out, 4, "digit glyphs at", offsets);
    }
    for (int page = 0; page < pages; ++page) {
        out << "  Page " << page + 1 << '\n';
        for (int row = 0; row < image.height; ++row) {
            std::string line = "    ";
            for (int x = 0; x < image.width; ++x)
                line += r.lit(page * image.width + x, row, image.width, image.height) ? '#' : '.';
            out << line << '\n';
        }
    }
}

}  // namespace

bool explainDeviceImage(std::string_view bytes, std::ostream& out) {
    const DeviceImageReader::Image image = DeviceImageReader::read(bytes);
    out << "Device image, " << bytes.size() << " bytes\n";
    if (bytes.size() >= DeviceImage::kHeaderSize) {
        out << "Header\n";
        field(out, 2, "width code", num(image.widthCode) + " (" + num(image.width) + " columns)");
        field(out, 2, "height code", num(image.heightCode) + " (" + num(image.height) + " rows)");
        field(out, 2, "play mode",
              num(image.playMode) + (image.playMode == 0   ? " (normal)"
                                     : image.playMode == 1 ? " (button switch)"
                                                           : ""));
        field(out, 2, "temperature correction", num(image.temperatureCorrection));
        field(out, 2, "image length", num(image.imageLength));
        field(out, 2, "programs", num(image.count));
        std::string table;
        for (size_t k = 0; k < image.offsets.size(); ++k)
            table += (k ? ", " : "") + num(image.offsets[k]);
        field(out, 2, "program table", table.empty() ? "empty" : table);
        for (size_t k = 0; k < image.records.size(); ++k)
            explainRecord(out, image, k);
        if (image.hasDigitFont)
            out << "Digit font block at byte " << image.imageLength << ", "
                << DeviceImage::kDigitFontSize << " bytes\n";
    }
    if (!image.problem.empty()) {
        out << "Problem: " << image.problem << '\n';
        return false;
    }
    return true;
}

bool explainAnimationSet(std::string_view bytes, std::ostream& out) {
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size());
    const auto set = AnimationSet::parse(data);
    if (!set) {
        out << "not an animation set: " << bytes.size() << " bytes, the header needs 8\n";
        return false;
    }
    out << "animation set, " << bytes.size() << " bytes\n";
    std::string code = num(set->sizeCode);
    code.append(" (").append(num(set->height)).append(" rows)");
    field(out, 0, "size code", code);
    field(out, 0, "blocks", num(data[4]));
    for (size_t k = 0; k < set->blocks.size(); ++k) {
        const auto& block = set->blocks[k];
        out << "block " << k << '\n';
        field(out, 2, "offset", num(static_cast<long long>(block.offset)));
        field(out, 2, "frame bytes", num(block.frameByteCount));
        field(out, 2, "frames", num(block.frameCount));
        for (size_t f = 0; f < block.frames.size(); ++f) {
            out << "  frame " << f << '\n';
            for (int y = 0; y < set->height; ++y) {
                std::string row(4, ' ');
                for (int x = 0; x < set->height; ++x)
                    row += AnimationSet::lit(block.frames[f], set->height, x, y) ? '#' : '.';
                out << row << '\n';
            }
        }
    }
    if (!set->problem.empty()) {
        out << "problem: " << set->problem << '\n';
        return false;
    }
    return true;
}
