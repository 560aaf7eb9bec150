#pragma once

#include "project/ProgramRecord.h"

#include <string>

// The settings of a program in 12-pixel Arial, red on black, speed 4, stop time 3:
// what the encoder tests start from; each adds or overrides what it looks at.
inline SettingsMap arialSettings(std::u16string text, const SettingsMap& extra = {}) {
    SettingsMap settings = {{u"TextContent", std::move(text)},
                            {u"Font", u"Arial"},
                            {u"FontSize", u"12"},
                            {u"Color1", u"255"},
                            {u"Color2", u"0"},
                            {u"Speed", u"4"},
                            {u"StopTime", u"3"}};
    for (const auto& [key, value] : extra)
        settings[key] = value;
    return settings;
}
