#pragma once

#include "flashtool/sim/SimulatedChip.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace simtest {

using vornload::CommandBlock;
using vornload::DataDirection;

// Straight from the polynomial 0x1021, initial value 0, so the blocks of the
// tests do not lean on the library's own table.
inline uint16_t crcByHand(const std::vector<uint8_t>& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if ((((byte >> bit) & 1) != 0) != top) crc ^= 0x1021;
        }
    }
    return crc;
}

// Operation, sub-operation, address big-endian in 2..5, length big-endian in
// 6..7, CRC low byte in 9 and high byte in 10.
inline CommandBlock block(uint8_t op, uint8_t sub, uint32_t address = 0, uint16_t length = 0,
                          uint16_t crc = 0) {
    return {op,
            sub,
            static_cast<uint8_t>(address >> 24),
            static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address),
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length),
            0,
            static_cast<uint8_t>(crc),
            static_cast<uint8_t>(crc >> 8),
            0,
            0,
            0,
            0,
            0};
}

inline std::shared_ptr<vornload::SimulatedChip> makeChip(
    const vornload::SimulatedChipConfig& config = {}) {
    std::string error;
    auto chip = vornload::SimulatedChip::create(config, error);
    EXPECT_TRUE(chip) << error;
    return chip;
}

inline int send(vornload::ScsiTarget& target, const CommandBlock& command, DataDirection direction,
                std::vector<uint8_t>& data) {
    return target.execute(command, direction, data.data(), static_cast<uint32_t>(data.size()),
                          10'000);
}

// Write storage (0xFB 0x04) or RAM (0xFB 0x06) with the right CRC.
inline int write(vornload::ScsiTarget& target, uint8_t sub, uint32_t address,
                 std::vector<uint8_t> data) {
    return send(target,
                block(0xFB, sub, address, static_cast<uint16_t>(data.size()), crcByHand(data)),
                DataDirection::out, data);
}

// Read storage (0xFD 0x05) or RAM (0xFD 0x07); empty when the request failed.
inline std::vector<uint8_t> read(vornload::ScsiTarget& target, uint8_t sub, uint32_t address,
                                 uint16_t length, int* result = nullptr) {
    std::vector<uint8_t> data(length, 0x00);
    const int code = send(target, block(0xFD, sub, address, length), DataDirection::in, data);
    if (result) *result = code;
    return code == 0 ? data : std::vector<uint8_t>{};
}

// A 16-byte answer of an erase, run or media query.
inline std::vector<uint8_t> ask(vornload::ScsiTarget& target, const CommandBlock& command,
                                int* result = nullptr) {
    std::vector<uint8_t> answer(16, 0xEE);
    const int code = send(target, command, DataDirection::in, answer);
    if (result) *result = code;
    return answer;
}

}  // namespace simtest
