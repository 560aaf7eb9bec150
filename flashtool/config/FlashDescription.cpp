#include "flashtool/config/FlashDescription.h"

#include <cmath>
#include <fstream>
#include <string_view>

#include "flashtool/config/ConfigText.h"

namespace vornload {

using configtext::format;
using configtext::leadingDecimal;
using configtext::leadingHex;
using configtext::maxWord;

namespace {

constexpr uint32_t cfgZoneGranule = 4096;

enum class Key {
    codeStartOffset,
    updateIoCfg,
    updateIoLed,
    updateDev,
    flashId,
    flashSize,
    flashWpArg,
    cfgZoneSize,
    spiDataWidth,
    spiContinueRead,
    spiOutput,
    spiCsDeselect,
    spiClkDiv,
    spiNWireCmd,
    spiDummyCycle,
    spiInputDelay,
    spiCsMode,
    pll,
    osc,
    oscFreq,
    oscHcEn,
    osc1PinEn,
    sdramRefreshTime,
    sdramCasLatency,
    sdramTrfc,
    sdramTrp,
    sdramTrcd,
    sdramColum,
    sdramClkHdEn,
    sdramTrrd,
    sdramClkOe,
    sdramSize,
    sdramFastClockRate,
    uart,
};

struct KeyName {
    std::string_view text;
    Key key;
};

// The order matters: the first name found anywhere in a line decides.
constexpr KeyName keyNames[] = {
    {"CODE_START_OFFSET=", Key::codeStartOffset},
    {"UPDATA_IO_CFG=", Key::updateIoCfg},
    {"UPDATA_IO_LED=", Key::updateIoLed},
    {"UPDATA_DEV=", Key::updateDev},
    {"FLASH_ID=", Key::flashId},
    {"FLASH_SIZE=", Key::flashSize},
    {"FLASH_WP_ARG=", Key::flashWpArg},
    {"CFG_ZONE_SIZE=", Key::cfgZoneSize},
    {"SPI_DATA_WIDTH=", Key::spiDataWidth},
    {"SPI_IS_CONTINUE_READ=", Key::spiContinueRead},
    {"SPI_IS_OUTPUT=", Key::spiOutput},
    {"SPI_CS_DESELECT=", Key::spiCsDeselect},
    {"SPI_CLK_DIV=", Key::spiClkDiv},
    {"SPI_NWIRE_SEND_CMD=", Key::spiNWireCmd},
    {"SPI_DUMMY_CYCLE=", Key::spiDummyCycle},
    {"SPI_INPUT_DELAY=", Key::spiInputDelay},
    {"SPI_CSMODE=", Key::spiCsMode},
    {"PLL=", Key::pll},
    {"OSC=", Key::osc},
    {"OSC_FREQ=", Key::oscFreq},
    {"OSC_HC_EN=", Key::oscHcEn},
    {"OSC_1PIN_EN=", Key::osc1PinEn},
    {"SDRAM_REFRESH_TIME=", Key::sdramRefreshTime},
    {"SDRAM_CAS_LATENCY=", Key::sdramCasLatency},
    {"SDRAM_TRFC=", Key::sdramTrfc},
    {"SDRAM_TRP=", Key::sdramTrp},
    {"SDRAM_TRCD=", Key::sdramTrcd},
    {"SDRAM_COLUM=", Key::sdramColum},
    {"SDRAM_CLK_HD_EN=", Key::sdramClkHdEn},
    {"SDRAM_TRRD=", Key::sdramTrrd},
    {"SDRAM_CLKOE=", Key::sdramClkOe},
    {"SDRAM_SIZE=", Key::sdramSize},
    {"SDRAM_FAST_CLOCK_RATE=", Key::sdramFastClockRate},
    {"UART=", Key::uart},
};

const KeyName* findKey(std::string_view line) {
    for (const KeyName& name : keyNames) {
        if (line.find(name.text) != std::string_view::npos) return &name;
    }
    return nullptr;
}

// Decimal with an optional K or M suffix, which is removed before reading.
uint64_t decimalWithUnit(std::string_view text, uint64_t kilo, uint64_t mega) {
    uint64_t factor = 1;
    if (!text.empty() && text.back() == 'K') {
        factor = kilo;
        text.remove_suffix(1);
    } else if (!text.empty() && text.back() == 'M') {
        factor = mega;
        text.remove_suffix(1);
    }
    return leadingDecimal(text) * factor;
}

// "A5", "B12": port letter in the low byte, pin number in the high byte.
void readPin(std::string_view value, uint16_t& pin) {
    if (value.size() != 2 && value.size() != 3) return;
    const auto number = static_cast<uint16_t>(leadingDecimal(value.substr(1)));
    pin = static_cast<uint16_t>(static_cast<unsigned char>(value[0]) | (number << 8));
}

class LineReader {
public:
    LineReader(FlashSettings& settings, std::ostream& console)
        : m_s(settings), m_console(console) {}

    // Returns false with m_error set when the value stops the run.
    bool apply(Key key, std::string_view keyName, std::string_view value) {
        switch (key) {
            case Key::codeStartOffset: {
                uint64_t v;
                if (value.size() >= 2 && value[0] == '0' && value[1] == 'X') {
                    std::string_view digits = value.substr(2);
                    // A unit after a hexadecimal number is dropped, not applied.
                    if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'M')) {
                        digits.remove_suffix(1);
                    }
                    v = leadingHex(digits);
                } else {
                    v = decimalWithUnit(value, 1024, 1048576);
                }
                return store(keyName, value, v, m_s.codeStartOffset);
            }
            case Key::updateIoCfg:
                readPin(value, m_s.updateIoPin);
                return true;
            case Key::updateIoLed:
                readPin(value, m_s.updateLedPin);
                return true;
            case Key::updateDev:
                if (value.size() > 4) {
                    return fail(format("ERROR:UPDATA_DEV (%.*s) name len > 4\n",
                                       static_cast<int>(value.size()), value.data()));
                }
                m_s.updateDeviceName = std::string(value);
                return true;
            case Key::flashId:
                return store(keyName, value, leadingHex(value), m_s.flashId);
            case Key::flashSize:
                return store(keyName, value, decimalWithUnit(value, 1024, 1048576), m_s.flashSize);
            case Key::flashWpArg:
                return store(keyName, value, leadingHex(value), m_s.writeProtectArg);
            case Key::cfgZoneSize:
                return store(keyName, value, decimalWithUnit(value, 1024, 1048576),
                             m_s.cfgZoneSize);
            case Key::spiDataWidth: {
                uint32_t v;
                if (!decimal(keyName, value, v)) return false;
                if (v > 4) {
                    return fail(format("SPI_DATA_WIDTH err arg %u ( valid arg is 0 1 2 4)\n", v));
                }
                m_s.spiDataWidth = v == 4 ? 3 : v;
                return true;
            }
            case Key::spiContinueRead:
                return kept(keyName, value, 1,
                            "SPI_IS_CONTINUE_READ err arg %u ( valid arg is 0/1)\n",
                            m_s.spiContinuousRead);
            case Key::spiOutput:
                return kept(keyName, value, 1, "SPI_IS_OUTPUT err arg %u ( valid arg is 0/1)\n",
                            m_s.spiOutputEnable);
            case Key::spiCsDeselect:
                return kept(keyName, value, 15,
                            "SPI_CS_DESELECT err arg %u ( valid arg is 0 ~ 15)\n",
                            m_s.spiCsDeselect);
            case Key::spiClkDiv: {
                uint32_t v;
                if (!decimal(keyName, value, v)) return false;
                if (v > 255) {
                    return fail(format("SPI_CLK_DIV err arg %u ( valid arg is 0 ~ 255)\n", v));
                }
                m_s.spiClockDivider = v;
                return true;
            }
            case Key::spiNWireCmd:
                return kept(keyName, value, 1,
                            "SPI_NWIRE_SEND_CMD err arg %u ( valid arg is 0/1)\n",
                            m_s.spiNWireCommand);
            case Key::spiDummyCycle:
                return kept(keyName, value, 15, "SPI_DUMMY_CYCLE err arg %u ( valid arg is 0-15)\n",
                            m_s.spiDummyCycles);
            case Key::spiInputDelay:
                return kept(keyName, value, 3, "SPI_INPUT_DELAY err arg %u ( valid arg is 0-3)\n",
                            m_s.spiInputDelay);
            case Key::spiCsMode:
                return kept(keyName, value, 1, "SPI_CSMODE err arg %u ( valid arg is 0/1)\n",
                            m_s.spiCsMode);
            case Key::pll:
                if (value == "PLL0") {
                    m_s.pllSelection = 0x00;
                } else if (value == "PLL1") {
                    m_s.pllSelection = 0x20;
                } else if (value == "PLL2") {
                    m_s.pllSelection = 0x40;
                } else {
                    return fail("invalid pll configuration\n");
                }
                return true;
            case Key::osc: {
                static constexpr std::string_view sources[] = {
                    "OSC0", "OSC1", "OSC2", "OSC_RTC", "HTC", "PLL0_12M", "XOSC"};
                for (uint32_t i = 0; i < std::size(sources); ++i) {
                    if (value == sources[i]) {
                        m_s.oscSelection = i;
                        return true;
                    }
                }
                return fail("invalid OSC configuration\n");
            }
            case Key::oscFreq: {
                const uint64_t v = decimalWithUnit(value, 1000, 1000000);
                if (v > 51'200'000) return fail("invalid OSC_FREQ configuration\n");
                m_s.oscFrequency = static_cast<uint32_t>(v);
                return true;
            }
            case Key::oscHcEn: {
                uint32_t v;
                if (!decimal(keyName, value, v)) return false;
                m_s.oscHighCurrent = v != 0;
                return true;
            }
            case Key::osc1PinEn: {
                uint32_t v;
                if (!decimal(keyName, value, v)) return false;
                m_s.oscOnePin = v != 0;
                return true;
            }
            case Key::sdramRefreshTime: {
                const size_t slash = value.find('/');
                if (slash == std::string_view::npos) {
                    return fail("invalid sdram refresh time configuration\n");
                }
                uint32_t time;
                if (!store(keyName, value, leadingDecimal(value), time)) return false;
                // The count's last character is a unit or the last digit; it goes either way.
                std::string_view count = value.substr(slash + 1);
                uint64_t factor = 1;
                if (!count.empty()) {
                    if (count.back() == 'K') factor = 1024;
                    count.remove_suffix(1);
                }
                uint32_t cycles;
                if (!store(keyName, value, leadingDecimal(count) * factor, cycles)) return false;
                m_s.refreshTime = time;
                m_s.refreshCycles = cycles;
                return true;
            }
            case Key::sdramCasLatency:
                return decimal(keyName, value, m_s.casLatency);
            case Key::sdramTrfc:
                return decimal(keyName, value, m_s.tRfc);
            case Key::sdramTrp:
                return decimal(keyName, value, m_s.tRp);
            case Key::sdramTrcd:
                return decimal(keyName, value, m_s.tRcd);
            case Key::sdramColum:
                return decimal(keyName, value, m_s.columnBits);
            case Key::sdramClkHdEn:
                return decimal(keyName, value, m_s.clockHoldEnable);
            case Key::sdramTrrd:
                return decimal(keyName, value, m_s.tRrd);
            case Key::sdramClkOe:
                return decimal(keyName, value, m_s.clockOutputEnable);
            case Key::sdramSize:
                return decimal(keyName, value, m_s.sdramSize);
            case Key::sdramFastClockRate:
                return store(keyName, value, leadingDecimal(value) * 1'000'000, m_s.sdramClock);
            case Key::uart:
                m_s.uartSelection.reset();
                if (value.size() == 6 && value.substr(0, 4) == "UART" && value[4] >= '0' &&
                    value[4] <= '3' && value[5] >= '0' && value[5] <= '3') {
                    m_s.uartSelection =
                        static_cast<uint32_t>(4 * (value[4] - '0') + (value[5] - '0'));
                }
                return true;
        }
        return true;
    }

    std::string takeError() { return std::move(m_error); }

private:
    bool fail(std::string message) {
        m_error = std::move(message);
        return false;
    }

    // Every number must fit the 32-bit field it goes into; a larger one would
    // silently wrap into a different size or offset.
    bool store(std::string_view keyName, std::string_view value, uint64_t v, uint32_t& target) {
        if (v > maxWord) {
            keyName.remove_suffix(1);  // the '='
            return fail(format("ERROR:%.*s (%.*s) value out of range\n",
                               static_cast<int>(keyName.size()), keyName.data(),
                               static_cast<int>(value.size()), value.data()));
        }
        target = static_cast<uint32_t>(v);
        return true;
    }

    bool decimal(std::string_view keyName, std::string_view value, uint32_t& target) {
        return store(keyName, value, leadingDecimal(value), target);
    }

    // Out-of-range values that are only reported and then used as they are.
    bool kept(std::string_view keyName, std::string_view value, uint32_t limit, const char* message,
              uint32_t& target) {
        uint32_t v;
        if (!decimal(keyName, value, v)) return false;
        if (v > limit) {
            m_console << format(message, v);
        }
        target = v;
        return true;
    }

    FlashSettings& m_s;
    std::ostream& m_console;
    std::string m_error;
};

uint32_t saturatedCeil(double value) {
    if (!(value > 0)) return 0;
    const double up = std::ceil(value);
    return up >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(up);
}

// Cycles for an SDRAM timing: ceil(ns ÷ period) − 1, never below 0 (a timing of
// 0 would otherwise set every high bit of the control word).
uint32_t timingCycles(uint32_t nanoseconds, double period) {
    if (period <= 0) return 0;
    const uint32_t cycles = saturatedCeil(nanoseconds / period);
    return cycles == 0 ? 0 : cycles - 1;
}

void putWord(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace

std::array<uint8_t, SystemConfigRecord::size> SystemConfigRecord::toBytes() const {
    const uint32_t words[] = {flashId,
                              flashSize,
                              flashFileSize,
                              imageHeaderAddress,
                              spiRunMode,
                              spiClockDivider,
                              flashBase,
                              writeProtectArg,
                              cfgZoneAddress,
                              cfgZoneSize,
                              refreshCycles,
                              refreshTime,
                              casLatency,
                              tRfc,
                              tRp,
                              tRcd,
                              columnBits,
                              clockHoldEnable,
                              tRrd,
                              clockOutputEnable,
                              sdramSize,
                              sdramClock,
                              pllSelection,
                              oscFrequency,
                              reserved,
                              oscHighCurrent,
                              oscOnePin};
    static_assert(sizeof(words) == size);
    std::array<uint8_t, size> out{};
    for (size_t i = 0; i < std::size(words); ++i)
        putWord(out.data() + 4 * i, words[i]);
    return out;
}

std::array<uint8_t, LoaderArgBlock::size> LoaderArgBlock::toBytes() const {
    const uint32_t words[] = {mark,          refreshInterval, sdramControlWord,
                              uartSelection, spiDataWidth,    spiClockDivider,
                              mode,          reserved};
    static_assert(sizeof(words) == size);
    std::array<uint8_t, size> out{};
    for (size_t i = 0; i < std::size(words); ++i)
        putWord(out.data() + 4 * i, words[i]);
    return out;
}

void deriveFlashDescription(FlashDescription& d) {
    const FlashSettings& s = d.settings;
    SystemConfigRecord& r = d.record;

    r.refreshCycles = s.refreshCycles;
    r.refreshTime = s.refreshTime;
    r.casLatency = s.casLatency;
    r.tRfc = s.tRfc;
    r.tRp = s.tRp;
    r.tRcd = s.tRcd;
    r.columnBits = s.columnBits;
    r.clockHoldEnable = s.clockHoldEnable;
    r.tRrd = s.tRrd;
    r.clockOutputEnable = s.clockOutputEnable;
    r.sdramSize = s.sdramSize;
    r.sdramClock = s.sdramClock;

    // Without a cycle count or a clock there is nothing to refresh by: 0.
    const double clockKHz = static_cast<double>(s.sdramClock / 1000);
    d.refreshInterval =
        s.refreshCycles == 0 ? 0 : saturatedCeil(clockKHz * s.refreshTime / s.refreshCycles);

    const double period = s.sdramClock == 0 ? 0.0 : 1e9 / static_cast<double>(s.sdramClock);
    const uint32_t rfc = timingCycles(s.tRfc, period);
    const uint32_t rp = timingCycles(s.tRp, period);
    const uint32_t rcd = timingCycles(s.tRcd, period);
    const uint32_t rrd = timingCycles(s.tRrd, period);
    uint32_t control = (rrd << 16) | (s.clockOutputEnable << 13) | (rcd << 8) | (rp << 6) |
                       (rfc << 2) | (s.casLatency << 1) | ((s.columnBits - 8u) << 10) | 0x1001u;
    switch (s.sdramSize) {
        case 16:
            control |= 0x40000;
            break;
        case 8:
            control |= 0x80000;
            break;
        case 4:
            control |= 0xC0000;
            break;
        default:
            break;
    }
    d.sdramControlWord = control;

    uint32_t clock = s.oscSelection | (s.oscHighCurrent ? 8u : 0u) | (s.oscOnePin ? 0x10u : 0u) |
                     ((s.sdramClock / 1'000'000) << 8) | s.pllSelection | (s.spiClockDivider << 25);
    if (s.oscFrequency != 32768) clock |= (s.oscFrequency / 100'000) << 16;
    if (s.uartSelection) clock |= (*s.uartSelection << 28) | 0x80;
    d.clockWord = clock;

    d.spiWord = s.spiDataWidth | (s.spiContinuousRead ? 4u : 0u) | (s.spiOutputEnable ? 8u : 0u) |
                (s.spiNWireCommand ? 0x10u : 0u) | (s.spiCsDeselect << 5);

    r.spiRunMode =
        (((((s.spiCsMode << 2) | s.spiInputDelay) << 4) | s.spiDummyCycles) << 9) | d.spiWord;
    r.spiClockDivider = s.spiClockDivider;
    r.pllSelection = s.pllSelection;
    r.oscFrequency = s.oscFrequency;
    r.oscHighCurrent = s.oscHighCurrent ? 1 : 0;
    r.oscOnePin = s.oscOnePin ? 1 : 0;
    r.flashId = s.flashId;
    r.flashSize = s.flashSize;
    r.writeProtectArg = s.writeProtectArg;
    r.cfgZoneSize = s.cfgZoneSize;

    LoaderArgBlock& b = d.loaderArgs;
    b.mark = LoaderArgBlock::validMark;
    b.refreshInterval = d.refreshInterval;
    b.sdramControlWord = d.sdramControlWord;
    b.uartSelection = s.uartSelection ? *s.uartSelection : LoaderArgBlock::noUart;
    b.spiDataWidth = s.spiDataWidth;
    b.spiClockDivider = s.spiClockDivider;
}

ConfigResult readFlashDescription(std::istream& in, SdramClockSource clock, std::ostream& console,
                                  FlashDescription& out) {
    out = FlashDescription{};
    LineReader reader(out.settings, console);
    bool inTable = false;
    unsigned lineNumber = 0;
    std::string raw;
    bool tooLong = false;
    while (configtext::readLine(in, raw, tooLong)) {
        ++lineNumber;
        if (tooLong) {
            return {ConfigStatus::failed, isdErrArg,
                    format("ERROR:line %u longer than %zu characters\n", lineNumber,
                           configtext::maxLineLength),
                    lineNumber};
        }
        const std::string line = configtext::prepareLine(raw);
        if (configtext::isSkipped(line)) continue;
        if (inTable) {
            if (line == "FLASH_DESCRIBE_END") inTable = false;
            continue;
        }
        if (line == "FLASH_DESCRIBE_BEGIN") {
            inTable = true;
            continue;
        }
        const KeyName* key = findKey(line);
        if (!key) {
            console << format("unkown configuration segment%s\n", line.c_str());
            continue;
        }
        const std::string_view text(line);
        const std::string_view value = text.substr(text.find('=') + 1);
        if (!reader.apply(key->key, key->text, value)) {
            return {ConfigStatus::failed, isdErrArg, reader.takeError(), lineNumber};
        }
    }

    if (clock == SdramClockSource::console) out.settings.sdramClock = consoleSdramClock;
    deriveFlashDescription(out);

    const FlashSettings& s = out.settings;
    if (s.cfgZoneSize != 0 && s.cfgZoneSize >= s.codeStartOffset) {
        return {ConfigStatus::rejected, isdErrNone,
                format("ERROR:cfg_zone_size 0x(%x) >= g_code_start_offset 0x(%x)", s.cfgZoneSize,
                       s.codeStartOffset),
                0};
    }
    // The zone is erased and written in 4 KiB flash sectors; a larger zone that
    // ends inside a sector would share it with the code behind it.
    if (s.cfgZoneSize >= cfgZoneGranule && s.cfgZoneSize % cfgZoneGranule != 0) {
        return {ConfigStatus::rejected, isdErrNone,
                format("ERROR:cfg_zone_size 0x(%x) is not a multiple of 0x(%x)\n", s.cfgZoneSize,
                       cfgZoneGranule),
                0};
    }
    return {};
}

ConfigResult readFlashDescription(const std::string& path, SdramClockSource clock,
                                  std::ostream& console, FlashDescription& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        out = FlashDescription{};
        return {ConfigStatus::failed, isdErrOpenFileFail, format("open %s\n", path.c_str()), 0};
    }
    return readFlashDescription(file, clock, console, out);
}

}  // namespace vornload
