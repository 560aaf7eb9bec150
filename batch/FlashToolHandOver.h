#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace batch {

// Signs that must be written by the flash tool get their firmware through a
// working copy of the program's chip folder: the firmware goes in as
// "sdram.app" and the folder's script runs vornload.
inline constexpr const char* kChipFolderName = "QK510";
inline constexpr const char* kFirmwareCopyName = "sdram.app";
inline constexpr const char* kChipScriptName = "r_makebin.sh";
// The only firmware file the chip folder's script writes.
inline constexpr const char* kFlashToolFirmwareName = "NT03.bin";

// Whether the path's file name (after its last "\" or "/") is "NT03.bin" in any
// letter case.
bool isFlashToolFirmware(const std::string& path);

struct HandOver {
    enum Outcome {
        prepared,       // the folder is ready: start the script in `chipFolder`
        noFirmware,     // the firmware file is not there: nothing to do
        invalidName,    // show "InvalidFile"
        nothingToCopy,  // the program's chip folder holds no file: nothing to do
        failed,         // a copy failed, with the reason in `error`
    };
    Outcome outcome = noFirmware;
    std::filesystem::path chipFolder;  // the working chip folder
    std::string error;
};

// Refreshes the working chip folder (data folder + "QK510") from the program's
// (files directly inside it replace those of the same name, the user's own stay,
// sub-folders are left out) and copies the firmware to "sdram.app". Every file
// is written whole or not at all, so a failed copy keeps the older one; a copy
// that failed stops the hand-over, since the script would write stale firmware.
HandOver prepareFlashToolFolder(const std::filesystem::path& firmware,
                                const std::filesystem::path& programFolder,
                                const std::filesystem::path& dataFolder);

// What the script needs besides this program's environment: VORNLOAD naming the
// vornload beside this program (or in the program folder) when there is one, so
// a build tree that is not installed works too; else the PATH's is used.
std::vector<std::string> flashToolEnvironment(const std::filesystem::path& programFolder);

}  // namespace batch
