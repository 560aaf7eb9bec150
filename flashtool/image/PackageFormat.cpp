#include "flashtool/image/PackageFormat.h"

#include "flashtool/config/Crc16.h"

#include <algorithm>

namespace vornload {

uint64_t roundUp(uint64_t value, uint64_t multiple) {
    if (multiple == 0) return value;
    const uint64_t rest = value % multiple;
    return rest == 0 ? value : value + (multiple - rest);
}

void putLe16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getLe32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool encodeEntryName(const std::string& name, std::array<uint8_t, packageNameSize>& out) {
    if (name.size() > packageNameSize) return false;
    out.fill(0xFF);
    const std::string lower = asciiLower(name);
    std::copy(lower.begin(), lower.end(), out.begin());
    if (lower.size() < packageNameSize) out[lower.size()] = 0;
    return true;
}

uint8_t imageEntryType(const std::string& lowerName) {
    auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return lowerName.size() >= t.size() &&
               lowerName.compare(lowerName.size() - t.size(), t.size(), t) == 0;
    };
    if (lowerName.find(".boot") != std::string::npos) return entryBoot;
    if (lowerName.find(".app") != std::string::npos) return entryApplication;
    if (endsWith(".apu") || endsWith(".api")) return entryExtension;
    return entryOther;
}

std::vector<uint8_t> buildHeaderArea(size_t areaSize, const std::vector<PackageEntry>& entries,
                                     size_t crcSlots, uint32_t packageSize,
                                     const ImageSettings& settings) {
    // Callers size the area for their slots; never let a slot run past it.
    const size_t needed = packageHeaderSize + std::max(crcSlots, entries.size()) * packageEntrySize;
    std::vector<uint8_t> area(std::max(areaSize, needed), 0xFF);
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* e = area.data() + packageHeaderSize + i * packageEntrySize;
        const PackageEntry& entry = entries[i];
        e[0] = entry.type;
        e[1] = 0;
        putLe16(e + 2, entry.crc);
        putLe32(e + 4, entry.position);
        putLe32(e + 8, entry.length);
        putLe32(e + 12, entry.index);
        std::copy(entry.name.begin(), entry.name.end(), e + 16);
    }
    uint8_t* h = area.data();
    putLe16(h + 2, crc16Xmodem(h + packageHeaderSize, crcSlots * packageEntrySize));
    putLe32(h + 4, packageSize);
    putLe32(h + 8, settings.sdramControl);
    putLe32(h + 12, static_cast<uint32_t>(entries.size()));
    putLe32(h + 16, settings.refreshInterval);
    putLe32(h + 20, settings.runAddress);
    putLe32(h + 24, settings.clockWord);
    putLe32(h + 28, settings.spiWord);
    putLe16(h, crc16Xmodem(h + 2, packageHeaderSize - 2));
    return area;
}

}  // namespace vornload
