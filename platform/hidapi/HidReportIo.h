#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Raw report I/O on one opened HID device. Calls are never made from two threads
// at once. Both return the bytes transferred or -1 when the device failed (it was
// unplugged, say); a read returns 0 when no report came within `timeoutMs`.
class HidReportIo {
public:
    virtual ~HidReportIo() = default;
    // Reports come as the device sends them: with the report id byte first only
    // when the device numbers its reports.
    virtual int read(uint8_t* data, size_t length, int timeoutMs) = 0;
    virtual int write(const uint8_t* data, size_t length) = 0;
};

}  // namespace platform
