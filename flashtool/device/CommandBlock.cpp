#include "flashtool/device/CommandBlock.h"

#include "flashtool/config/Crc16.h"

namespace vornload::command {

namespace {

CommandBlock block(uint8_t operation, uint8_t sub, uint32_t address = 0, uint16_t value = 0) {
    CommandBlock b{};
    b[0] = operation;
    b[1] = sub;
    b[2] = static_cast<uint8_t>(address >> 24);
    b[3] = static_cast<uint8_t>(address >> 16);
    b[4] = static_cast<uint8_t>(address >> 8);
    b[5] = static_cast<uint8_t>(address);
    b[6] = static_cast<uint8_t>(value >> 8);
    b[7] = static_cast<uint8_t>(value);
    return b;
}

CommandBlock withCrc(CommandBlock b, const uint8_t* data, uint16_t length) {
    const uint16_t crc = length ? crc16Xmodem(data, length) : 0;
    b[9] = static_cast<uint8_t>(crc);
    b[10] = static_cast<uint8_t>(crc >> 8);
    return b;
}

}  // namespace

CommandBlock eraseBlock(uint32_t address) {
    return block(write, eraseBlockOp, address);
}
CommandBlock eraseSector(uint32_t address) {
    return block(write, eraseSectorOp, address);
}
CommandBlock eraseChip() {
    return block(write, eraseChipOp);
}
CommandBlock writeStorage(uint32_t address, const uint8_t* data, uint16_t length) {
    return withCrc(block(write, writeStorageOp, address, length), data, length);
}
CommandBlock writeRam(uint32_t address, const uint8_t* data, uint16_t length) {
    return withCrc(block(write, writeRamOp, address, length), data, length);
}
CommandBlock run(uint32_t address, uint16_t argument) {
    return block(write, runOp, address, argument);
}
CommandBlock readStorage(uint32_t address, uint16_t length) {
    return block(read, readStorageOp, address, length);
}
CommandBlock readRam(uint32_t address, uint16_t length) {
    return block(read, readRamOp, address, length);
}
CommandBlock mediaQuery(uint8_t selector, uint16_t parameter) {
    CommandBlock b = block(query, mediaQueryOp, 0, parameter);
    b[2] = selector;
    return b;
}

}  // namespace vornload::command
