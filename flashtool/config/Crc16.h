#pragma once

#include <cstddef>
#include <cstdint>

namespace vornload {

// CRC-16 with polynomial 0x1021, initial value 0, no reflection and no final
// inversion. Pass the previous result as `crc` to continue over several pieces.
uint16_t crc16Xmodem(const uint8_t* data, size_t length, uint16_t crc = 0);

}  // namespace vornload
