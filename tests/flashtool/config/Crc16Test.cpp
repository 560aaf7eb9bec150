#include "flashtool/config/Crc16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace {

// Bit by bit, straight from the polynomial, to check the table-driven version.
uint16_t bitwiseCrc(const std::vector<uint8_t>& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((byte >> bit) & 1) != 0;
            const bool top = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (in != top) crc ^= 0x1021;
        }
    }
    return crc;
}

TEST(Crc16Xmodem, StandardCheckValue) {
    constexpr std::string_view text = "123456789";
    EXPECT_EQ(vornload::crc16Xmodem(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
              0x31C3);
    EXPECT_EQ(vornload::crc16Xmodem(nullptr, 0), 0);
}

TEST(Crc16Xmodem, MatchesBitwiseAndContinuesAcrossPieces) {
    std::vector<uint8_t> data;
    uint32_t seed = 0x12345678;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 1103515245u + 12345u;
        data.push_back(static_cast<uint8_t>(seed >> 16));
    }
    for (size_t length : {size_t{1}, size_t{2}, size_t{255}, size_t{256}, data.size()}) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> piece(data.begin(), data.begin() + static_cast<long>(length));
        const uint16_t whole = vornload::crc16Xmodem(piece.data(), piece.size());
        EXPECT_EQ(whole, bitwiseCrc(piece));
        const size_t half = length / 2;
        const uint16_t first = vornload::crc16Xmodem(piece.data(), half);
        EXPECT_EQ(vornload::crc16Xmodem(piece.data() + half, length - half, first), whole);
    }
}

}  // namespace
