#pragma once

#include "flashtool/device/ScsiTarget.h"
#include "flashtool/sim/MediumFile.h"
#include "flashtool/sim/SimulatedChipConfig.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vornload {

// Which of the chip's memories a fault concerns.
enum class SimMemory { storage, ram };

// How an erase that is made to fail shows it.
enum class EraseFault {
    reportsFailure,  // the answer's result byte is non-zero, the data stays
    leavesData,      // the answer says done, but the data stays
};

// How often the chip was asked what. Command counts include requests that
// failed; byte counts only what was really transferred.
struct SimulatedChipCounters {
    unsigned eraseBlock = 0;
    unsigned eraseSector = 0;
    unsigned eraseChip = 0;
    unsigned writeStorage = 0;
    unsigned writeRam = 0;
    unsigned run = 0;
    unsigned readStorage = 0;
    unsigned readRam = 0;
    unsigned mediaQuery = 0;  // the mode switch and the data-flash query included
    unsigned unknown = 0;     // blocks that are none of the chip's commands
    unsigned failed = 0;      // requests that ended with an error number
    uint64_t storageBytesWritten = 0;
    uint64_t ramBytesWritten = 0;
    uint64_t storageBytesRead = 0;
    uint64_t ramBytesRead = 0;
    unsigned blocksErased = 0;  // by erase-block commands that really erased
    unsigned modeSwitches = 0;
};

struct SimulatedRun {
    uint32_t address = 0;
    uint16_t argument = 0;
    bool operator==(const SimulatedRun&) const = default;
};

// One command block as it arrived, with its data phase and what it got.
struct SimulatedCommand {
    CommandBlock block{};
    DataDirection direction = DataDirection::in;
    uint32_t length = 0;
    int result = 0;
};

// The sign's controller chip in its boot loader, as vornload sees it: a disk
// that takes the vendor command blocks, with RAM and one storage medium. It
// checks every block as strictly as the commands are defined (unused bytes must
// be 0, the data phase must match), keeps what it was asked, and fails on
// request. There is no clock: the mode switch's absence is counted in looks at
// the bus. Not thread-safe; the flash tool is single-threaded.
class SimulatedChip : public ScsiTarget {
public:
    // The name the chip's disk is listed under.
    static constexpr const char* diskName = "sim0";
    // Entries the command log keeps; older ones are dropped.
    static constexpr size_t maxLogEntries = size_t{1} << 18;

    // Null with `error` set for a configuration out of bounds or a state file
    // that cannot be used.
    static std::shared_ptr<SimulatedChip> create(const SimulatedChipConfig& config,
                                                 std::string& error);

    int execute(const CommandBlock& command, DataDirection direction, uint8_t* data,
                uint32_t length, uint32_t timeoutMs) override;

    // --- The bus.
    // Whether the chip is on the bus now.
    bool present() const { return m_plugged && !m_away; }
    // One look at the bus (a listing of the disks): false while the chip is
    // away. After the mode switch it misses `switchDelay` looks and arrives
    // at the next one.
    bool lookAtBus();
    // The disk as listed: vendor padded to 8 characters and product to 16 with
    // spaces, as real disks report them.
    DiskInfo diskInfo() const;
    // Changes whenever the chip leaves the bus: a disk opened before stops
    // answering.
    uint64_t generation() const { return m_generation; }
    void unplug();
    void plugIn();

    // --- What it holds.
    const std::vector<uint8_t>& storage() const { return m_storage; }
    const std::vector<uint8_t>& ram() const { return m_ram; }
    uint32_t blockSize() const { return m_blockSize; }
    uint8_t mediaCode() const;
    const std::string& vendor() const { return m_vendor; }
    const std::string& product() const { return m_product; }
    // Puts bytes straight into storage or RAM (replacing, through to the state
    // file), to set a scene; 0 or an error number.
    int plant(SimMemory where, uint32_t address, const std::vector<uint8_t>& bytes);

    // --- What it was asked.
    const SimulatedChipCounters& counters() const { return m_counters; }
    const std::vector<SimulatedRun>& runs() const { return m_runs; }
    const std::deque<SimulatedCommand>& commandLog() const { return m_log; }
    // Forgets counters, runs and the log.
    void clearRecords();

    // --- Faults on request.
    // The next `times` writes to that memory fail with EIO and change nothing.
    void failWrites(SimMemory where, unsigned times);
    // The next `times` reads of that memory longer than `longerThan` bytes fail
    // with EIO; shorter reads go through and do not count.
    void failReads(SimMemory where, unsigned times, uint32_t longerThan = 0);
    // The next `times` erase-block commands fail the given way.
    void failErases(unsigned times, EraseFault how);
    // The block holding `address` never erases, by any erase command.
    void stickBlock(uint32_t address, EraseFault how);
    // Reads of that memory return the byte at `address` XOR `mask`.
    void corruptReads(SimMemory where, uint32_t address, uint8_t mask = 0x01);
    void clearFaults();

private:
    struct ReadFault {
        unsigned times = 0;
        uint32_t longerThan = 0;
    };
    struct Corruption {
        uint32_t address = 0;
        uint8_t mask = 0;
    };
    struct Faults {
        unsigned storageWrites = 0;
        unsigned ramWrites = 0;
        ReadFault storageReads;
        ReadFault ramReads;
        unsigned erases = 0;
        EraseFault eraseHow = EraseFault::reportsFailure;
        std::map<uint32_t, EraseFault> stuckBlocks;  // by block number
        std::optional<Corruption> storageCorruption;
        std::optional<Corruption> ramCorruption;
    };

    explicit SimulatedChip(const SimulatedChipConfig& config);

    int dispatch(const CommandBlock& block, DataDirection direction, uint8_t* data,
                 uint32_t length);
    int eraseBlock(uint32_t address, uint8_t* response);
    int eraseSector(uint32_t address, uint8_t* response);
    int eraseChip(uint8_t* response);
    int eraseRange(uint64_t start, uint64_t length);
    int writeMemory(SimMemory where, uint32_t address, const uint8_t* data, uint32_t length,
                    uint16_t crc);
    int readMemory(SimMemory where, uint32_t address, uint8_t* data, uint32_t length);
    int mediaQuery(uint8_t selector, uint16_t parameter, uint8_t* response);
    int storeStorage(uint64_t address, const uint8_t* bytes, size_t length);
    void leaveBus(unsigned looks);

    SimulatedChipConfig m_config;
    uint32_t m_blockSize = 0;
    std::vector<uint8_t> m_storage;
    std::vector<uint8_t> m_ram;
    MediumFile m_file;
    std::string m_vendor;
    std::string m_product;

    bool m_plugged = true;
    bool m_away = false;
    unsigned m_absentLooks = 0;
    uint64_t m_generation = 0;

    SimulatedChipCounters m_counters;
    std::vector<SimulatedRun> m_runs;
    std::deque<SimulatedCommand> m_log;
    Faults m_faults;
};

}  // namespace vornload
