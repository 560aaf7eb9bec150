#pragma once

#include "assets/PictureRecord.h"
#include "platform/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

// One program as the encoder and the rasterizer read it: its text, its look and
// its place on a screen of a given size. A plain value, made on the window's
// thread and encoded on any.
struct ProgramFields {
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    std::u16string text;

    std::u16string face;
    int32_t fontSize = 0;  // pixels
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    platform::ColorRef color = 0x0000FF;
    platform::ColorRef background = 0x000000;
    bool redBackground = false;  // the background list's value is Red

    int32_t offsetX = 0;
    int32_t offsetY = 0;
    int32_t pitchOffset = 0;
    bool autoAdjust = false;

    // The selected list values; -1 for a list without a selection.
    int32_t effect = -1;
    int32_t speed = -1;
    int32_t stopTime = -1;
    int32_t border = -1;
    int32_t borderSpeed = -1;
    bool flicker = false;

    bool operator==(const ProgramFields&) const = default;
};

// A font of the font list: system fonts have value 0; bitmap fonts carry a
// marker byte, their cell size and their index (see the font files).
struct FontEntry {
    std::u16string name;
    uint32_t value = 0;

    bool operator==(const FontEntry&) const = default;
};

// What every program of an image is encoded against: the font list the faces
// are looked up in and the picture library the picture codes name.
struct EncodeInputs {
    std::vector<FontEntry> fontList;
    std::vector<PictureRecord> pictures;
};
