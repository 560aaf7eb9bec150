// Arbitrary bytes as a HID report descriptor. A parsed descriptor's lengths are
// either 0 (no such report) or hold at least the id byte and one data byte, and
// a descriptor followed by items that only skip (long items) parses the same.
#include "platform/hidapi/HidReportDescriptor.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parsed = platform::HidReportDescriptor::parse({data, size});
    if (!parsed) return 0;
    if (parsed->inputReportLength == 1 || parsed->outputReportLength == 1) std::abort();

    std::vector<uint8_t> longer(data, data + size);
    longer.insert(longer.end(), {0xFE, 0x02, 0xF0, 0x81, 0x02});
    const auto again = platform::HidReportDescriptor::parse(longer);
    if (!again || again->inputReportLength != parsed->inputReportLength ||
        again->outputReportLength != parsed->outputReportLength ||
        again->usesReportIds != parsed->usesReportIds) {
        std::abort();
    }
    return 0;
}
