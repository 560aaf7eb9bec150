#include "flashtool/config/Crc16.h"

#include <array>

namespace vornload {

namespace {

// tables[k][b]: the CRC of byte b followed by k zero bytes, so that eight bytes
// are folded in at once (an image is megabytes, and each byte passes through here).
using Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables t{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        t[0][byte] = crc;
    }
    for (size_t k = 1; k < t.size(); ++k)
        for (unsigned byte = 0; byte < 256; ++byte) {
            const uint16_t prev = t[k - 1][byte];
            t[k][byte] = static_cast<uint16_t>((prev << 8) ^ t[0][prev >> 8]);
        }
    return t;
}

constexpr Tables tables = makeTables();

}  // namespace

uint16_t crc16Xmodem(const uint8_t* data, size_t length, uint16_t crc) {
    const auto& t = tables;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const uint8_t* d = data + i;
        crc =
            static_cast<uint16_t>(t[7][(crc >> 8) ^ d[0]] ^ t[6][(crc & 0xFF) ^ d[1]] ^ t[5][d[2]] ^
                                  t[4][d[3]] ^ t[3][d[4]] ^ t[2][d[5]] ^ t[1][d[6]] ^ t[0][d[7]]);
    }
    for (; i < length; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ t[0][((crc >> 8) ^ data[i]) & 0xFF]);
    }
    return crc;
}

}  // namespace vornload
