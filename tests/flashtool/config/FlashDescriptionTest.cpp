#include "flashtool/config/FlashDescription.h"
#include "flashtool/config/FlashTypeLookup.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

namespace {

using vornload::ConfigResult;
using vornload::ConfigStatus;
using vornload::FlashDescription;
using vornload::FlashSettings;
using vornload::SdramClockSource;

struct Read {
    ConfigResult result;
    FlashDescription description;
    std::string console;
};

Read readText(const std::string& text, SdramClockSource clock = SdramClockSource::fromFile) {
    std::istringstream in(text);
    std::ostringstream console;
    Read read;
    read.result = vornload::readFlashDescription(in, clock, console, read.description);
    read.console = console.str();
    return read;
}

using Getter = std::function<uint32_t(const FlashSettings&)>;

struct LineCase {
    const char* text;
    Getter get;
    uint32_t expected;
    const char* console = "";
    const char* error = nullptr;  // error 1 with this message instead of a value
};

#define FIELD(name) [](const FlashSettings& s) -> uint32_t { return s.name; }
const Getter uart = [](const FlashSettings& s) -> uint32_t {
    return s.uartSelection ? *s.uartSelection : 0xFFFFFFFFu;
};

TEST(FlashDescription, SingleLines) {
    const LineCase cases[] = {
        {"CODE_START_OFFSET=64K", FIELD(codeStartOffset), 65536},
        {"CODE_START_OFFSET=0x10000", FIELD(codeStartOffset), 65536},
        {"CODE_START_OFFSET=0x10K", FIELD(codeStartOffset), 16},
        {"CODE_START_OFFSET=0x1fM", FIELD(codeStartOffset), 31},
        {"code_start_offset = 2m", FIELD(codeStartOffset), 2097152},
        {"CODE_START_OFFSET=4096M", FIELD(codeStartOffset), 0, "",
         "ERROR:CODE_START_OFFSET (4096M) value out of range\n"},
        {"UPDATA_IO_CFG=B12", FIELD(updateIoPin), 0x0C42},
        {"UPDATA_IO_LED=a5", FIELD(updateLedPin), 0x0541},
        {"UPDATA_IO_CFG=B123", FIELD(updateIoPin), 0},
        {"UPDATA_IO_CFG=B", FIELD(updateIoPin), 0},
        {"UPDATA_DEV=ABCDE", FIELD(updateDeviceName.size()), 0, "",
         "ERROR:UPDATA_DEV (ABCDE) name len > 4\n"},
        {"FLASH_ID=ef4016", FIELD(flashId), 0xEF4016},
        {"FLASH_ID=0xC22016", FIELD(flashId), 0xC22016},
        {"FLASH_SIZE=4M", FIELD(flashSize), 4194304},
        {"FLASH_SIZE=512k", FIELD(flashSize), 524288},
        {"FLASH_SIZE=1000", FIELD(flashSize), 1000},
        {"FLASH_SIZE=0x400000", FIELD(flashSize), 0},  // decimal only
        {"FLASH_WP_ARG=1c", FIELD(writeProtectArg), 0x1C},
        {"CFG_ZONE_SIZE=8K", FIELD(cfgZoneSize), 8192},
        {"spi_data_width = 4 ; comment", FIELD(spiDataWidth), 3},
        {"SPI_DATA_WIDTH=3", FIELD(spiDataWidth), 3},
        {"SPI_DATA_WIDTH=2", FIELD(spiDataWidth), 2},
        {"SPI_DATA_WIDTH=5", FIELD(spiDataWidth), 0, "",
         "SPI_DATA_WIDTH err arg 5 ( valid arg is 0 1 2 4)\n"},
        {"SPI_IS_CONTINUE_READ=1", FIELD(spiContinuousRead), 1},
        {"SPI_IS_CONTINUE_READ=2", FIELD(spiContinuousRead), 2,
         "SPI_IS_CONTINUE_READ err arg 2 ( valid arg is 0/1)\n"},
        {"SPI_IS_OUTPUT=3", FIELD(spiOutputEnable), 3,
         "SPI_IS_OUTPUT err arg 3 ( valid arg is 0/1)\n"},
        {"SPI_CS_DESELECT=15", FIELD(spiCsDeselect), 15},
        {"SPI_CS_DESELECT=16", FIELD(spiCsDeselect), 16,
         "SPI_CS_DESELECT err arg 16 ( valid arg is 0 ~ 15)\n"},
        {"SPI_CLK_DIV=255", FIELD(spiClockDivider), 255},
        {"SPI_CLK_DIV=256", FIELD(spiClockDivider), 0, "",
         "SPI_CLK_DIV err arg 256 ( valid arg is 0 ~ 255)\n"},
        {"SPI_NWIRE_SEND_CMD=2", FIELD(spiNWireCommand), 2,
         "SPI_NWIRE_SEND_CMD err arg 2 ( valid arg is 0/1)\n"},
        {"SPI_DUMMY_CYCLE=16", FIELD(spiDummyCycles), 16,
         "SPI_DUMMY_CYCLE err arg 16 ( valid arg is 0-15)\n"},
        {"SPI_INPUT_DELAY=3", FIELD(spiInputDelay), 3},
        {"SPI_INPUT_DELAY=4", FIELD(spiInputDelay), 4,
         "SPI_INPUT_DELAY err arg 4 ( valid arg is 0-3)\n"},
        {"SPI_CSMODE=0", FIELD(spiCsMode), 0},
        {"SPI_CSMODE=2", FIELD(spiCsMode), 2, "SPI_CSMODE err arg 2 ( valid arg is 0/1)\n"},
        {"PLL=PLL1", FIELD(pllSelection), 0x20},
        {"PLL=pll2", FIELD(pllSelection), 0x40},
        {"PLL=PLL3", FIELD(pllSelection), 0, "", "invalid pll configuration\n"},
        {"OSC=OSC2", FIELD(oscSelection), 2},
        {"OSC=OSC_RTC", FIELD(oscSelection), 3},
        {"OSC=HTC", FIELD(oscSelection), 4},
        {"OSC=PLL0_12M", FIELD(oscSelection), 5},
        {"OSC=XOSC", FIELD(oscSelection), 6},
        {"OSC=OSC3", FIELD(oscSelection), 0, "", "invalid OSC configuration\n"},
        {"OSC_FREQ=12M", FIELD(oscFrequency), 12000000},
        {"OSC_FREQ=32768", FIELD(oscFrequency), 32768},
        {"OSC_FREQ=32K", FIELD(oscFrequency), 32000},
        {"OSC_FREQ=51200K", FIELD(oscFrequency), 51200000},
        {"OSC_FREQ=51200001", FIELD(oscFrequency), 0, "", "invalid OSC_FREQ configuration\n"},
        {"OSC_FREQ=52M", FIELD(oscFrequency), 0, "", "invalid OSC_FREQ configuration\n"},
        {"OSC_HC_EN=2", FIELD(oscHighCurrent), 1},
        {"OSC_1PIN_EN=1", FIELD(oscOnePin), 1},
        {"SDRAM_REFRESH_TIME=64/8K", FIELD(refreshCycles), 8192},
        {"SDRAM_REFRESH_TIME=64/8K", FIELD(refreshTime), 64},
        {"SDRAM_REFRESH_TIME=64/4096", FIELD(refreshCycles), 409},
        {"SDRAM_REFRESH_TIME=64", FIELD(refreshTime), 0, "",
         "invalid sdram refresh time configuration\n"},
        {"SDRAM_CAS_LATENCY=3", FIELD(casLatency), 3},
        {"SDRAM_TRFC=70", FIELD(tRfc), 70},
        {"SDRAM_TRP=20", FIELD(tRp), 20},
        {"SDRAM_TRCD=21", FIELD(tRcd), 21},
        {"SDRAM_COLUM=9", FIELD(columnBits), 9},
        {"SDRAM_CLK_HD_EN=1", FIELD(clockHoldEnable), 1},
        {"SDRAM_TRRD=14", FIELD(tRrd), 14},
        {"SDRAM_CLKOE=1", FIELD(clockOutputEnable), 1},
        {"SDRAM_SIZE=32", FIELD(sdramSize), 32},
        {"SDRAM_FAST_CLOCK_RATE=96", FIELD(sdramClock), 96000000},
        {"UART=UART21", uart, 9},
        {"UART=UART33", uart, 15},
        {"UART=UART4", uart, 0xFFFFFFFF},
        {"UART=UART40", uart, 0xFFFFFFFF},
        {"UART=UART21\nUART=UART4", uart, 0xFFFFFFFF},
        // Comments, the skipped flash-type table and unknown lines.
        {"# SPI_CLK_DIV=9", FIELD(spiClockDivider), 3},
        {";SPI_CLK_DIV=9", FIELD(spiClockDivider), 3},
        {"FLASH_DESCRIBE_BEGIN\nSPI_CLK_DIV=9\nFLASH_DESCRIBE_END", FIELD(spiClockDivider), 3},
        {"FOO = 1", FIELD(spiClockDivider), 3, "unkown configuration segmentFOO=1\n"},
        // The first key of the table found anywhere in the line decides; its value
        // runs from the first '='.
        {"XSPI_CLK_DIV=7", FIELD(spiClockDivider), 7},
        {"OSC_FREQ=1MPLL=PLL1", FIELD(pllSelection), 0, "", "invalid pll configuration\n"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.text);
        // A large code start keeps the zone check out of the way.
        const Read read = readText(std::string("CODE_START_OFFSET=1M\n") + c.text + "\n");
        EXPECT_EQ(read.console, c.console);
        if (c.error) {
            EXPECT_EQ(read.result.status, ConfigStatus::failed);
            EXPECT_EQ(read.result.code, vornload::isdErrArg);
            EXPECT_EQ(read.result.message, c.error);
            EXPECT_EQ(read.result.line, 2u);
            EXPECT_FALSE(read.description.loaderArgs.valid());
        } else {
            EXPECT_TRUE(read.result.ok()) << read.result.message;
            EXPECT_EQ(c.get(read.description.settings), c.expected);
            EXPECT_TRUE(read.description.loaderArgs.valid());
        }
    }
}

TEST(FlashDescription, DeviceNameIsUpperCase) {
    const Read read = readText("UPDATA_DEV=qk5");
    EXPECT_TRUE(read.result.ok());
    EXPECT_EQ(read.description.settings.updateDeviceName, "QK5");
}

TEST(FlashDescription, ValueErrorStopsAtItsLine) {
    const Read read = readText("FLASH_ID=12\nSPI_CLK_DIV=300\nFLASH_SIZE=4M\n");
    EXPECT_EQ(read.result.status, ConfigStatus::failed);
    EXPECT_EQ(read.result.line, 2u);
    EXPECT_EQ(read.description.settings.flashId, 0x12u);
    EXPECT_EQ(read.description.settings.flashSize, 0u);
    EXPECT_FALSE(read.description.loaderArgs.valid());
}

TEST(FlashDescription, OverlongLineIsAnError) {
    const Read read = readText("FLASH_ID=" + std::string(5000, '1') + "\n");
    EXPECT_EQ(read.result.status, ConfigStatus::failed);
    EXPECT_EQ(read.result.code, vornload::isdErrArg);
    EXPECT_EQ(read.result.message, "ERROR:line 1 longer than 4096 characters\n");
}

TEST(FlashDescription, MissingFile) {
    std::ostringstream console;
    FlashDescription description;
    const ConfigResult result = vornload::readFlashDescription(
        "/nonexistent/isd_tools.cfg", SdramClockSource::fromFile, console, description);
    EXPECT_EQ(result.code, vornload::isdErrOpenFileFail);
    EXPECT_EQ(result.message, "open /nonexistent/isd_tools.cfg\n");
}

TEST(FlashDescription, ConfigurationZoneChecks) {
    const struct {
        const char* text;
        ConfigStatus status;
        const char* message;
    } cases[] = {
        {"CFG_ZONE_SIZE=64K\nCODE_START_OFFSET=32K", ConfigStatus::rejected,
         "ERROR:cfg_zone_size 0x(10000) >= g_code_start_offset 0x(8000)"},
        {"CFG_ZONE_SIZE=32K\nCODE_START_OFFSET=32K", ConfigStatus::rejected,
         "ERROR:cfg_zone_size 0x(8000) >= g_code_start_offset 0x(8000)"},
        {"CFG_ZONE_SIZE=4K", ConfigStatus::rejected,
         "ERROR:cfg_zone_size 0x(1000) >= g_code_start_offset 0x(0)"},
        {"CFG_ZONE_SIZE=6000\nCODE_START_OFFSET=64K", ConfigStatus::rejected,
         "ERROR:cfg_zone_size 0x(1770) is not a multiple of 0x(1000)\n"},
        {"CFG_ZONE_SIZE=2000\nCODE_START_OFFSET=64K", ConfigStatus::ok, ""},
        {"CFG_ZONE_SIZE=8K\nCODE_START_OFFSET=64K", ConfigStatus::ok, ""},
        {"CODE_START_OFFSET=64K", ConfigStatus::ok, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Read read = readText(c.text);
        EXPECT_EQ(read.result.status, c.status);
        EXPECT_EQ(read.result.message, c.message);
        // The file was read to its end either way.
        EXPECT_TRUE(read.description.loaderArgs.valid());
    }
}

constexpr const char* fullFile =
    "; board description\n"
    "FLASH_DESCRIBE_BEGIN\n"
    "EF4016,FLASHA,4M,0\n"
    "FLASH_DESCRIBE_END\n"
    "CODE_START_OFFSET=64K\n"
    "CFG_ZONE_SIZE=16K\n"
    "FLASH_ID=EF4016\n"
    "FLASH_SIZE=4M\n"
    "FLASH_WP_ARG=1C\n"
    "SPI_DATA_WIDTH=4\n"
    "SPI_IS_CONTINUE_READ=1\n"
    "SPI_IS_OUTPUT=1\n"
    "SPI_CS_DESELECT=2\n"
    "SPI_CLK_DIV=2\n"
    "SPI_NWIRE_SEND_CMD=0\n"
    "SPI_DUMMY_CYCLE=8\n"
    "SPI_INPUT_DELAY=1\n"
    "SPI_CSMODE=0\n"
    "PLL=PLL1\n"
    "OSC=OSC1\n"
    "OSC_FREQ=12M\n"
    "OSC_HC_EN=1\n"
    "OSC_1PIN_EN=0\n"
    "SDRAM_REFRESH_TIME=64/4K\n"
    "SDRAM_CAS_LATENCY=1\n"
    "SDRAM_TRFC=60\n"
    "SDRAM_TRP=18\n"
    "SDRAM_TRCD=18\n"
    "SDRAM_COLUM=9\n"
    "SDRAM_CLK_HD_EN=0\n"
    "SDRAM_TRRD=12\n"
    "SDRAM_CLKOE=1\n"
    "SDRAM_SIZE=16\n"
    "SDRAM_FAST_CLOCK_RATE=100\n"
    "UART=UART12\n";

std::vector<uint8_t> littleEndian(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> bytes;
    for (uint32_t w : words) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    return bytes;
}

TEST(FlashDescription, DerivedWordsOfAFullFile) {
    const Read read = readText(fullFile);
    ASSERT_TRUE(read.result.ok()) << read.result.message;
    EXPECT_EQ(read.console, "");
    const FlashDescription& d = read.description;
    // 100 MHz: 100000 kHz × 64 ms / 4096 = 1562.5, rounded up.
    EXPECT_EQ(d.refreshInterval, 1563u);
    // Period 10 ns: tRFC 60 → 5, tRP 18 → 1, tRCD 18 → 1, tRRD 12 → 1.
    // 0x10000 | 0x2000 | 0x100 | 0x40 | 0x14 | 0x2 | 0x400 | 0x1001 | 0x40000
    EXPECT_EQ(d.sdramControlWord, 0x00053557u);
    // OSC1 1 | 8 | 100 << 8 | PLL1 0x20 | 120 << 16 | (6 << 28) | 0x80 | 2 << 25
    EXPECT_EQ(d.clockWord, 0x647864A9u);
    // width 3 | 4 | 8 | 2 << 5
    EXPECT_EQ(d.spiWord, 0x4Fu);

    const std::vector<uint8_t> record = littleEndian({
        0xEF4016, 4194304, 0,    0,  0x304F, 2,         0,    0x1C,               // 0..28
        0,        16384,   4096, 64, 1,      60,        18,   18,                 // 32..60
        9,        0,       12,   1,  16,     100000000, 0x20, 12000000, 0, 1, 0,  // 64..104
    });
    const auto recordBytes = d.record.toBytes();
    EXPECT_EQ(std::vector<uint8_t>(recordBytes.begin(), recordBytes.end()), record);

    const std::vector<uint8_t> block = littleEndian({0xAA55AA55, 1563, 0x00053557, 6, 3, 2, 0, 0});
    const auto blockBytes = d.loaderArgs.toBytes();
    EXPECT_EQ(std::vector<uint8_t>(blockBytes.begin(), blockBytes.end()), block);
}

TEST(FlashDescription, ConsoleUsesItsFixedSdramClock) {
    const Read read = readText(fullFile, SdramClockSource::console);
    ASSERT_TRUE(read.result.ok());
    const FlashDescription& d = read.description;
    // 60000 kHz × 64 / 4096 = 937.5 → 938.
    EXPECT_EQ(d.refreshInterval, 938u);
    // Period 16.67 ns: tRFC 60 → 3, tRP 18 → 1, tRCD 18 → 1, tRRD 12 → 0.
    EXPECT_EQ(d.sdramControlWord, 0x0004354Fu);
    EXPECT_EQ(d.clockWord, 0x64783CA9u);
    EXPECT_EQ(d.record.sdramClock, 60000000u);
}

TEST(FlashDescription, EmptyFileGivesTheDefaults) {
    const Read read = readText("");
    ASSERT_TRUE(read.result.ok());
    const FlashDescription& d = read.description;
    EXPECT_EQ(d.settings.oscFrequency, 12000000u);
    EXPECT_EQ(d.record.oscFrequency, 12000000u);
    // SPI divider 3 << 25 | 120 << 16; no UART, no SDRAM clock.
    EXPECT_EQ(d.clockWord, 0x06780000u);
    // Column bits 0: (0 − 8) << 10 wraps to 0xFFFFE000, | 0x1001; timings of 0 give 0 cycles.
    EXPECT_EQ(d.sdramControlWord, 0xFFFFF001u);
    EXPECT_EQ(d.refreshInterval, 0u);
    // chip-select mode 1: ((1 << 2) << 4) << 9
    EXPECT_EQ(d.record.spiRunMode, 0x8000u);
    EXPECT_EQ(d.loaderArgs.uartSelection, 0xFFFFFFFFu);
    EXPECT_EQ(d.loaderArgs.spiClockDivider, 3u);
}

TEST(FlashDescription, LowOscillatorFrequencyStaysOutOfTheClockWord) {
    const Read rtc = readText("OSC_FREQ=32768\nSPI_CLK_DIV=0");
    EXPECT_EQ(rtc.description.clockWord, 0u);
    const Read other = readText("OSC_FREQ=32769\nSPI_CLK_DIV=0");
    EXPECT_EQ(other.description.clockWord, 0u);  // 32769 / 100000 = 0
    const Read crystal = readText("OSC_FREQ=24M\nSPI_CLK_DIV=0");
    EXPECT_EQ(crystal.description.clockWord, 240u << 16);
}

}  // namespace

// The example that ships with the program reads without a word and names its flash.
TEST(FlashDescription, TheShippedExampleIsWhole) {
    const std::string file = std::string(ZENTARI_SOURCE_DIR) + "/data/QK510/isd_tools.cfg";
    std::ostringstream console;
    vornload::FlashDescription description;
    const auto result = vornload::readFlashDescription(file, vornload::SdramClockSource::fromFile,
                                                       console, description);
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(description.settings.flashId, 0xEF4016u);
    EXPECT_EQ(description.settings.flashSize, 4u << 20);
    EXPECT_EQ(description.settings.codeStartOffset, 64u << 10);
    const auto type = vornload::lookupFlashType(file, 0xEF4016, console);
    ASSERT_TRUE(type);
    EXPECT_EQ(type->name, "W25Q32");
    EXPECT_EQ(type->capacity, 4u << 20);
}
