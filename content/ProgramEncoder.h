#pragma once

#include "content/CDlgProgram.h"
#include "content/TextRasterizer.h"
#include "platform/Bitmap.h"
#include "platform/ImageCodec.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Turns the program loaded into an encoder instance into its program record:
// the text split at its codes, each piece rendered, laid out on one line, cut
// into screen-wide pages of LED bits, with the record header, the animation
// table and the temperature block. All numbers big-endian; 0 = lit in page data.
class ProgramEncoder {
public:
    static constexpr int kHeaderSize = 30;
    static constexpr int kBitmapHeaderSize = 5;

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

    ProgramEncoder(const TextRasterizer& rasterizer, platform::ImageCodec& codec)
        : m_rasterizer(rasterizer), m_codec(codec) {}

    // The record of the program loaded in `encoder`; empty when it shows nothing.
    std::string encode(const CDlgProgram& encoder) const;

    // The pieces of the line, in order (kept for the tests and the tools).
    std::vector<Segment> segments(const CDlgProgram& encoder, TemperatureBlock* temperature = nullptr) const;

    // The laid-out line: the bitmap (K × H, K a multiple of W) before packing,
    // and where the placeholders and the temperature field went.
    struct Layout {
        platform::Bitmap bitmap;
        std::vector<std::pair<int32_t, uint8_t>> animations;  // column, number
        bool hasTemperature = false;
        int32_t temperatureColumn = 0;
    };
    Layout layout(const CDlgProgram& encoder, const std::vector<Segment>& segments) const;

    // Pages packed for the sign, inverted (0 = lit), page after page.
    static std::string pages(const platform::Bitmap& bitmap, int screenWidth);

private:
    Segment pictureSegment(const CDlgProgram& encoder, int32_t id, bool& found) const;
    // The decoded picture of a file, decoded again only when the file changed.
    const platform::Bitmap* picture(const std::u16string& path) const;
    Segment temperatureSegment(const CDlgProgram& encoder, const TextRasterizer::Style& style, bool fahrenheit,
                               TemperatureBlock& block) const;

    struct Decoded {
        std::filesystem::file_time_type time;
        uintmax_t size = 0;
        bool loaded = false;
        platform::Bitmap image;
    };

    const TextRasterizer& m_rasterizer;
    platform::ImageCodec& m_codec;
    mutable std::map<std::u16string, Decoded> m_pictures;
};
