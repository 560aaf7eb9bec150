#pragma once

#include "flashtool/image/ImageSettings.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace vornload {

// user.app as built: where it is and where its header area starts.
struct ApplicationPackage {
    std::string path;
    uint32_t headerPosition = 0;
    uint32_t size = 0;
};

// zImag.img as built, with the addresses it was laid out at.
struct FlashImage {
    std::string path;
    uint32_t flashFileSize = 0;
    uint32_t packageSize = 0;
    uint32_t imageHeaderAddress = 0;
    uint32_t flashBase = 0;
    uint32_t configZoneAddress = 0;
    uint32_t findRecordAddress = 0;
    uint32_t applicationAddress = 0;
    uint32_t recordAddress = 0;
    // The record with flash file size, image header address, flash base and zone address set.
    std::array<uint8_t, systemConfigSize> systemConfig{};
};

// Where the builders put their files: `tempFolder` gets user.app and zImag.img,
// `currentFolder` the two short-lived pseudo-files of the image.
struct BuildFolders {
    std::string tempFolder;
    std::string currentFolder;
};

// Builds user.app from every image input file but the first.
// Returns 0, 6 (open/create), 11 (name longer than 16, printed first), 1 (bad alignment,
// too large), 8/9 (write/read failure).
int buildApplicationPackage(const std::vector<std::string>& imageInputFiles, uint32_t alignment,
                            const ImageSettings& settings, const std::string& tempFolder,
                            std::ostream& out, ApplicationPackage& package);

// Builds zImag.img from the first image input file, the configuration zone, `package` and the
// system configuration record, printing every step. Codes as above; 1 also for a zone size the
// layout cannot hold.
int buildImage(const std::vector<std::string>& imageInputFiles, const ApplicationPackage& package,
               uint32_t alignment, const ImageSettings& settings, const BuildFolders& folders,
               std::ostream& out, FlashImage& image);

// 0, or 5 after "flash file size(0x%x) > flash size(0x%x)" when the image does not fit.
int checkImageSize(uint32_t flashFileSize, uint32_t flashSize, std::ostream& out);

}  // namespace vornload
