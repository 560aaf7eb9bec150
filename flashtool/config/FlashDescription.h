#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "flashtool/config/ConfigResult.h"

namespace vornload {

// The board settings of isd_tools.cfg, with their defaults.
struct FlashSettings {
    // Used when the file has no OSC_FREQ: the board's usual 12 MHz crystal (the
    // oscillator choices include a fixed 12 MHz source).
    static constexpr uint32_t defaultOscFrequency = 12'000'000;

    uint32_t codeStartOffset = 0;
    uint16_t updateIoPin = 0;  // low byte port letter, high byte pin number
    uint16_t updateLedPin = 0;
    std::string updateDeviceName;  // at most 4 characters
    uint32_t flashId = 0;
    uint32_t flashSize = 0;
    uint32_t cfgZoneSize = 0;
    uint32_t writeProtectArg = 0;

    uint32_t spiDataWidth = 0;  // as stored: 4 becomes 3
    uint32_t spiContinuousRead = 0;
    uint32_t spiOutputEnable = 0;
    uint32_t spiCsDeselect = 0;
    uint32_t spiClockDivider = 3;
    uint32_t spiNWireCommand = 0;
    uint32_t spiDummyCycles = 0;
    uint32_t spiInputDelay = 0;
    uint32_t spiCsMode = 1;

    uint32_t pllSelection = 0;  // 0x00, 0x20 or 0x40
    uint32_t oscSelection = 0;  // 0 to 6
    uint32_t oscFrequency = defaultOscFrequency;
    bool oscHighCurrent = false;
    bool oscOnePin = false;

    uint32_t refreshTime = 0;  // ms
    uint32_t refreshCycles = 0;
    uint32_t casLatency = 0;
    uint32_t tRfc = 0;  // ns
    uint32_t tRp = 0;
    uint32_t tRcd = 0;
    uint32_t columnBits = 0;
    uint32_t clockHoldEnable = 0;
    uint32_t tRrd = 0;
    uint32_t clockOutputEnable = 0;
    uint32_t sdramSize = 0;   // MB
    uint32_t sdramClock = 0;  // Hz

    std::optional<uint32_t> uartSelection;  // 4 × p + q
};

// The record the image carries for the loader: 27 little-endian words.
struct SystemConfigRecord {
    static constexpr size_t size = 108;

    uint32_t flashId = 0;
    uint32_t flashSize = 0;
    uint32_t flashFileSize = 0;       // image builder
    uint32_t imageHeaderAddress = 0;  // image builder
    uint32_t spiRunMode = 0;
    uint32_t spiClockDivider = 0;
    uint32_t flashBase = 0;  // image builder
    uint32_t writeProtectArg = 0;
    uint32_t cfgZoneAddress = 0;  // image builder
    uint32_t cfgZoneSize = 0;
    uint32_t refreshCycles = 0;
    uint32_t refreshTime = 0;
    uint32_t casLatency = 0;
    uint32_t tRfc = 0;
    uint32_t tRp = 0;
    uint32_t tRcd = 0;
    uint32_t columnBits = 0;
    uint32_t clockHoldEnable = 0;
    uint32_t tRrd = 0;
    uint32_t clockOutputEnable = 0;
    uint32_t sdramSize = 0;
    uint32_t sdramClock = 0;
    uint32_t pllSelection = 0;
    uint32_t oscFrequency = 0;
    uint32_t reserved = 0;
    uint32_t oscHighCurrent = 0;
    uint32_t oscOnePin = 0;

    std::array<uint8_t, size> toBytes() const;
};

// The 32 bytes written below the RAM loader: eight little-endian words.
struct LoaderArgBlock {
    static constexpr size_t size = 32;
    static constexpr uint32_t validMark = 0xAA55AA55;
    static constexpr uint32_t noUart = 0xFFFFFFFF;

    uint32_t mark = 0;  // validMark once the file was read completely
    uint32_t refreshInterval = 0;
    uint32_t sdramControlWord = 0;
    uint32_t uartSelection = 0;
    uint32_t spiDataWidth = 0;
    uint32_t spiClockDivider = 0;
    uint32_t mode = 0;  // set from the command line
    uint32_t reserved = 0;

    bool valid() const { return mark == validMark; }
    std::array<uint8_t, size> toBytes() const;
};

struct FlashDescription {
    FlashSettings settings;
    uint32_t refreshInterval = 0;
    uint32_t sdramControlWord = 0;
    uint32_t clockWord = 0;
    uint32_t spiWord = 0;
    SystemConfigRecord record;
    LoaderArgBlock loaderArgs;
};

enum class SdramClockSource {
    fromFile,  // command-line run: SDRAM_FAST_CLOCK_RATE decides
    console,   // console commands: always 60 MHz
};

inline constexpr uint32_t consoleSdramClock = 60'000'000;
inline constexpr const char* descriptionFileName = "isd_tools.cfg";

// Reads the description from a file. A file that cannot be opened gives
// code 6 with "open <name>\n". Non-fatal remarks go to `console`; the text of a
// failure or rejection is in the result for the caller to print. `out` starts
// from the defaults; after a failure it holds what was read up to that line and
// an invalid loader block.
ConfigResult readFlashDescription(const std::string& path, SdramClockSource clock,
                                  std::ostream& console, FlashDescription& out);
ConfigResult readFlashDescription(std::istream& in, SdramClockSource clock, std::ostream& console,
                                  FlashDescription& out);

// Computes the derived words, the record and the loader block from settings
// (steps after the last line, without the zone checks).
void deriveFlashDescription(FlashDescription& description);

}  // namespace vornload
