#pragma once

#include "flashtool/image/ImageSettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornload {

inline constexpr size_t packageHeaderSize = 32;
inline constexpr size_t packageEntrySize = 32;
inline constexpr size_t packageNameSize = 16;
inline constexpr uint64_t maxPackageOffset = 0xFFFFFFFFu;  // every offset field is 32 bits
inline constexpr size_t maxPackageEntries = 65535;         // bounds the header area

// Entry types of the image's table; the packages inside it use 0 throughout.
inline constexpr uint8_t entryOther = 0;
inline constexpr uint8_t entryBoot = 1;
inline constexpr uint8_t entryApplication = 2;
inline constexpr uint8_t entryConfiguration = 3;
inline constexpr uint8_t entryExtension = 4;

struct PackageEntry {
    uint8_t type = entryOther;
    uint16_t crc = 0;
    uint32_t position = 0;
    uint32_t length = 0;
    uint32_t index = 0;
    std::array<uint8_t, packageNameSize> name{};
};

uint64_t roundUp(uint64_t value, uint64_t multiple);
void putLe16(uint8_t* at, uint16_t value);
void putLe32(uint8_t* at, uint32_t value);
uint32_t getLe32(const uint8_t* at);

// The part of a path after its last '/'.
std::string baseName(const std::string& path);
std::string asciiLower(std::string text);
std::string joinPath(const std::string& folder, const std::string& name);

// Lower-case name, a zero byte if shorter than 16, the rest 0xFF; false if it has more than 16.
bool encodeEntryName(const std::string& name, std::array<uint8_t, packageNameSize>& out);

// The type of an image entry by its (lower-case) name.
uint8_t imageEntryType(const std::string& lowerName);

// Header, entries and 0xFF up to `areaSize`; the table CRC covers `crcSlots` 32-byte slots.
std::vector<uint8_t> buildHeaderArea(size_t areaSize, const std::vector<PackageEntry>& entries,
                                     size_t crcSlots, uint32_t packageSize,
                                     const ImageSettings& settings);

}  // namespace vornload
