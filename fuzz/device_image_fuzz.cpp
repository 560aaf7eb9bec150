// Arbitrary bytes as a device image: read it, then touch every LED of every
// page and every field the reader offers.
#include "device/DeviceImageReader.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto image =
        DeviceImageReader::read(std::string_view(reinterpret_cast<const char*>(data), size));
    unsigned lit = 0;
    for (const auto& r : image.records) {
        const int columns = r.columns;
        for (int c = 0; c < columns && c < 4096; ++c)
            for (int y = 0; y < image.height && y < 256; ++y)
                lit += r.lit(c, y, image.width, image.height) ? 1 : 0;
        for (const auto& a : r.animations)
            lit += a.column + a.number;
        if (r.hasTemperature) {
            for (char c : r.temperature.glyphs)
                lit += static_cast<unsigned char>(c);
        }
    }
    return lit == 0xFFFFFFFFu ? 1 : 0;
}
