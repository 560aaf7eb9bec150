#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vornload {

// What the command line asks for, with the defaults of a run.
struct RunOptions {
    int mode = 0;         // 1 NOR, 2 NAND, 3 SD, 4 disk, 5 read, 6 to a file
    int storageKind = 0;  // of a file image: 3 SPI NOR, 2 SD
    std::string outputFile;
    std::string device = "tz43";
    std::vector<std::string> imageFiles;
    std::vector<std::pair<std::string, uint32_t>> ramDownloads;
    uint32_t alignment = 0x200;
    uint32_t loaderAddress = 0;
    bool loaderAddressGiven = false;
    uint32_t runAddress = 0;
    bool runAddressGiven = false;
    uint32_t divider = 1;
    uint32_t waitMs = 1000;
    bool erase = false;
    int64_t goAddress = -1;
    std::string flashFile;
    uint32_t flashAddress = 0;
    bool dataFlash = false;
    std::string resourceFolder;
    uint32_t resourceAlignment = 512;
    uint32_t readAddress = 0;
    uint64_t readLength = 0;
    int alertMode = 16;  // 16 bell, 17 silent, 18 a visible notice
};

// The outcome of parsing: error 0, or the code to stop with (1: a wrong
// argument, 2: an input file that does not exist).
struct ParseResult {
    int error = 0;
    std::string message;  // printed before stopping
};

// Takes the arguments after the program's name left to right, printing what
// the design prints on the way ("unkonw cmd %s\n", "output file name %s \r\n").
// `exists` tells whether an input file is there.
ParseResult parseRunOptions(const std::vector<std::string>& args, RunOptions& options,
                            std::ostream& out,
                            const std::function<bool(const std::string&)>& exists);

// A number as the options take them: "0x" or "0X" hexadecimal, else decimal;
// with `lowerXOnly` only "0x" selects hexadecimal. What does not parse is 0.
uint32_t parseNumber(const std::string& text, bool lowerXOnly = false);

}  // namespace vornload
