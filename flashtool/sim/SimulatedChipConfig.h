#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vornload {

// The storage a simulated chip carries.
enum class SimMedium {
    spiNor,   // media code 22, 64 KiB blocks, a write can only clear bits
    spiNand,  // media code 23, 128 KiB blocks, a write can only clear bits
    sd,       // media code 16, no erase needed, a write replaces
};

struct SimulatedChipConfig {
    // Bounds on the sizes, so a configuration never asks for absurd memory.
    static constexpr uint32_t maxMediumSize = 256u << 20;
    static constexpr uint32_t maxRamSize = 256u << 20;
    static constexpr uint32_t defaultNorSize = 4u << 20;
    static constexpr uint32_t defaultNandSize = 16u << 20;
    static constexpr uint32_t defaultSdSize = 16u << 20;
    static constexpr uint32_t defaultFlashId = 0xEF4016;

    SimMedium medium = SimMedium::spiNor;
    // Bytes of storage, a whole number of blocks; 0 takes the medium's default.
    uint32_t mediumSize = 0;
    // Answered by the media query instead of the medium's own code: 17 or 18
    // for other SD cards, 0 for "no medium", anything else for an unknown kind.
    std::optional<uint8_t> mediaCode;
    uint32_t flashId = defaultFlashId;
    uint32_t dataFlashId = 0;
    uint32_t ramSize = 8u << 20;

    // The disk's strings without the padding the disk adds (vendor at most 8
    // characters, product at most 16). Any pair other than tz43 + uboot1.00,
    // tz43 + uboot2.00 or qk500 + uboot2.00 needs the mode switch.
    std::string vendor = "qk500";
    std::string product = "uboot2.00";
    // Looks at the bus (list() calls) the chip stays away after the mode switch.
    unsigned switchDelay = 2;

    // When not empty, the medium lives in this file: byte i is byte i of the
    // storage, so a later process sees what an earlier one wrote.
    std::string stateFile;
};

// Reads KIND[,id=HEX][,ident=TEXT][,state=FILE] (the VORNLOAD_SIM variable):
// KIND is nor, nand or sd; id the flash identifier in hexadecimal; ident the
// disk's identification ("tz43uboot1.00", "tz43uboot2.00" and "qk500uboot2.00"
// are the loader's own, any other text needs the mode switch); state the file
// that keeps the medium. `out` is changed only on success.
bool parseSimulatedChip(const std::string& text, SimulatedChipConfig& out, std::string& error);

// Whether vendor + product (case and spaces ignored) is one of the loader's own
// identifications, which answer without the mode switch.
bool isLoaderIdentification(const std::string& vendor, const std::string& product);

}  // namespace vornload
