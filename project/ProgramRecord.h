#pragma once

#include <cstdint>
#include <map>
#include <string>

// The content settings of a program: text keys ("TextContent", "Font", ...) to
// text values, in key order.
using SettingsMap = std::map<std::u16string, std::u16string>;

// One program of a screen: its placement fields and its content settings.
struct ProgramRecord {
    int32_t checked = 1;
    int32_t OffsetX = 0;
    int32_t OffsetY = 0;
    int32_t StretchH = 0;
    int32_t StretchV = 0;
    int32_t PitchOffSet = 0;
    int32_t AutoAdjust = 0;
    std::u16string name;
    SettingsMap settings;

    bool operator==(const ProgramRecord&) const = default;
};
