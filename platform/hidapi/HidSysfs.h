#pragma once

#include "platform/HidBackend.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// What sysfs and the mount table say about a HID device and the disk of the same
// USB device. The roots can point at a fake tree, so all of it runs in tests.
class HidSysfs {
public:
    struct UsbLocation {
        std::string containerId;  // canonical sysfs path of the USB device; empty when not USB
        int32_t portAddress = -1;
    };

    explicit HidSysfs(std::filesystem::path sysfsRoot = "/sys", std::string devPrefix = "/dev/",
                      std::filesystem::path mountInfo = "/proc/self/mountinfo");

    // True when the path is the character device of a hidraw node that sysfs lists.
    bool isHidrawNode(const std::string& path) const;
    // For a hidraw node ("/dev/hidraw3", or a link to it).
    UsbLocation usbLocation(const std::string& hidrawPath) const;
    std::optional<std::vector<uint8_t>> reportDescriptor(const std::string& hidrawPath) const;
    // The block device below the USB device `containerId`, preferring one with a
    // mounted volume when there are several.
    std::optional<HidDiskInfo> findDisk(const std::string& containerId) const;
    // True only when disk.rootPath is itself a mount point (not a folder below
    // one, not a bind of a folder) of a partition or disk that sysfs calls
    // removable and that sits under the same USB device as the hidraw node, and
    // is neither the file system's root nor the home folder nor one that holds it.
    bool isOwnDisk(const std::string& hidrawPath, const HidDiskInfo& disk) const;

private:
    std::optional<std::filesystem::path> hidDeviceDir(const std::string& hidrawPath) const;

    std::filesystem::path m_sysfsRoot;
    std::string m_devPrefix;
    std::filesystem::path m_mountInfo;
};

}  // namespace platform
