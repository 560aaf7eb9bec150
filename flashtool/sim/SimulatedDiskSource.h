#pragma once

#include "flashtool/device/ScsiTarget.h"
#include "flashtool/sim/SimulatedChip.h"

#include <memory>
#include <vector>

namespace vornload {

// The USB bus with one simulated chip on it: lists the chip's disk while it is
// there and opens it for commands.
class SimulatedDiskSource : public DiskSource {
public:
    explicit SimulatedDiskSource(std::shared_ptr<SimulatedChip> chip);

    // Each call is one look at the bus, which counts down the chip's absence
    // after a mode switch.
    std::vector<DiskInfo> list() override;

    // A target that sends to the chip; it stops answering (ENODEV) once the
    // chip has left the bus, as a real disk's handle does.
    std::unique_ptr<ScsiTarget> open(const DiskInfo& disk, int& error) override;

    const std::shared_ptr<SimulatedChip>& chip() const { return m_chip; }

private:
    std::shared_ptr<SimulatedChip> m_chip;
};

}  // namespace vornload
