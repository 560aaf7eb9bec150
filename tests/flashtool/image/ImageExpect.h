#pragma once

// Hand-written encoders of the package format, independent of the builder's own.

#include <cstdint>
#include <string>
#include <vector>

namespace imagetest {

using Bytes = std::vector<uint8_t>;

// CRC-16/XMODEM bit by bit: poly 0x1021, init 0, no reflection, no final XOR.
inline uint16_t bitCrc(const uint8_t* data, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}
inline uint16_t bitCrc(const Bytes& b) {
    return bitCrc(b.data(), b.size());
}

inline void le16(Bytes& b, size_t at, uint16_t v) {
    b.at(at) = v & 0xFF;
    b.at(at + 1) = v >> 8;
}
inline void le32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = (v >> (8 * i)) & 0xFF;
}
inline void put(Bytes& b, size_t at, const Bytes& what) {
    for (size_t i = 0; i < what.size(); ++i)
        b.at(at + i) = what[i];
}

// 16 name bytes: the name, a zero if shorter than 16, then 0xFF.
inline Bytes nameField(const std::string& lower) {
    Bytes n(16, 0xFF);
    for (size_t i = 0; i < lower.size(); ++i)
        n[i] = static_cast<uint8_t>(lower[i]);
    if (lower.size() < 16) n[lower.size()] = 0;
    return n;
}

inline void entry(Bytes& b, size_t areaAt, size_t index, uint8_t type, uint16_t crc,
                  uint32_t position, uint32_t length, const Bytes& name) {
    const size_t at = areaAt + 32 + 32 * index;
    b.at(at) = type;
    b.at(at + 1) = 0;
    le16(b, at + 2, crc);
    le32(b, at + 4, position);
    le32(b, at + 8, length);
    le32(b, at + 12, static_cast<uint32_t>(index));
    put(b, at + 16, name);
}

struct Words {
    uint32_t sdramControl, refreshInterval, runAddress, clockWord, spiWord;
};

// Fills the 32-byte header at `areaAt`; the entries must be in place already.
inline void header(Bytes& b, size_t areaAt, uint32_t count, size_t crcBytes, uint32_t size,
                   const Words& w) {
    le16(b, areaAt + 2, bitCrc(b.data() + areaAt + 32, crcBytes));
    le32(b, areaAt + 4, size);
    le32(b, areaAt + 8, w.sdramControl);
    le32(b, areaAt + 12, count);
    le32(b, areaAt + 16, w.refreshInterval);
    le32(b, areaAt + 20, w.runAddress);
    le32(b, areaAt + 24, w.clockWord);
    le32(b, areaAt + 28, w.spiWord);
    le16(b, areaAt, bitCrc(b.data() + areaAt + 2, 30));
}

inline Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return b;
}

}  // namespace imagetest
