#pragma once

#include "project/ProgramRecord.h"

#include <cstdint>
#include <map>
#include <string>

// A program key: screen id × 65536 + program id.
using ProgramKey = uint32_t;
using ScreenId = uint16_t;

inline constexpr ProgramKey programKey(ScreenId screen, uint16_t program) {
    return static_cast<ProgramKey>(screen) << 16 | program;
}
inline constexpr ScreenId screenOfKey(uint32_t data) {
    return static_cast<ScreenId>(data >> 16);
}
// Tree data below 65536 names a screen, anything else a program.
inline constexpr bool isProgramKey(uint32_t data) {
    return data >= 65536;
}

// One screen: a configured sign and its programs in key order.
struct ScreenRecord {
    int32_t width = 44;
    int32_t height = 11;
    int32_t baseColor = 0;
    std::u16string name;
    std::map<ProgramKey, ProgramRecord> programs;

    bool operator==(const ScreenRecord&) const = default;
};
