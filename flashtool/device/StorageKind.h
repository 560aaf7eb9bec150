#pragma once

#include <cstdint>

namespace vornload {

// Storage kinds as the media query names them.
inline constexpr int storageSd = 2;
inline constexpr int storageSpiNor = 3;
inline constexpr int storageSpiNand = 4;

struct StorageKindInfo {
    int kind = 0;
    uint32_t blockSize = 0;
    const char* message = "";
    uint8_t modes = 0;  // bit n: mode n may use it

    bool allows(int mode) const { return mode >= 0 && mode < 8 && (modes >> mode) & 1; }
};

// The kind's block size, line and modes; null for a kind no mode accepts.
const StorageKindInfo* storageKindInfo(int kind);

// The kind of a media code of the query: 16 … 18 SD, 22 SPI NOR, 23 SPI NAND;
// any other code is kept as it is.
int storageKindOfMediaCode(int mediaCode);

}  // namespace vornload
