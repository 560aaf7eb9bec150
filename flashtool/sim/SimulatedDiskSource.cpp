#include "flashtool/sim/SimulatedDiskSource.h"

#include <cerrno>
#include <utility>

namespace vornload {

namespace {

// An opened disk of the chip, tied to the chip's stay on the bus.
class SimulatedDisk : public ScsiTarget {
public:
    explicit SimulatedDisk(std::shared_ptr<SimulatedChip> chip)
        : m_chip(std::move(chip)), m_generation(m_chip->generation()) {}

    int execute(const CommandBlock& command, DataDirection direction, uint8_t* data,
                uint32_t length, uint32_t timeoutMs) override {
        if (m_chip->generation() != m_generation) return ENODEV;
        return m_chip->execute(command, direction, data, length, timeoutMs);
    }

private:
    std::shared_ptr<SimulatedChip> m_chip;
    uint64_t m_generation;
};

}  // namespace

SimulatedDiskSource::SimulatedDiskSource(std::shared_ptr<SimulatedChip> chip)
    : m_chip(std::move(chip)) {}

std::vector<DiskInfo> SimulatedDiskSource::list() {
    if (!m_chip || !m_chip->lookAtBus()) return {};
    return {m_chip->diskInfo()};
}

std::unique_ptr<ScsiTarget> SimulatedDiskSource::open(const DiskInfo& disk, int& error) {
    if (!m_chip || disk.name != SimulatedChip::diskName || !m_chip->present()) {
        error = ENODEV;
        return nullptr;
    }
    error = 0;
    return std::make_unique<SimulatedDisk>(m_chip);
}

}  // namespace vornload
