#pragma once

#include "flashtool/device/ScsiTarget.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

namespace vornload {

struct MediaAnswer {
    int mediaCode = 0;  // 0: no medium
    uint32_t identifier = 0;
};

// The controller chip as one run uses it: its commands, and the downloads and
// writes built on them. Every operation returns 0 or an error number: the
// target's own, 1 for a wrong answer or a difference found by verifying, or the
// codes each operation names.
class Chip {
public:
    Chip(std::unique_ptr<ScsiTarget> target, std::string identification, std::ostream& out);

    const std::string& identification() const { return m_identification; }
    int storageKind() const { return m_storageKind; }
    uint32_t blockSize() const { return m_blockSize; }
    // The kind of storage the run uses, which decides the block size.
    void setStorageKind(int kind);

    int mediaQuery(uint8_t selector, uint16_t parameter, MediaAnswer& answer);
    int eraseBlock(uint32_t address);
    int eraseSector(uint32_t address);
    int eraseChip();
    int readStorage(uint32_t address, uint8_t* data, uint16_t length);
    int readRam(uint32_t address, uint8_t* data, uint16_t length);
    // Less than 512 bytes go out padded to 512 with 0xFF.
    int writeStorage(uint32_t address, const uint8_t* data, uint16_t length);
    int writeRam(uint32_t address, const uint8_t* data, uint16_t length);
    int run(uint32_t address, uint16_t argument);

    // The file into RAM in 512-byte pieces, followed by zeros up to the next
    // multiple of 512 above its length, then read back and compared when `verify`.
    // 6 when the file cannot be read.
    int downloadFile(const std::string& path, uint32_t address, bool verify);

    // Erases (unless on SD, when `erase`), writes and reads back one block's data.
    int writeBlockVerified(const uint8_t* data, uint32_t address, uint32_t length, bool erase);

    // Writes an image to storage, only the blocks that differ from the image
    // written last (`work` + ".bak") unless `erase`; `work` + ".dump" holds the
    // blocks to write. `zoneEnd` is the configuration zone's address plus its
    // size: the find record, which tells two layouts apart. 1, 2 or 3 as its
    // steps say.
    int writeImage(const std::string& file, bool erase, uint32_t address, uint32_t zoneEnd,
                   const std::string& work);

    // Largest file downloadFile takes: well beyond any chip's RAM.
    static constexpr uint64_t maxDownload = 64u << 20;

private:
    int request(const CommandBlock& command, DataDirection direction, uint8_t* data,
                uint32_t length);
    int answered(const CommandBlock& command, uint8_t sub, bool resultInByte2);
    // Reads in pieces that shrink after a failed read (63, then 4 less each time),
    // giving up at 16 bytes or after `maxFailures`; `report` prints "B " and "C ".
    int readShrinking(bool ram, uint32_t address, uint8_t* data, uint32_t length, int maxFailures,
                      bool report);
    int eraseChecked(uint32_t blockAddress, uint32_t checkOffset, int attempts, int& failure);

    std::unique_ptr<ScsiTarget> m_target;
    std::string m_identification;
    std::ostream& m_out;
    int m_storageKind = 0;
    uint32_t m_blockSize = 65536;
};

// Looks for the chip among the disks, by one name or several separated by ';',
// printing every disk's identification ("QK500" for a "tz43" one). Null when none
// matches. A disk that matches but cannot be opened is named on `notice` with the
// reason, since nothing else would tell the user why the chip stays offline.
std::unique_ptr<Chip> findChip(DiskSource& disks, const std::string& names, std::ostream& out,
                               std::ostream& notice);

// Vendor followed by product, in lower case, every space removed.
std::string identificationOf(const DiskInfo& disk);

}  // namespace vornload
