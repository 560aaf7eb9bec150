#pragma once

#include "content/CDlgProgram.h"
#include "content/DeviceImageLayout.h"
#include "content/EncodeContext.h"
#include "content/ProgramEncoder.h"
#include "content/ProgramFields.h"
#include "content/ProgramFieldsReader.h"
#include "project/ScreenRecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The block that carries one screen's programs to the sign: a 100-byte header
// with the program table, one record per program, and the constant digit font.
// Big-endian numbers.
namespace DeviceImage {

using ImageLayout::kDigitFontSize;
using ImageLayout::kHeaderSize;
using ImageLayout::kTableSlots;
inline constexpr size_t kMaxSendLength = ImageLayout::kMaxImageLength;

// 36 columns → 0, 48 → 1, otherwise the width; 11 rows → 0, 12 → 1, 16 → 2, otherwise the height.
uint8_t widthCode(int32_t width);
uint8_t heightCode(int32_t height);
int32_t widthOfCode(uint8_t code);
int32_t heightOfCode(uint8_t code);

// Eleven 8 × 12 glyphs (the digits and a percent sign), 1 = dark.
const std::array<uint8_t, kDigitFontSize>& digitFontBlock();

struct Built {
    std::string bytes;                  // empty when no program produced a record, or too long
    std::vector<std::u16string> names;  // the programs taken, in table order
    // The screen is larger than a sign can be, or a program is longer than a
    // record can hold: nothing was built, rather than an image without it.
    bool tooLong = false;
};

// One program of an image, as the encoder reads it, and its name.
struct Program {
    ProgramFields fields;
    std::u16string name;
};

// The image of the programs, in order, for a screen of that size. Changes
// nothing shared but the encoder's picture cache: any thread may build.
Built build(int32_t width, int32_t height, int32_t playMode, int32_t tempOffset,
            const std::vector<Program>& programs, const EncodeInputs& inputs,
            const ProgramEncoder& programEncoder);

// The programs of an image of the screen: every checked one in key order (or
// only `current`, checked or not), read with the program editor's rules.
std::vector<Program> programsOf(const ScreenRecord& screen, bool currentOnly, ProgramKey current,
                                ProgramFieldsReader& reader);

// The screen's image with what the context holds now.
Built buildScreen(const ScreenRecord& screen, int32_t playMode, int32_t tempOffset,
                  bool currentOnly, ProgramKey current, const EncodeContext& context);

// The same through a loader and an encoder of the caller's (tests and tools):
// the programs are read through `loader`, with its fonts and pictures.
Built build(const ScreenRecord& screen, int32_t playMode, int32_t tempOffset, bool currentOnly,
            ProgramKey current, CDlgProgram& loader, const ProgramEncoder& programEncoder);

}  // namespace DeviceImage
