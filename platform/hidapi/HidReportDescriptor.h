#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// The report lengths a HID report descriptor declares, worked out the way the
// HID class does: per report id the bits of its Input (Output) items, the
// longest report in whole bytes plus the report ID byte, which is counted even
// when the device numbers no reports. 0 when the device has no such report.
struct HidReportDescriptor {
    uint16_t inputReportLength = 0;
    uint16_t outputReportLength = 0;
    // True when a Report ID item appears: reads then start with the id byte.
    bool usesReportIds = false;

    // None when the bytes are empty, cut off inside an item or inconsistent
    // (a Pop without Push, report id 0, a report longer than 16-bit lengths allow).
    static std::optional<HidReportDescriptor> parse(std::span<const uint8_t> bytes);
};

}  // namespace platform
