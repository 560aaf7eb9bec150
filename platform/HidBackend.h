#pragma once

#include "platform/WaitEvent.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One HID interface that is present now.
struct HidDeviceInfo {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string path;          // opens the interface
    std::string containerId;   // names the physical device; empty when unknown
    int32_t portAddress = -1;  // -1 when the system reports none
};

// The removable disk that the same physical device presents.
struct HidDiskInfo {
    std::string diskPath;
    uint32_t diskNumber = 0;
    std::string volumeName;  // empty when no volume of the disk was found
    std::string rootPath;    // first mount path; empty when not mounted
    bool removable = false;
};

struct HidCapabilities {
    uint16_t inputReportLength = 0;  // report ID byte included
    uint16_t outputReportLength = 0;
};

enum class HidAccess { Read, Write };

// Where an asynchronous report transfer stands.
enum class HidIo {
    Completed,  // done; a read's buffer holds the report
    Pending,    // still running: the caller waits on its event and asks again
    Failed,     // failed outright; nothing is pending any more
};

// The device opened for one direction. Closing (destroying) cancels what is pending.
class HidHandle {
public:
    virtual ~HidHandle() = default;
    // Read from the device; none when it cannot say.
    virtual std::optional<HidCapabilities> capabilities() = 0;
    virtual void setInputBuffers(int count) = 0;
    // Starts one report transfer. For a write `buffer` holds the report; for a read
    // it receives it and must stay valid until the transfer is no longer pending.
    // `event` is set when a pending transfer completes; it may be null. A transfer
    // of this handle that is still running is cancelled first. Like overlapped I/O,
    // a write that is done at once may still answer Pending with its event set, so
    // callers always see a write complete through the event.
    virtual HidIo start(uint8_t* buffer, size_t length, WaitEvent* event) = 0;
    // The state of the pending transfer, without waiting.
    virtual HidIo result() = 0;
    // After cancel returns, the cancelled transfer touches neither its buffer nor
    // its event again.
    virtual void cancel() = 0;
};

// A HID interface that came or went while a watch was running.
struct HidHotplugEvent {
    enum class Kind { Arrived, Removed };
    Kind kind = Kind::Arrived;
    std::string path;
    // Read from the arrived device; 0 when they could not be read (and always
    // for a removal: the device is gone).
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

using HidHotplugListener = std::function<void(const HidHotplugEvent&)>;

// Reports arrivals and removals until it is destroyed. The listener is called
// on a thread of the watch's own; once the destructor has returned it is never
// called again.
class HidWatch {
public:
    virtual ~HidWatch() = default;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    virtual std::vector<HidDeviceInfo> enumerate() = 0;
    // Null when the path cannot be opened (the device is gone, no permission, ...).
    virtual std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) = 0;
    // The disk of the physical device with this container id, if it has one.
    virtual std::optional<HidDiskInfo> findDisk(const std::string& containerId) = 0;
    // True only when disk.rootPath is verified to be the mount point of a
    // removable block device that belongs to the same physical device as the HID
    // interface at devicePath. Nothing is deleted on a disk without this check.
    virtual bool isOwnDisk(const std::string& devicePath, const HidDiskInfo& disk) {
        static_cast<void>(devicePath);
        static_cast<void>(disk);
        return false;
    }
    // Starts watching for signs that are plugged in or pulled; null when this
    // back end cannot tell.
    virtual std::unique_ptr<HidWatch> watch(HidHotplugListener listener) {
        static_cast<void>(listener);
        return nullptr;
    }
};

}  // namespace platform
