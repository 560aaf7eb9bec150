#include "flashtool/sim/SimulatedChip.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "flashtool/config/Crc16.h"

namespace vornload {

namespace {

constexpr size_t responseLength = 16;
constexpr uint32_t sectorSize = 512;
constexpr uint8_t eraseFailed = 1;
constexpr uint8_t dataFlashSelector = 0x83;
constexpr uint8_t switchSelector = 3;
constexpr uint16_t switchParameter = 0x4016;

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Every byte of the block outside the command's own fields must be 0.
bool onlyFields(const CommandBlock& block, std::initializer_list<size_t> used) {
    for (size_t i = 2; i < block.size(); ++i) {
        if (block[i] != 0 && std::find(used.begin(), used.end(), i) == used.end()) return false;
    }
    return true;
}

bool isDiskText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c <= '~'; });
}

std::string padded(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

bool within(uint64_t address, uint64_t length, size_t size) {
    return address <= size && length <= size - address;
}

}  // namespace

std::shared_ptr<SimulatedChip> SimulatedChip::create(const SimulatedChipConfig& config,
                                                     std::string& error) {
    SimulatedChipConfig checked = config;
    const uint32_t blockSize = config.medium == SimMedium::spiNand ? 131072 : 65536;
    if (checked.mediumSize == 0) {
        checked.mediumSize = config.medium == SimMedium::spiNor    ? checked.defaultNorSize
                             : config.medium == SimMedium::spiNand ? checked.defaultNandSize
                                                                   : checked.defaultSdSize;
    }
    if (checked.mediumSize > SimulatedChipConfig::maxMediumSize ||
        checked.mediumSize % blockSize != 0) {
        error = "the medium size must be a whole number of " + std::to_string(blockSize) +
                "-byte blocks, at most " + std::to_string(SimulatedChipConfig::maxMediumSize);
        return nullptr;
    }
    if (checked.ramSize == 0 || checked.ramSize > SimulatedChipConfig::maxRamSize) {
        error = "the RAM size must be 1 to " + std::to_string(SimulatedChipConfig::maxRamSize) +
                " bytes";
        return nullptr;
    }
    if (checked.vendor.size() > 8 || checked.product.size() > 16 ||
        checked.vendor.size() + checked.product.size() == 0 || !isDiskText(checked.vendor) ||
        !isDiskText(checked.product)) {
        error =
            "the disk strings need printable characters without spaces, vendor at most 8 "
            "and product at most 16";
        return nullptr;
    }
    std::shared_ptr<SimulatedChip> chip(new SimulatedChip(checked));
    if (!checked.stateFile.empty() &&
        !chip->m_file.open(checked.stateFile, chip->m_storage, error)) {
        return nullptr;
    }
    return chip;
}

SimulatedChip::SimulatedChip(const SimulatedChipConfig& config)
    : m_config(config),
      m_blockSize(config.medium == SimMedium::spiNand ? 131072 : 65536),
      m_storage(config.mediumSize, 0xFF),
      m_ram(config.ramSize),
      m_vendor(config.vendor),
      m_product(config.product) {
    // RAM holds a pattern rather than zeros, so that a download that never
    // arrived cannot read back as the zeros a caller padded with.
    for (size_t i = 0; i < m_ram.size(); ++i) {
        m_ram[i] = static_cast<uint8_t>(0xA5 ^ (i & 0xFF) ^ ((i >> 9) & 0xFF));
    }
}

int SimulatedChip::execute(const CommandBlock& command, DataDirection direction, uint8_t* data,
                           uint32_t length, uint32_t timeoutMs) {
    static_cast<void>(timeoutMs);  // the chip answers at once
    if (!present()) return ENODEV;
    int result =
        (length > 0 && data == nullptr) ? EINVAL : dispatch(command, direction, data, length);
    if (result != 0) ++m_counters.failed;
    if (m_log.size() >= maxLogEntries) m_log.pop_front();
    m_log.push_back({command, direction, length, result});
    return result;
}

int SimulatedChip::dispatch(const CommandBlock& block, DataDirection direction, uint8_t* data,
                            uint32_t length) {
    const uint32_t address = be32(&block[2]);
    const uint16_t count = be16(&block[6]);
    const uint16_t crc = static_cast<uint16_t>(block[9] | (block[10] << 8));
    const bool answerFits = direction == DataDirection::in && length >= responseLength;
    const bool dataIn = direction == DataDirection::in && length >= count;
    const bool dataOut = direction == DataDirection::out && length >= count;

    switch ((block[0] << 8) | block[1]) {
        case 0xFB00:
            ++m_counters.eraseBlock;
            if (!onlyFields(block, {2, 3, 4, 5}) || !answerFits) return EINVAL;
            return eraseBlock(address, data);
        case 0xFB01:
            ++m_counters.eraseSector;
            if (!onlyFields(block, {2, 3, 4, 5}) || !answerFits) return EINVAL;
            return eraseSector(address, data);
        case 0xFB02:
            ++m_counters.eraseChip;
            if (!onlyFields(block, {}) || !answerFits) return EINVAL;
            return eraseChip(data);
        case 0xFB04:
            ++m_counters.writeStorage;
            if (!onlyFields(block, {2, 3, 4, 5, 6, 7, 9, 10}) || !dataOut) return EINVAL;
            return writeMemory(SimMemory::storage, address, data, count, crc);
        case 0xFB06:
            ++m_counters.writeRam;
            if (!onlyFields(block, {2, 3, 4, 5, 6, 7, 9, 10}) || !dataOut) return EINVAL;
            return writeMemory(SimMemory::ram, address, data, count, crc);
        case 0xFB08:
            ++m_counters.run;
            if (!onlyFields(block, {2, 3, 4, 5, 6, 7}) || !answerFits) return EINVAL;
            // Past the bound the count still tells how many there were.
            if (m_runs.size() < maxLogEntries) m_runs.push_back({address, count});
            std::memset(data, 0, responseLength);
            data[0] = 0xFB;
            data[1] = 0x08;
            return 0;
        case 0xFD05:
            ++m_counters.readStorage;
            if (!onlyFields(block, {2, 3, 4, 5, 6, 7}) || !dataIn) return EINVAL;
            return readMemory(SimMemory::storage, address, data, count);
        case 0xFD07:
            ++m_counters.readRam;
            if (!onlyFields(block, {2, 3, 4, 5, 6, 7}) || !dataIn) return EINVAL;
            return readMemory(SimMemory::ram, address, data, count);
        case 0xFC0A:
            ++m_counters.mediaQuery;
            if (!onlyFields(block, {2, 6, 7}) || !answerFits) return EINVAL;
            return mediaQuery(block[2], count, data);
        default:
            ++m_counters.unknown;
            return EINVAL;
    }
}

int SimulatedChip::eraseBlock(uint32_t address, uint8_t* response) {
    std::memset(response, 0, responseLength);
    response[0] = 0xFB;
    response[1] = 0x00;
    if (address >= m_storage.size()) {
        response[2] = eraseFailed;
        return 0;
    }
    const uint32_t block = address / m_blockSize;
    std::optional<EraseFault> fault;
    if (m_faults.erases > 0) {
        --m_faults.erases;
        fault = m_faults.eraseHow;
    } else if (auto stuck = m_faults.stuckBlocks.find(block); stuck != m_faults.stuckBlocks.end()) {
        fault = stuck->second;
    }
    if (fault) {
        if (*fault == EraseFault::reportsFailure) response[2] = eraseFailed;
        return 0;
    }
    if (const int code = eraseRange(uint64_t{block} * m_blockSize, m_blockSize); code != 0) {
        return code;
    }
    ++m_counters.blocksErased;
    return 0;
}

int SimulatedChip::eraseSector(uint32_t address, uint8_t* response) {
    std::memset(response, 0, responseLength);
    response[0] = 0xFB;
    response[1] = 0x01;
    const uint32_t start = address - address % sectorSize;
    if (start >= m_storage.size()) {
        response[2] = eraseFailed;
        return 0;
    }
    if (auto stuck = m_faults.stuckBlocks.find(start / m_blockSize);
        stuck != m_faults.stuckBlocks.end()) {
        if (stuck->second == EraseFault::reportsFailure) response[2] = eraseFailed;
        return 0;
    }
    return eraseRange(start, sectorSize);
}

int SimulatedChip::eraseChip(uint8_t* response) {
    std::memset(response, 0, responseLength);
    response[0] = 0xFB;
    response[1] = 0x02;
    const uint64_t blocks = m_storage.size() / m_blockSize;
    for (uint64_t block = 0; block < blocks; ++block) {
        if (auto stuck = m_faults.stuckBlocks.find(static_cast<uint32_t>(block));
            stuck != m_faults.stuckBlocks.end()) {
            if (stuck->second == EraseFault::reportsFailure) response[2] = eraseFailed;
            continue;
        }
        if (const int code = eraseRange(block * m_blockSize, m_blockSize); code != 0) return code;
    }
    return 0;
}

int SimulatedChip::eraseRange(uint64_t start, uint64_t length) {
    if (m_file.isOpen()) {
        if (const int code = m_file.fillAt(start, 0xFF, static_cast<size_t>(length)); code != 0) {
            return code;
        }
    }
    std::fill_n(m_storage.begin() + static_cast<std::ptrdiff_t>(start),
                static_cast<std::ptrdiff_t>(length), uint8_t{0xFF});
    return 0;
}

int SimulatedChip::writeMemory(SimMemory where, uint32_t address, const uint8_t* data,
                               uint32_t length, uint16_t crc) {
    const bool toStorage = where == SimMemory::storage;
    std::vector<uint8_t>& memory = toStorage ? m_storage : m_ram;
    if (crc16Xmodem(data, length) != crc) return EIO;
    if (!within(address, length, memory.size())) return EIO;
    unsigned& fault = toStorage ? m_faults.storageWrites : m_faults.ramWrites;
    if (fault > 0) {
        --fault;
        return EIO;
    }
    if (!toStorage) {
        std::copy_n(data, length, m_ram.begin() + address);
        m_counters.ramBytesWritten += length;
        return 0;
    }
    std::vector<uint8_t> result(data, data + length);
    if (m_config.medium != SimMedium::sd) {
        // Programming flash can only clear bits; setting one takes an erase.
        for (uint32_t i = 0; i < length; ++i)
            result[i] &= m_storage[address + i];
    }
    if (const int code = storeStorage(address, result.data(), result.size()); code != 0) {
        return code;
    }
    m_counters.storageBytesWritten += length;
    return 0;
}

int SimulatedChip::readMemory(SimMemory where, uint32_t address, uint8_t* data, uint32_t length) {
    const bool fromStorage = where == SimMemory::storage;
    const std::vector<uint8_t>& memory = fromStorage ? m_storage : m_ram;
    if (!within(address, length, memory.size())) return EIO;
    ReadFault& fault = fromStorage ? m_faults.storageReads : m_faults.ramReads;
    if (fault.times > 0 && length > fault.longerThan) {
        --fault.times;
        return EIO;
    }
    std::copy_n(memory.begin() + address, length, data);
    const std::optional<Corruption>& corruption =
        fromStorage ? m_faults.storageCorruption : m_faults.ramCorruption;
    if (corruption && corruption->address >= address && corruption->address - address < length) {
        data[corruption->address - address] ^= corruption->mask;
    }
    (fromStorage ? m_counters.storageBytesRead : m_counters.ramBytesRead) += length;
    return 0;
}

int SimulatedChip::mediaQuery(uint8_t selector, uint16_t parameter, uint8_t* response) {
    std::memset(response, 0, responseLength);
    response[0] = 0xFC;
    response[1] = 0x0A;
    const uint8_t code = mediaCode();
    response[2] = code;
    uint32_t id = selector == dataFlashSelector ? m_config.dataFlashId : m_config.flashId;
    if (code == 0 && selector != dataFlashSelector) id = 0;
    for (int i = 0; i < 4; ++i)
        response[4 + i] = static_cast<uint8_t>(id >> (8 * i));
    if (selector == switchSelector && parameter == switchParameter) {
        ++m_counters.modeSwitches;
        // A chip already in its loader stays as it is.
        if (!isLoaderIdentification(m_vendor, m_product)) {
            m_vendor = "qk500";
            m_product = "uboot2.00";
            leaveBus(m_config.switchDelay);
        }
    }
    return 0;
}

int SimulatedChip::storeStorage(uint64_t address, const uint8_t* bytes, size_t length) {
    if (m_file.isOpen()) {
        if (const int code = m_file.writeAt(address, bytes, length); code != 0) return code;
    }
    std::copy_n(bytes, length, m_storage.begin() + static_cast<std::ptrdiff_t>(address));
    return 0;
}

void SimulatedChip::leaveBus(unsigned looks) {
    m_away = true;
    m_absentLooks = looks;
    ++m_generation;
}

bool SimulatedChip::lookAtBus() {
    if (m_away) {
        if (m_absentLooks > 0) {
            --m_absentLooks;
            return false;
        }
        m_away = false;
    }
    return m_plugged;
}

DiskInfo SimulatedChip::diskInfo() const {
    return {diskName, padded(m_vendor, 8), padded(m_product, 16)};
}

void SimulatedChip::unplug() {
    if (!m_plugged) return;
    m_plugged = false;
    ++m_generation;
}

void SimulatedChip::plugIn() {
    m_plugged = true;
}

uint8_t SimulatedChip::mediaCode() const {
    if (m_config.mediaCode) return *m_config.mediaCode;
    switch (m_config.medium) {
        case SimMedium::spiNor:
            return 22;
        case SimMedium::spiNand:
            return 23;
        case SimMedium::sd:
            return 16;
    }
    return 0;
}

int SimulatedChip::plant(SimMemory where, uint32_t address, const std::vector<uint8_t>& bytes) {
    if (where == SimMemory::ram) {
        if (!within(address, bytes.size(), m_ram.size())) return EINVAL;
        std::copy(bytes.begin(), bytes.end(), m_ram.begin() + address);
        return 0;
    }
    if (!within(address, bytes.size(), m_storage.size())) return EINVAL;
    return storeStorage(address, bytes.data(), bytes.size());
}

void SimulatedChip::clearRecords() {
    m_counters = {};
    m_runs.clear();
    m_log.clear();
}

void SimulatedChip::failWrites(SimMemory where, unsigned times) {
    (where == SimMemory::storage ? m_faults.storageWrites : m_faults.ramWrites) = times;
}

void SimulatedChip::failReads(SimMemory where, unsigned times, uint32_t longerThan) {
    (where == SimMemory::storage ? m_faults.storageReads : m_faults.ramReads) = {times, longerThan};
}

void SimulatedChip::failErases(unsigned times, EraseFault how) {
    m_faults.erases = times;
    m_faults.eraseHow = how;
}

void SimulatedChip::stickBlock(uint32_t address, EraseFault how) {
    if (address < m_storage.size()) m_faults.stuckBlocks[address / m_blockSize] = how;
}

void SimulatedChip::corruptReads(SimMemory where, uint32_t address, uint8_t mask) {
    (where == SimMemory::storage ? m_faults.storageCorruption : m_faults.ramCorruption) =
        Corruption{address, mask};
}

void SimulatedChip::clearFaults() {
    m_faults = {};
}

}  // namespace vornload
