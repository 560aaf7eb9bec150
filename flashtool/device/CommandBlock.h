#pragma once

#include "flashtool/device/ScsiTarget.h"

#include <cstddef>
#include <cstdint>

namespace vornload {

// The chip's vendor command blocks: operation and sub-operation, a big-endian
// address in bytes 2 … 5, a big-endian length or argument in bytes 6 and 7, the
// CRC of the data sent low byte first in bytes 9 and 10, everything else 0.
namespace command {

inline constexpr uint8_t write = 0xFB;
inline constexpr uint8_t read = 0xFD;
inline constexpr uint8_t query = 0xFC;

inline constexpr uint8_t eraseBlockOp = 0x00;
inline constexpr uint8_t eraseSectorOp = 0x01;
inline constexpr uint8_t eraseChipOp = 0x02;
inline constexpr uint8_t writeStorageOp = 0x04;
inline constexpr uint8_t writeRamOp = 0x06;
inline constexpr uint8_t runOp = 0x08;
inline constexpr uint8_t readStorageOp = 0x05;
inline constexpr uint8_t readRamOp = 0x07;
inline constexpr uint8_t mediaQueryOp = 0x0A;

CommandBlock eraseBlock(uint32_t address);
CommandBlock eraseSector(uint32_t address);
CommandBlock eraseChip();
CommandBlock writeStorage(uint32_t address, const uint8_t* data, uint16_t length);
CommandBlock writeRam(uint32_t address, const uint8_t* data, uint16_t length);
CommandBlock run(uint32_t address, uint16_t argument);
CommandBlock readStorage(uint32_t address, uint16_t length);
CommandBlock readRam(uint32_t address, uint16_t length);
CommandBlock mediaQuery(uint8_t selector, uint16_t parameter);

}  // namespace command

// The answers of the commands with a 16-byte data phase.
inline constexpr uint32_t responseSize = 16;

}  // namespace vornload
