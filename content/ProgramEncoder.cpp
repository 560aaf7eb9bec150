#include "content/ProgramEncoder.h"

#include "content/BracketCodes.h"
#include "content/DeviceImageLayout.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <array>

namespace {

using namespace ImageLayout;

// A list's value as one byte; 0xFF for a list without a selection.
char listByte(int32_t value) {
    return static_cast<char>(value < 0 ? 0xFF : value & 0xFF);
}

// The unit symbols drawn when the font has none: 12 × 12, '#' = ink.
constexpr std::array<const char*, 12> kCelsius{
    "............", ".##...####..", "#..#.#....#.", "#..##.......", ".##.#.......", "....#.......",
    "....#.......", "....#.......", ".....#....#.", "......####..", "............", "............"};
constexpr std::array<const char*, 12> kFahrenheit{
    "............", ".##..######.", "#..#.#......", "#..#.#......", ".##..#......", ".....#####..",
    ".....#......", ".....#......", ".....#......", ".....#......", "............", "............"};

platform::Bitmap unitPicture(bool fahrenheit, uint32_t ink, uint32_t background) {
    platform::Bitmap b(12, 12, background);
    const auto& rows = fahrenheit ? kFahrenheit : kCelsius;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            if (rows[y][x] == '#') b.setPixel(x, y, ink);
    return b;
}

}  // namespace

int32_t ProgramEncoder::maxLineColumns(int W, int H) {
    if (W < 1 || W > kMaxScreenWidth || H < 1 || H > kMaxScreenHeight) return 0;
    const size_t pageBytes = static_cast<size_t>((W + 7) / 8) * H;
    const size_t pages = (kMaxRecordBytes - kRecordHeaderSize - kBitmapHeaderSize) / pageBytes;
    const size_t columns = std::min<size_t>(pages, TextRasterizer::kMaxColumns / W) * W;
    return static_cast<int32_t>(columns);
}

// --- segments ---------------------------------------------------------------------------

ProgramEncoder::Segment ProgramEncoder::pictureSegment(const std::vector<PictureRecord>& pictures,
                                                       int32_t id, bool& found) const {
    Segment s;
    s.kind = Segment::Picture;
    found = false;
    // The first record of the id whose file loads; the others with that id are tried in turn.
    for (const PictureRecord& r : pictures) {
        if (r.nValueID != id) continue;
        const std::shared_ptr<const platform::Bitmap> decoded = m_pictures.get(r.imgPath);
        if (!decoded) continue;
        const platform::Bitmap& picture = *decoded;
        const int32_t width = std::clamp(r.nDestWidth, 0, 10000);
        const int32_t height = std::clamp(r.nDestHeight, 0, 12);
        s.image = platform::Bitmap(width, height, platform::kBlack);
        if (r.bZoom)
            m_pictures.codec().drawScaled(picture, {0, 0, picture.width(), picture.height()},
                                          s.image, {0, 0, width, height});
        else
            s.image.copyFrom(picture, {0, 0, width, height}, 0, 0);
        s.width = width;
        found = true;
        return s;
    }
    return s;
}

ProgramEncoder::Segment ProgramEncoder::temperatureSegment(const ProgramFields& program,
                                                           const TextRasterizer::Style& style,
                                                           bool fahrenheit, TemperatureBlock& block,
                                                           bool& tooLong) const {
    // The glyph strips of the minus sign and the ten digits, inverted for the sign.
    std::array<TextRasterizer::GlyphStrip, 11> strips;
    strips[0] = m_rasterizer.glyphStrip(u"-", style);
    for (int d = 0; d < 10; ++d) {
        const char16_t digit = static_cast<char16_t>(u'0' + d);
        strips[d + 1] = m_rasterizer.glyphStrip(std::u16string_view(&digit, 1), style);
    }
    const int minusWidth = strips[0].width;
    int widestDigit = 0, largestDigit = 0;
    for (int d = 1; d <= 10; ++d) {
        widestDigit = std::max<int>(widestDigit, strips[d].width);
        largestDigit = std::max<int>(largestDigit, strips[d].lengthPlus5);
    }
    const long long digitCell = static_cast<long long>(widestDigit) + style.pitchOffset + 1;
    const long long fieldWidth = 2 * digitCell + minusWidth;

    std::string glyphs;
    std::array<uint32_t, 11> offsets{};
    for (int k = 0; k < 11; ++k) {
        // A glyph that could not be rendered has no bytes and an offset of 0.
        offsets[k] = strips[k].bytes.empty()
                         ? 0
                         : static_cast<uint32_t>(kTemperatureHeaderSize + glyphs.size());
        for (uint8_t b : strips[k].bytes)
            glyphs += static_cast<char>(~b);
    }
    std::string& t = block.bytes;
    t.assign(kTemperatureHeaderSize, '\0');
    put16(t, kTemperatureLength,
          static_cast<uint32_t>(kTemperatureHeaderSize + glyphs.size() + kTemperatureTrailer));
    t[kFieldWidth] = static_cast<char>(fieldWidth & 0xFF);
    t[kUnit] = static_cast<char>(fahrenheit ? 1 : 0);
    t[kMinusWidth] = static_cast<char>(minusWidth & 0xFF);
    put16(t, kMinusLength, strips[0].lengthPlus5);
    t[kDigitCell] = static_cast<char>(digitCell & 0xFF);
    put16(t, kLargestDigit, static_cast<uint32_t>(largestDigit));
    put16(t, kMinusOffset, static_cast<uint32_t>(kTemperatureHeaderSize));
    for (int d = 0; d < 10; ++d)
        put16(t, kDigitOffsets + 2 * d, offsets[d + 1]);
    t += glyphs;
    t.append(kTemperatureTrailer, '\0');
    block.fieldWidth = fieldWidth;

    // The field: room for the sign's digits, then the unit symbol against the right edge.
    Segment s;
    s.kind = Segment::Temperature;
    const int height = program.screenHeight;
    const TextRasterizer::Run symbol =
        m_rasterizer.rasterize(fahrenheit ? u"\u2109" : u"\u2103", style);
    const long long width = symbol.image.empty()
                                ? minusWidth + 2 * digitCell + 12
                                : symbol.advance + minusWidth + 2 * digitCell + style.pitchOffset;
    // The spacing widens every digit cell; a field wider than a line is refused, not drawn.
    if (symbol.tooLong || width > style.maxColumns) {
        tooLong = true;
        return s;
    }
    s.width = static_cast<int32_t>(std::max(0LL, width));
    if (!symbol.image.empty()) {
        s.image = platform::Bitmap(std::max(s.width, 1), std::max(height, 1), style.background);
        s.image.copyFrom(symbol.image, {0, 0, symbol.image.width(), symbol.image.height()},
                         s.width - symbol.advance, 0);
    } else {
        s.image = platform::Bitmap(std::max(s.width, 1), std::max(height, 1), style.background);
        const platform::Bitmap unit = unitPicture(fahrenheit, style.ink, style.background);
        s.image.copyFrom(unit, {0, 0, 12, 12}, s.width - 12, 0);
    }
    return s;
}

std::vector<ProgramEncoder::Segment> ProgramEncoder::segments(const ProgramFields& program,
                                                              const EncodeInputs& inputs,
                                                              TemperatureBlock* temperature,
                                                              bool* tooLong) const {
    TextRasterizer::Style style = TextRasterizer::styleOf(program, inputs.fontList);
    style.maxColumns = maxLineColumns(program.screenWidth, program.screenHeight);
    std::vector<Segment> out;
    bool over = style.maxColumns == 0;
    // What the pieces so far add to the line: past what a line can hold (with the
    // offset a screen allows) the rest is not drawn at all.
    long long extent = 0;
    const long long most =
        static_cast<long long>(style.maxColumns) +
        std::max<long long>(program.screenWidth, program.autoAdjust ? 0 : -1LL * program.offsetX);
    for (const BracketCodes::Piece& piece : BracketCodes::split(program.text)) {
        if (!out.empty()) extent += out.back().width + 1;
        if (extent > most) over = true;
        if (over) break;
        switch (piece.kind) {
            case BracketCodes::Piece::Kind::Text: {
                TextRasterizer::Run run = m_rasterizer.rasterize(piece.text, style);
                over = run.tooLong;
                if (run.image.empty()) break;  // a run that draws nothing adds nothing
                Segment s;
                s.kind = Segment::Text;
                s.width = run.advance;
                s.image = std::move(run.image);
                out.push_back(std::move(s));
                break;
            }
            case BracketCodes::Piece::Kind::Picture: {
                bool found = false;
                Segment s = pictureSegment(inputs.pictures, piece.picture, found);
                if (found) out.push_back(std::move(s));
                break;
            }
            case BracketCodes::Piece::Kind::Animation: {
                Segment s;
                s.kind = Segment::Animation;
                s.code = piece.animation;
                s.width = program.screenHeight;
                s.image = platform::Bitmap(s.width, s.width, platform::kBlack);
                out.push_back(std::move(s));
                break;
            }
            case BracketCodes::Piece::Kind::Temperature: {
                // The record keeps the block of the last field.
                TemperatureBlock block;
                Segment s = temperatureSegment(program, style, piece.fahrenheit, block, over);
                if (over) break;
                out.push_back(std::move(s));
                if (temperature) *temperature = std::move(block);
                break;
            }
        }
    }
    if (tooLong) *tooLong = over;
    if (over) out.clear();
    return out;
}

// --- the line --------------------------------------------------------------------------------

ProgramEncoder::Layout ProgramEncoder::layout(const ProgramFields& program,
                                              const std::vector<Segment>& segments) const {
    Layout result;
    const int W = program.screenWidth, H = program.screenHeight;
    const int32_t maxColumns = maxLineColumns(W, H);
    if (maxColumns == 0) {
        result.tooLong = W > 0 && H > 0;
        return result;
    }
    const uint32_t background = platform::argbOf(program.background);
    const int pitch = program.pitchOffset;

    long long sum = 0;
    for (const Segment& s : segments)
        sum += s.width;
    long long dx = 0, dy = 0;
    if (!program.autoAdjust) {
        sum += program.offsetX;
        dx = program.offsetX;
        dy = program.offsetY;
    }
    long long x, length;
    if (sum < W) {
        x = (W - sum) / 2;
        length = W;
    } else {
        length = (sum + W - 1) / W * W;
        x = 0;
    }
    x += dx;
    // A line longer than a record can hold is refused before its canvas is made.
    if (length > maxColumns || static_cast<long long>(segments.size()) > maxColumns) {
        result.tooLong = true;
        return result;
    }
    const long long canvasWidth = static_cast<long long>(segments.size()) + 2 * length;
    platform::Bitmap canvas(static_cast<int>(canvasWidth), 3 * H, background);

    for (const Segment& s : segments) {
        if (s.kind != Segment::Text && x > 0) x += 1;
        // Positions far off the canvas draw nothing; clamped, they still fit an int.
        const int cx = static_cast<int>(std::clamp<long long>(x, -(1 << 20), 1 << 20));
        const int cy = static_cast<int>(std::clamp<long long>(H - dy, -(1 << 20), 1 << 20));
        if (s.kind == Segment::Text || s.kind == Segment::Temperature)
            canvas.copyFrom(s.image, {0, 0, s.image.width(), s.image.height()}, cx, H);
        else if (s.kind == Segment::Picture)
            canvas.copyFrom(s.image, {0, 0, s.image.width(), s.image.height()}, cx, cy);
        if (s.kind == Segment::Temperature) {
            result.hasTemperature = true;
            result.temperatureColumn = static_cast<int32_t>(x + dx);
        }
        if (s.kind == Segment::Animation)
            result.animations.push_back({static_cast<int32_t>(x + dx), s.code});
        x += static_cast<long long>(s.width) + pitch;
    }

    // The content ends after the rightmost column (up to x) that holds anything but black.
    long long t = 0;
    for (long long c = std::min<long long>(x, canvas.width() - 1); c >= 0 && t == 0; --c)
        for (int r = canvas.height() - 1; r >= 0; --r)
            if ((canvas.pixel(static_cast<int>(c), r) & 0xFFFFFF) != 0) {
                t = c + 1;
                break;
            }
    // Placeholders that end the line keep their columns although nothing is drawn there.
    for (auto it = segments.rbegin(); it != segments.rend() && it->kind == Segment::Animation; ++it)
        t += it->width;

    const long long K = (t + W - 1) / W * W;
    if (K <= 0) return result;
    if (K > maxColumns) {
        result.tooLong = true;
        return result;
    }
    result.bitmap = platform::Bitmap(static_cast<int>(K), H, platform::kBlack);
    // Canvas point (c − dx, H − dy + r) becomes bitmap point (c, r).
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < K; ++c) {
            const long long sx = static_cast<long long>(c) - dx,
                            sy = static_cast<long long>(H) - dy + r;
            if (sx >= 0 && sy >= 0 && sx < canvas.width() && sy < canvas.height())
                result.bitmap.setPixel(c, r,
                                       canvas.pixel(static_cast<int>(sx), static_cast<int>(sy)));
        }
    return result;
}

std::string ProgramEncoder::pages(const platform::Bitmap& bitmap, int W) {
    std::string out;
    if (W <= 0) return out;
    const int groups = (W + 7) / 8;
    for (int page = 0; page < bitmap.width() / W; ++page) {
        platform::Bitmap cut(groups * 8, bitmap.height(), platform::kBlack);
        cut.copyFrom(bitmap, {page * W, 0, W, bitmap.height()}, 0, 0);
        for (uint8_t b : TextRasterizer::pack(cut))
            out += static_cast<char>(~b);
    }
    return out;
}

ProgramEncoder::Encoded ProgramEncoder::encodeRecord(const ProgramFields& program,
                                                     const EncodeInputs& inputs) const {
    Encoded result;
    TemperatureBlock temperature;
    const std::vector<Segment> pieces = segments(program, inputs, &temperature, &result.tooLong);
    if (result.tooLong) return result;
    const Layout line = layout(program, pieces);
    result.tooLong = line.tooLong;
    if (line.bitmap.empty()) return result;
    const int W = program.screenWidth, H = program.screenHeight;

    std::string record(kRecordHeaderSize, '\0');
    record[kEffect] = listByte(program.effect);
    record[kSpeed] = listByte(program.speed);
    record[kStopTime] = listByte(program.stopTime);
    record[kFlicker] = static_cast<char>(program.flicker ? 1 : 0);
    record[kBorder] = listByte(program.border);
    record[kBorderSpeed] = listByte(program.borderSpeed);
    record[kRedBackground] = static_cast<char>(program.redBackground ? 1 : 0);
    record[kFormatMark] = 1;
    put32(record, kBitmapOffset, kRecordHeaderSize);

    const std::string data = pages(line.bitmap, W);
    std::string bitmap(kBitmapHeaderSize, '\0');
    put16(bitmap, kBitmapLength, static_cast<uint32_t>(data.size() + kBitmapHeaderSize));
    put16(bitmap, kBitmapColumns, static_cast<uint32_t>(line.bitmap.width()));
    record += bitmap + data;

    if (!line.animations.empty()) {
        put32(record, kAnimationOffset, static_cast<uint32_t>(record.size()));
        const size_t m = line.animations.size();
        std::string table(kAnimationHeaderSize + kAnimationEntrySize * m, '\0');
        put16(table, kAnimationLength,
              static_cast<uint32_t>(kAnimationEntrySize * m + kAnimationLengthExtra));
        table[kPlaceholderSize] = static_cast<char>(H & 0xFF);
        table[kAnimationCount] = static_cast<char>(m);
        for (size_t k = 0; k < m; ++k) {
            const size_t entry = kAnimationHeaderSize + kAnimationEntrySize * k;
            put16(table, entry, static_cast<uint32_t>(line.animations[k].first));
            table[entry + 2] = static_cast<char>(line.animations[k].second);
        }
        record += table;
    }
    if (line.hasTemperature && !temperature.bytes.empty()) {
        put32(record, kTemperatureOffset, static_cast<uint32_t>(record.size()));
        put16(temperature.bytes, kFieldColumn, static_cast<uint32_t>(line.temperatureColumn));
        record += temperature.bytes;
    }
    if (record.size() > kMaxRecordBytes) {
        result.tooLong = true;
        return result;
    }
    put16(record, kRecordLength, static_cast<uint32_t>(record.size()));
    result.record = std::move(record);
    return result;
}
