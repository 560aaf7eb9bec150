#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vornload {

// Result codes of the builders; the numbers are the error reporter's codes.
namespace imagecode {
inline constexpr int ok = 0;
inline constexpr int badArgument = 1;   // ISD_ERR_ARG: a layout the chip cannot use
inline constexpr int diskMismatch = 5;  // ISD_ERR_DISK_MISMACH: image larger than the flash
inline constexpr int openFailed = 6;    // ISD_ERR_OPEN_FILE_FAIL
inline constexpr int writeFailed = 8;   // ISD_ERR_WRITE_FILE_FAIL
inline constexpr int readFailed = 9;    // ISD_ERR_READ_FILE_FAIL
inline constexpr int nameTooLong = 11;  // ISD_ERR_FILE_NAME_TOO_LONG
}  // namespace imagecode

inline constexpr size_t systemConfigSize = 108;

// What the builders take from the description file and the command line.
struct ImageSettings {
    // The four derived words that every package header carries.
    uint32_t refreshInterval = 0;
    uint32_t sdramControl = 0;
    uint32_t clockWord = 0;
    uint32_t spiWord = 0;
    uint32_t runAddress = 0;  // "-runaddr"

    uint32_t codeStartOffset = 0;
    uint32_t configZoneSize = 0;
    uint16_t updateIoPin = 0;
    uint16_t updateLedPin = 0;
    std::array<uint8_t, 5> updateDeviceName{};  // zero-terminated, at most 4 characters

    // The system configuration record as it stands before the image is built (little-endian).
    std::array<uint8_t, systemConfigSize> systemConfig{};
};

}  // namespace vornload
