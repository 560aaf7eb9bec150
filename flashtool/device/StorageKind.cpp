#include "flashtool/device/StorageKind.h"

#include <initializer_list>

namespace vornload {

namespace {

constexpr uint8_t modeBits(std::initializer_list<int> modes) {
    uint8_t bits = 0;
    for (int m : modes)
        bits = static_cast<uint8_t>(bits | (1u << m));
    return bits;
}

constexpr StorageKindInfo kinds[] = {
    {storageSd, 65536, "SD online\n", modeBits({3, 4, 5, 6})},
    {storageSpiNor, 65536, "SPI nor flash online\n", modeBits({1, 4, 5, 6})},
    {storageSpiNand, 131072, "SPI nand flash online\n", modeBits({2, 4, 5, 6})},
};

}  // namespace

const StorageKindInfo* storageKindInfo(int kind) {
    for (const StorageKindInfo& k : kinds)
        if (k.kind == kind) return &k;
    return nullptr;
}

int storageKindOfMediaCode(int mediaCode) {
    if (mediaCode >= 16 && mediaCode <= 18) return storageSd;
    if (mediaCode == 22) return storageSpiNor;
    if (mediaCode == 23) return storageSpiNand;
    return mediaCode;
}

}  // namespace vornload
