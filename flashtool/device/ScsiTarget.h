#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vornload {

using CommandBlock = std::array<uint8_t, 16>;

enum class DataDirection {
    in,   // device to host
    out,  // host to device
};

// Ten seconds, as every request of the chip is sent.
inline constexpr uint32_t scsiTimeoutMs = 10'000;

// One opened disk that takes the chip's vendor command blocks.
class ScsiTarget {
public:
    virtual ~ScsiTarget() = default;

    // Sends one command block with its data phase of `length` bytes at `data`.
    // Returns 0 when the request went through, else an error number (errno style).
    // The SCSI status is not part of the result: the chip answers in the data.
    virtual int execute(const CommandBlock& command, DataDirection direction, uint8_t* data,
                        uint32_t length, uint32_t timeoutMs) = 0;
};

// A removable USB disk as the system lists it.
struct DiskInfo {
    std::string name;    // "sdb", or the simulated chip's name
    std::string vendor;  // as the disk reports them, spaces kept
    std::string product;
};

// Where the chip may be found: the removable USB disks, and a way to open one.
class DiskSource {
public:
    virtual ~DiskSource() = default;

    // The removable disks on the USB bus, in the order of their names.
    virtual std::vector<DiskInfo> list() = 0;

    // Opens a listed disk for commands; null with `error` set when it cannot be.
    virtual std::unique_ptr<ScsiTarget> open(const DiskInfo& disk, int& error) = 0;
};

}  // namespace vornload
