#pragma once

#include "platform/HidBackend.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// The vendor and product id in a HID device's HID_ID property
// ("0003:00000483:00005750": bus, vendor, product in hexadecimal); none when
// it is not of that form or an id does not fit in 16 bits.
struct HidIds {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};
std::optional<HidIds> parseHidId(std::string_view hidId);

// What a udev monitor told about one device, as it told it: any of these may be
// null. `hidId` is the HID_ID of the device's parent of subsystem "hid".
struct UdevDeviceNote {
    const char* action = nullptr;
    const char* subsystem = nullptr;
    const char* devnode = nullptr;
    const char* hidId = nullptr;
};

// The arrival or removal of a hidraw node, with the node's path as enumeration
// reports it; none for anything else (other subsystems, "change", "bind", ...,
// a device without a node).
std::optional<HidHotplugEvent> hotplugEventFromUdev(const UdevDeviceNote& note);

}  // namespace platform
