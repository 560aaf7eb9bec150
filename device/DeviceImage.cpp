#include "device/DeviceImage.h"

namespace DeviceImage {

using namespace ImageLayout;

namespace {

constexpr uint8_t kGlyphRows[11][12] = {
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xDF, 0x9F, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0xEF, 0xDF, 0xBF, 0x7F, 0x07, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0xF7, 0xCF, 0xF7, 0xF7, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xEF, 0xCF, 0xAF, 0xAF, 0x6F, 0x87, 0xEF, 0xE7, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x07, 0x7F, 0x7F, 0x0F, 0xF7, 0xF7, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x6F, 0x7F, 0x0F, 0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x07, 0x6F, 0xEF, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x8F, 0x77, 0x77, 0x77, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x8F, 0x77, 0x77, 0x77, 0x87, 0xF7, 0xB7, 0x8F, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xB7, 0x57, 0x4F, 0xAF, 0xD7, 0xCB, 0xAB, 0xB7, 0xFF, 0xFF},
};

}  // namespace

uint8_t widthCode(int32_t width) {
    if (width == 36) return 0;
    if (width == 48) return 1;
    return static_cast<uint8_t>(width & 0xFF);
}

uint8_t heightCode(int32_t height) {
    if (height == 11) return 0;
    if (height == 12) return 1;
    if (height == 16) return 2;
    return static_cast<uint8_t>(height & 0xFF);
}

int32_t widthOfCode(uint8_t code) {
    return code == 0 ? 36 : code == 1 ? 48 : code;
}

int32_t heightOfCode(uint8_t code) {
    return code == 0 ? 11 : code == 1 ? 12 : code == 2 ? 16 : code;
}

const std::array<uint8_t, kDigitFontSize>& digitFontBlock() {
    static const std::array<uint8_t, kDigitFontSize> block = [] {
        std::array<uint8_t, kDigitFontSize> b{};
        for (int k = 0; k < 11; ++k) {
            const int offset = 22 + 12 * k;
            b[2 * k] = static_cast<uint8_t>(offset >> 8);
            b[2 * k + 1] = static_cast<uint8_t>(offset & 0xFF);
            for (int r = 0; r < 12; ++r)
                b[offset + r] = kGlyphRows[k][r];
        }
        return b;
    }();
    return block;
}

Built build(int32_t width, int32_t height, int32_t playMode, int32_t tempOffset,
            const std::vector<Program>& programs, const EncodeInputs& inputs,
            const ProgramEncoder& programEncoder) {
    Built result;
    if (programs.empty()) return result;
    // A screen larger than a sign can be is never drawn.
    if (ProgramEncoder::maxLineColumns(width, height) == 0) return Built{{}, {}, true};
    std::string image(kHeaderSize, '\0');
    image[kWidthCode] = static_cast<char>(widthCode(width));
    image[kHeightCode] = static_cast<char>(heightCode(height));
    image[kPlayMode] = static_cast<char>(playMode & 0xFF);
    image[kTemperatureCorrection] =
        static_cast<char>(static_cast<uint8_t>(static_cast<int8_t>(tempOffset)));
    size_t count = 0;
    for (const Program& program : programs) {
        if (count == kTableSlots) break;  // the header has no room for more
        const ProgramEncoder::Encoded encoded = programEncoder.encodeRecord(program.fields, inputs);
        if (encoded.tooLong) return Built{{}, {}, true};
        const std::string& record = encoded.record;
        if (record.empty()) continue;
        put32(image, kProgramTable + 4 * count, static_cast<uint32_t>(image.size()));
        image += record;
        result.names.push_back(program.name);
        ++count;
    }
    if (count == 0) return {};
    image[kProgramCount] = static_cast<char>(count);
    put32(image, kImageLength, static_cast<uint32_t>(image.size()));
    const auto& digits = digitFontBlock();
    image.append(reinterpret_cast<const char*>(digits.data()), digits.size());
    result.bytes = std::move(image);
    return result;
}

std::vector<Program> programsOf(const ScreenRecord& screen, bool currentOnly, ProgramKey current,
                                ProgramFieldsReader& reader) {
    std::vector<Program> programs;
    for (const auto& [key, program] : screen.programs) {
        if (currentOnly ? key != current : program.checked == 0) continue;
        programs.push_back({reader.read(program, screen.width, screen.height), program.name});
    }
    return programs;
}

Built buildScreen(const ScreenRecord& screen, int32_t playMode, int32_t tempOffset,
                  bool currentOnly, ProgramKey current, const EncodeContext& context) {
    const std::shared_ptr<const EncodeContext::Snapshot> snapshot = context.snapshot();
    ProgramFieldsReader reader(snapshot->languageName, snapshot->inputs.fontList);
    const TextRasterizer rasterizer(context.renderer(), *snapshot->bitmapFonts);
    const ProgramEncoder encoder(rasterizer, context.pictureCache());
    return build(screen.width, screen.height, playMode, tempOffset,
                 programsOf(screen, currentOnly, current, reader), snapshot->inputs, encoder);
}

Built build(const ScreenRecord& screen, int32_t playMode, int32_t tempOffset, bool currentOnly,
            ProgramKey current, CDlgProgram& loader, const ProgramEncoder& programEncoder) {
    ProgramFieldsReader reader(loader);
    return build(screen.width, screen.height, playMode, tempOffset,
                 programsOf(screen, currentOnly, current, reader), ProgramEncoder::inputsOf(loader),
                 programEncoder);
}

}  // namespace DeviceImage
