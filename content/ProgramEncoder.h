#pragma once

#include "content/CDlgProgram.h"
#include "content/DeviceImageLayout.h"
#include "content/PictureCache.h"
#include "content/ProgramFields.h"
#include "content/TextRasterizer.h"
#include "platform/Bitmap.h"
#include "platform/ImageCodec.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Turns a program into its program record: the text split at its codes, each
// piece rendered, laid out on one line, cut into screen-wide pages of LED bits,
// with the record header, the animation table and the temperature block. All
// numbers big-endian; 0 = lit in page data. Encoding changes nothing but the
// shared picture cache, so any number of threads may encode at once.
class ProgramEncoder {
public:
    // A sign image has 30720 bytes for its 100-byte header, the records and the
    // 154-byte digit font: no record can be longer than what is left.
    static constexpr size_t kMaxRecordBytes =
        ImageLayout::kMaxImageLength - ImageLayout::kHeaderSize - ImageLayout::kDigitFontSize;
    // The sizes a screen can have: what the image header and the sign's geometry reply carry.
    static constexpr int kMaxScreenWidth = 255;
    static constexpr int kMaxScreenHeight = 127;

    // The most columns a line of a W × H screen can have in a record (whole
    // pages, and a column count that fits its 16 bits); 0 for a size no screen has.
    static int32_t maxLineColumns(int screenWidth, int screenHeight);

    // One rendered piece of the line.
    struct Segment {
        enum Kind : int32_t { Text = 0, Picture = 1, Temperature = 2, Animation = 3 };
        Kind kind = Text;
        uint8_t code = 0;  // the animation number of a placeholder
        int32_t width = 0;
        platform::Bitmap image;
    };

    // A temperature field's block, without its column (placed at layout).
    struct TemperatureBlock {
        std::string bytes;  // column at offset 3 still 0
        int32_t fieldWidth = 0;
    };

    // With a picture cache of its own, or one shared with other encoders.
    ProgramEncoder(const TextRasterizer& rasterizer, platform::ImageCodec& codec)
        : m_ownCache(std::make_unique<PictureCache>(codec)),
          m_rasterizer(rasterizer),
          m_pictures(*m_ownCache) {}
    ProgramEncoder(const TextRasterizer& rasterizer, PictureCache& pictures)
        : m_rasterizer(rasterizer), m_pictures(pictures) {}

    struct Encoded {
        std::string record;    // empty when the program shows nothing or is too long
        bool tooLong = false;  // the screen or the line is larger than a record can hold
    };
    // The record of a program. Nothing larger than a record can hold is ever
    // drawn: the size is known before anything is allocated.
    Encoded encodeRecord(const ProgramFields& program, const EncodeInputs& inputs) const;
    // The record alone; empty when it shows nothing (or is too long).
    std::string encode(const ProgramFields& program, const EncodeInputs& inputs) const {
        return encodeRecord(program, inputs).record;
    }
    // The same for the program an editor instance holds, with its fonts and pictures.
    Encoded encodeRecord(const CDlgProgram& editor) const {
        return encodeRecord(editor.fields(), inputsOf(editor));
    }
    std::string encode(const CDlgProgram& editor) const { return encodeRecord(editor).record; }

    // The pieces of the line, in order (kept for the tests and the tools). Sets
    // `tooLong` (when given) and stops when a piece is wider than a line can be.
    std::vector<Segment> segments(const ProgramFields& program, const EncodeInputs& inputs,
                                  TemperatureBlock* temperature = nullptr,
                                  bool* tooLong = nullptr) const;
    std::vector<Segment> segments(const CDlgProgram& editor,
                                  TemperatureBlock* temperature = nullptr) const {
        return segments(editor.fields(), inputsOf(editor), temperature);
    }

    // The laid-out line: the bitmap (K × H, K a multiple of W) before packing,
    // and where the placeholders and the temperature field went.
    struct Layout {
        platform::Bitmap bitmap;
        std::vector<std::pair<int32_t, uint8_t>> animations;  // column, number
        bool hasTemperature = false;
        int32_t temperatureColumn = 0;
        bool tooLong = false;  // the line needs more columns than a record can hold; nothing drawn
    };
    Layout layout(const ProgramFields& program, const std::vector<Segment>& segments) const;
    Layout layout(const CDlgProgram& editor, const std::vector<Segment>& segments) const {
        return layout(editor.fields(), segments);
    }

    // Pages packed for the sign, inverted (0 = lit), page after page.
    static std::string pages(const platform::Bitmap& bitmap, int screenWidth);

    static EncodeInputs inputsOf(const CDlgProgram& editor) {
        return {editor.fonts(), editor.pictures()};
    }

private:
    Segment pictureSegment(const std::vector<PictureRecord>& pictures, int32_t id,
                           bool& found) const;
    Segment temperatureSegment(const ProgramFields& program, const TextRasterizer::Style& style,
                               bool fahrenheit, TemperatureBlock& block, bool& tooLong) const;

    std::unique_ptr<PictureCache> m_ownCache;
    const TextRasterizer& m_rasterizer;
    PictureCache& m_pictures;
};
