#include "platform/hidapi/HidapiBackend.h"

#include "platform/hidapi/HidReportDescriptor.h"
#include "platform/hidapi/HidReportHandle.h"
#include "platform/hidapi/HidReportIo.h"
#include "platform/hidapi/UdevHidWatch.h"

#include <hidapi/hidapi.h>

#include <mutex>
#include <set>
#include <utility>

namespace platform {

namespace {

// hidapi keeps the last error of enumerate and open in one unguarded global, so
// everything but the per-device reads and writes runs one call at a time across
// the process. hid_exit is never called: handles may still be open while
// statics are destroyed, and it frees nothing that matters.
std::mutex& hidapiMutex() {
    // Never destroyed, so a handle closed during static destruction still finds it.
    static auto* mutex = new std::mutex;
    return *mutex;
}

bool hidapiReady() {
    static const bool ready = [] {
        std::lock_guard lock(hidapiMutex());
        return hid_init() == 0;
    }();
    return ready;
}

class HidapiReportIo final : public HidReportIo {
public:
    explicit HidapiReportIo(hid_device* device) : m_device(device) {}
    ~HidapiReportIo() override {
        std::lock_guard lock(hidapiMutex());
        hid_close(m_device);
    }
    HidapiReportIo(const HidapiReportIo&) = delete;
    HidapiReportIo& operator=(const HidapiReportIo&) = delete;

    int read(uint8_t* data, size_t length, int timeoutMs) override {
        return hid_read_timeout(m_device, data, length, timeoutMs);
    }
    int write(const uint8_t* data, size_t length) override {
        return hid_write(m_device, data, length);
    }

private:
    hid_device* const m_device;
};

}  // namespace

HidapiBackend::HidapiBackend(std::filesystem::path sysfsRoot, std::string devPrefix,
                             std::filesystem::path mountInfo)
    : m_sysfs(std::move(sysfsRoot), std::move(devPrefix), std::move(mountInfo)) {}

std::vector<HidDeviceInfo> HidapiBackend::enumerate() {
    std::vector<HidDeviceInfo> devices;
    if (!hidapiReady()) return devices;
    hid_device_info* list = nullptr;
    {
        std::lock_guard lock(hidapiMutex());
        list = hid_enumerate(0, 0);
    }
    // hidraw lists a node once per top-level collection; it is one interface to open.
    std::set<std::string> seen;
    for (const hid_device_info* info = list; info; info = info->next) {
        if (!info->path || !seen.insert(info->path).second) continue;
        HidDeviceInfo device;
        device.vendorId = info->vendor_id;
        device.productId = info->product_id;
        device.path = info->path;
        HidSysfs::UsbLocation usb = m_sysfs.usbLocation(device.path);
        device.containerId = std::move(usb.containerId);
        device.portAddress = usb.portAddress;
        devices.push_back(std::move(device));
    }
    hid_free_enumeration(list);
    return devices;
}

std::unique_ptr<HidHandle> HidapiBackend::open(const std::string& path, HidAccess access) {
    // hidapi's open crashes on files that are not hidraw nodes, so it only sees those.
    if (!m_sysfs.isHidrawNode(path) || !hidapiReady()) return nullptr;
    hid_device* device = nullptr;
    {
        std::lock_guard lock(hidapiMutex());
        device = hid_open_path(path.c_str());
    }
    if (!device) return nullptr;
    auto io = std::make_unique<HidapiReportIo>(device);
    std::optional<HidReportDescriptor> descriptor;
    if (const auto bytes = m_sysfs.reportDescriptor(path))
        descriptor = HidReportDescriptor::parse(*bytes);
    return std::make_unique<HidReportHandle>(std::move(io), access, descriptor);
}

std::optional<HidDiskInfo> HidapiBackend::findDisk(const std::string& containerId) {
    return m_sysfs.findDisk(containerId);
}

bool HidapiBackend::isOwnDisk(const std::string& devicePath, const HidDiskInfo& disk) {
    return m_sysfs.isOwnDisk(devicePath, disk);
}

std::unique_ptr<HidWatch> HidapiBackend::watch(HidHotplugListener listener) {
    return UdevHidWatch::start(std::move(listener));
}

}  // namespace platform
