#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads a device image back, checking every offset and length against the
// bytes there are. A damaged image is read as far as it is sound; `problem`
// names the first thing wrong.
class DeviceImageReader {
public:
    struct Animation {
        uint16_t column = 0;
        uint8_t number = 0;
    };
    struct Temperature {
        uint16_t length = 0;
        uint8_t fieldWidth = 0;
        uint16_t column = 0;
        uint8_t unit = 0;
        uint8_t minusWidth = 0;
        uint16_t minusLengthPlus5 = 0;
        uint8_t digitCell = 0;
        uint16_t largestDigitPlus5 = 0;
        uint16_t minusOffset = 0;
        uint16_t digitOffsets[10] = {};
        std::string_view glyphs;  // inverted strips, minus then digits
    };
    struct Record {
        uint32_t offset = 0;  // from the start of the image
        size_t slot = 0;      // its entry in the program table, from 0
        uint16_t length = 0;
        uint8_t effect = 0, speed = 0, stopTime = 0, flicker = 0, border = 0, borderSpeed = 0;
        uint8_t redBackground = 0, formatMark = 0;
        uint32_t bitmapOffset = 0, animationOffset = 0, temperatureOffset = 0;
        uint16_t bitmapLength = 0;
        uint16_t columns = 0;
        std::string_view pageData;  // inverted: 0 = lit
        uint8_t placeholderSize = 0;
        std::vector<Animation> animations;
        bool hasTemperature = false;
        Temperature temperature;
        // Whether the LED at (column, row) of the program's bitmap is lit.
        bool lit(int column, int row, int screenWidth, int screenHeight) const;
    };
    struct Image {
        uint8_t widthCode = 0, heightCode = 0;
        int32_t width = 0, height = 0;
        uint8_t playMode = 0;
        int8_t temperatureCorrection = 0;
        uint32_t imageLength = 0;
        uint8_t count = 0;
        std::vector<uint32_t> offsets;
        std::vector<Record> records;
        bool hasDigitFont = false;
        std::string problem;  // empty when everything checked out
    };

    static Image read(std::string_view bytes);
};
