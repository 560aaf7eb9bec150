#include "flashtool/config/FlashTypeLookup.h"

#include <fstream>
#include <string_view>
#include <vector>

#include "flashtool/config/ConfigText.h"

namespace vornload {

using configtext::format;

namespace {

constexpr size_t maxNameLength = 9;

std::vector<std::string_view> splitFields(std::string_view row) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start <= row.size()) {
        size_t comma = row.find(',', start);
        if (comma == std::string_view::npos) comma = row.size();
        if (comma > start) fields.push_back(row.substr(start, comma - start));
        start = comma + 1;
    }
    return fields;
}

// Capacity with its unit letter; a row without a unit, or one too large for the
// 32-bit size field, has no usable capacity.
std::optional<uint32_t> readCapacity(std::string_view text) {
    if (text.empty()) return std::nullopt;
    uint64_t factor;
    switch (text.back()) {
        case 'G':
            factor = uint64_t{1} << 30;
            break;
        case 'M':
            factor = uint64_t{1} << 20;
            break;
        case 'K':
            factor = uint64_t{1} << 10;
            break;
        default:
            return std::nullopt;
    }
    text.remove_suffix(1);
    const uint64_t value = configtext::leadingDecimal(text) * factor;
    if (value > configtext::maxWord) return std::nullopt;
    return static_cast<uint32_t>(value);
}

}  // namespace

std::optional<FlashType> lookupFlashType(std::istream& in, uint32_t id, std::ostream& console) {
    const std::string wanted = format("%X", id);
    bool inTable = false;
    std::string raw;
    bool tooLong = false;
    while (configtext::readLine(in, raw, tooLong)) {
        if (tooLong) continue;  // no row is that long
        const std::string line = configtext::prepareLine(raw);
        if (configtext::isSkipped(line)) continue;
        if (!inTable) {
            inTable = line == "FLASH_DESCRIBE_BEGIN";
            continue;
        }
        if (line == "FLASH_DESCRIBE_END") break;
        const std::vector<std::string_view> fields = splitFields(line);
        if (fields.empty() || fields[0] != wanted) continue;
        std::optional<uint32_t> capacity;
        if (fields.size() >= 4) capacity = readCapacity(fields[2]);
        if (!capacity) {
            console << format("WARNING : flash type row %s needs a capacity with unit G, M or K\n",
                              line.c_str());
            continue;
        }
        FlashType type;
        type.name = std::string(fields[1].substr(0, maxNameLength));
        type.capacity = *capacity;
        type.writeProtectArg = static_cast<uint16_t>(configtext::leadingHex(fields[3]));
        return type;
    }
    console << "WARNING : can't match flash type\n";
    return std::nullopt;
}

std::optional<FlashType> lookupFlashType(const std::string& path, uint32_t id,
                                         std::ostream& console) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        console << "WARNING : isd_tools.cfg open fail\n";
        return std::nullopt;
    }
    return lookupFlashType(file, id, console);
}

ConfigResult applyFlashType(FlashDescription& description, uint32_t deviceId,
                            const std::optional<FlashType>& type) {
    if (!type) {
        return {ConfigStatus::failed, isdErrDiskMismatch, format("device id: %x\n", deviceId), 0};
    }
    const uint32_t cfgId = description.settings.flashId;
    if ((deviceId & 0xFF) != (cfgId & 0xFF)) {
        return {ConfigStatus::failed, isdErrDiskMismatch,
                format("ERROR: device id: %x != cfg id %x\n", deviceId, cfgId), 0};
    }
    description.record.flashId = deviceId;
    description.record.flashSize = type->capacity;
    description.record.writeProtectArg = type->writeProtectArg;
    return {};
}

}  // namespace vornload
