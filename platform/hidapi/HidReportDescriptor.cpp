#include "platform/hidapi/HidReportDescriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace platform {

namespace {

// Item prefix: bits 7-4 tag, 3-2 type, 1-0 data size (3 meaning 4 bytes).
enum ItemType : unsigned { Main = 0, Global = 1, Local = 2, Reserved = 3 };
enum MainTag : unsigned { Input = 0x8, Output = 0x9 };
enum GlobalTag : unsigned {
    ReportSize = 0x7,
    ReportId = 0x8,
    ReportCount = 0x9,
    Push = 0xA,
    Pop = 0xB
};
constexpr uint8_t kLongItem = 0xFE;

// Lengths are 16-bit with the id byte, so no report may exceed 65534 data bytes.
constexpr uint64_t kMaxReportBits = 65534ull * 8;
// Real descriptors push a level or two; the limit keeps garbage from growing the stack.
constexpr size_t kMaxPushDepth = 64;

struct GlobalState {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

uint16_t lengthOf(const std::map<uint32_t, uint64_t>& bitsById) {
    uint64_t longest = 0;
    for (const auto& [id, bits] : bitsById)
        longest = std::max(longest, bits);
    if (longest == 0) return 0;
    return static_cast<uint16_t>((longest + 7) / 8 + 1);
}

}  // namespace

std::optional<HidReportDescriptor> HidReportDescriptor::parse(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;

    GlobalState state;
    std::vector<GlobalState> pushed;
    std::map<uint32_t, uint64_t> inputBits;
    std::map<uint32_t, uint64_t> outputBits;
    HidReportDescriptor result;

    size_t pos = 0;
    const size_t end = bytes.size();
    while (pos < end) {
        const uint8_t prefix = bytes[pos++];
        if (prefix == kLongItem) {
            if (end - pos < 2) return std::nullopt;
            const size_t dataSize = bytes[pos];
            pos += 2;  // size and long item tag
            if (end - pos < dataSize) return std::nullopt;
            pos += dataSize;
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (end - pos < size) return std::nullopt;
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= uint32_t{bytes[pos + i]} << (8 * i);
        pos += size;

        const unsigned type = (prefix >> 2) & 3;
        const unsigned tag = prefix >> 4;
        if (type == Main && (tag == Input || tag == Output)) {
            const uint64_t bits = uint64_t{state.reportSize} * state.reportCount;
            if (bits > kMaxReportBits) return std::nullopt;
            uint64_t& sum = (tag == Input ? inputBits : outputBits)[state.reportId];
            sum += bits;
            if (sum > kMaxReportBits) return std::nullopt;
        } else if (type == Global) {
            switch (tag) {
                case ReportSize:
                    state.reportSize = value;
                    break;
                case ReportCount:
                    state.reportCount = value;
                    break;
                case ReportId:
                    // Id 0 is reserved for "no id"; ids are one byte on the wire.
                    if (value == 0 || value > 0xFF) return std::nullopt;
                    state.reportId = value;
                    result.usesReportIds = true;
                    break;
                case Push:
                    if (pushed.size() >= kMaxPushDepth) return std::nullopt;
                    pushed.push_back(state);
                    break;
                case Pop:
                    if (pushed.empty()) return std::nullopt;
                    state = pushed.back();
                    pushed.pop_back();
                    break;
                default:
                    break;
            }
        }
        // Local items, collections, features and reserved items do not change lengths.
    }

    result.inputReportLength = lengthOf(inputBits);
    result.outputReportLength = lengthOf(outputBits);
    return result;
}

}  // namespace platform
