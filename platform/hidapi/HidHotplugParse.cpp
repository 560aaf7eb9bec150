#include "platform/hidapi/HidHotplugParse.h"

#include <array>
#include <string_view>

namespace platform {

namespace {

// The kernel prints each field zero-padded to 4 or 8 digits; more than 8 is not its.
constexpr size_t kMaxDigits = 8;

std::optional<uint32_t> hexField(std::string_view text) {
    if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return value;
}

bool equals(const char* text, std::string_view expected) {
    return text && std::string_view(text) == expected;
}

}  // namespace

std::optional<HidIds> parseHidId(std::string_view hidId) {
    std::array<std::string_view, 3> fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t colon = hidId.find(':');
        const bool last = i + 1 == fields.size();
        // Exactly three fields: a colon after each but the last.
        if ((colon == std::string_view::npos) != last) return std::nullopt;
        fields[i] = hidId.substr(0, colon);
        if (!last) hidId.remove_prefix(colon + 1);
    }
    const auto bus = hexField(fields[0]);
    const auto vendor = hexField(fields[1]);
    const auto product = hexField(fields[2]);
    if (!bus || !vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) return std::nullopt;
    return HidIds{static_cast<uint16_t>(*vendor), static_cast<uint16_t>(*product)};
}

std::optional<HidHotplugEvent> hotplugEventFromUdev(const UdevDeviceNote& note) {
    if (!equals(note.subsystem, "hidraw") || !note.devnode || !*note.devnode) return std::nullopt;
    HidHotplugEvent event;
    event.path = note.devnode;
    if (equals(note.action, "add")) {
        event.kind = HidHotplugEvent::Kind::Arrived;
        if (note.hidId) {
            if (const auto ids = parseHidId(note.hidId)) {
                event.vendorId = ids->vendorId;
                event.productId = ids->productId;
            }
        }
        return event;
    }
    if (equals(note.action, "remove")) {
        event.kind = HidHotplugEvent::Kind::Removed;
        return event;
    }
    return std::nullopt;
}

}  // namespace platform
