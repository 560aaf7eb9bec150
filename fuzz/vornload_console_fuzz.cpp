// Arbitrary text typed into vornload's boot-loader console, line by line, with
// a small simulated chip attached: every line is parsed and carried out, the
// console ends on "q" or the end of the input, and every command block it sends
// is one the chip's commands define. Files the commands name are made in a
// private folder, emptied before each input so that no input sees another's.
#include "FuzzFolder.h"
#include "flashtool/run/Console.h"
#include "flashtool/run/Run.h"
#include "flashtool/sim/SimulatedChip.h"
#include "flashtool/sim/SimulatedChipConfig.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr size_t maxInput = 4096;
constexpr size_t maxLines = 64;

// The board description the console reads before each command.
constexpr const char* descriptionText =
    "FLASH_DESCRIBE_BEGIN\n"
    "EF4016,W25Q32,4M,1C\n"
    "FLASH_DESCRIBE_END\n"
    "CODE_START_OFFSET = 64K\n"
    "CFG_ZONE_SIZE = 16K\n"
    "FLASH_ID = EF4016\n"
    "FLASH_SIZE = 4M\n"
    "FLASH_WP_ARG = 1C\n"
    "SPI_DATA_WIDTH = 4\n"
    "SPI_IS_CONTINUE_READ = 1\n"
    "SPI_IS_OUTPUT = 1\n"
    "SPI_CS_DESELECT = 2\n"
    "SPI_CLK_DIV = 2\n"
    "SPI_NWIRE_SEND_CMD = 0\n"
    "SPI_DUMMY_CYCLE = 8\n"
    "SPI_INPUT_DELAY = 1\n"
    "SPI_CSMODE = 0\n"
    "PLL = PLL1\n"
    "OSC = OSC1\n"
    "OSC_FREQ = 12M\n"
    "OSC_HC_EN = 1\n"
    "OSC_1PIN_EN = 0\n"
    "SDRAM_REFRESH_TIME = 64/4K\n"
    "SDRAM_CAS_LATENCY = 1\n"
    "SDRAM_TRFC = 60\n"
    "SDRAM_TRP = 18\n"
    "SDRAM_TRCD = 18\n"
    "SDRAM_COLUM = 9\n"
    "SDRAM_CLK_HD_EN = 0\n"
    "SDRAM_TRRD = 12\n"
    "SDRAM_CLKOE = 1\n"
    "SDRAM_SIZE = 16\n"
    "SDRAM_FAST_CLOCK_RATE = 100\n"
    "UART = UART12\n";

// Erases over the whole address space and memory tests of megabytes are bounded
// by the console, but each takes seconds; short ones exercise the same parsing.
bool slow(const std::string& line) {
    const std::string command = line.substr(0, 2);
    if ((command == "es" || command == "eb") && line.size() > 12) return true;
    return command == "mt" && line.find('M') != std::string::npos;
}

// The first lines of the input, without those whose file names could leave
// the private folder, and without the slow ones.
std::string consoleInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), std::min(size, maxInput));
    std::string kept;
    size_t start = 0;
    for (size_t lines = 0; lines < maxLines && start < text.size(); ++lines) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.find('/') == std::string::npos && line.find("..") == std::string::npos &&
            !slow(line))
            kept += line + "\n";
        start = end + 1;
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Only the description file, as written: what one input's commands made or
    // overwrote must not reach the next.
    const fs::path& dir = fuzzfolder::folder();
    fuzzfolder::reset();
    fuzzfolder::writeFile(dir / "isd_tools.cfg", descriptionText);

    // NOR storage of two blocks and 64 KiB of RAM: commands beyond them fail fast.
    vornload::SimulatedChipConfig config;
    config.medium = vornload::SimMedium::spiNor;
    config.mediumSize = 128u << 10;
    config.ramSize = 64u << 10;
    std::string error;
    const std::shared_ptr<vornload::SimulatedChip> chip =
        vornload::SimulatedChip::create(config, error);
    if (!chip) fuzzfolder::harnessFailure("no simulated chip: " + error);
    vornload::SimulatedDiskSource disks(chip);

    std::ostream discard(nullptr);
    vornload::RunEnvironment env;
    env.out = &discard;
    env.notice = &discard;
    env.currentFolder = dir.string();
    env.tempFolder = dir.string();
    env.disks = &disks;
    env.pause = [](uint32_t) {};

    std::istringstream in(consoleInput(data, size));
    const int status = vornload::runConsole(in, env, false);
    if (status < 0) std::abort();

    // The chip checks every block as strictly as the commands are defined:
    // anything it cannot take as one of them is a fault of the console.
    if (chip->counters().unknown != 0) std::abort();
    for (const vornload::SimulatedCommand& command : chip->commandLog())
        if (command.result == EINVAL) std::abort();
    return 0;
}
