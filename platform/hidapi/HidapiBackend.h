#pragma once

#include "platform/HidBackend.h"
#include "platform/hidapi/HidSysfs.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// HID devices through hidapi's hidraw back end, with the USB and disk look-ups in sysfs.
class HidapiBackend final : public HidBackend {
public:
    explicit HidapiBackend(std::filesystem::path sysfsRoot = "/sys",
                           std::string devPrefix = "/dev/",
                           std::filesystem::path mountInfo = "/proc/self/mountinfo");

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) override;
    std::optional<HidDiskInfo> findDisk(const std::string& containerId) override;
    bool isOwnDisk(const std::string& devicePath, const HidDiskInfo& disk) override;
    // Reports hidraw nodes by the same path as enumerate(), with every device's
    // ids; picking out the signs is the listener's business.
    std::unique_ptr<HidWatch> watch(HidHotplugListener listener) override;

private:
    HidSysfs m_sysfs;
};

}  // namespace platform
