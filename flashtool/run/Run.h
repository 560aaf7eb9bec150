#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace vornload {

class DiskSource;

// What a run works with besides its arguments.
struct RunEnvironment {
    std::ostream* out = nullptr;     // every line of the run
    std::ostream* notice = nullptr;  // the visible notice of alert mode 18
    // isd_tools.cfg, qk500loader.bin, cv_isd.bin and no_isd_file live here, and
    // relative names on the command line are taken from here.
    std::string currentFolder = ".";
    std::string tempFolder;       // see userTempFolder()
    DiskSource* disks = nullptr;  // null: no chip can be reached
    std::function<void(uint32_t ms)> pause;
};

// One run of the command line (the arguments after the program's name); returns
// the exit status.
int runCommandLine(const std::vector<std::string>& args, const RunEnvironment& env);

// The places reported in "down err @ line %d : %d": one fixed number per site.
namespace place {
inline constexpr int descriptionFile = 100;
inline constexpr int arguments = 110;
inline constexpr int flashType = 120;
inline constexpr int storageKind = 130;
inline constexpr int resources = 140;
inline constexpr int application = 150;
inline constexpr int image = 160;
inline constexpr int imageSize = 170;
inline constexpr int outputFile = 180;
inline constexpr int noIsdFile = 190;
inline constexpr int deviceNeeded = 200;
inline constexpr int modeSwitch = 210;
inline constexpr int loader = 220;
inline constexpr int mediaQuery = 230;
inline constexpr int readBack = 240;
inline constexpr int ramDownload = 250;
inline constexpr int writeImage = 260;
inline constexpr int dataFlash = 270;
inline constexpr int writeFlashFile = 280;
inline constexpr int go = 290;
}  // namespace place

}  // namespace vornload
