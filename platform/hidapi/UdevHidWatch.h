#pragma once

#include "platform/HidBackend.h"

#include <atomic>
#include <memory>
#include <thread>

struct udev;
struct udev_monitor;

namespace platform {

// Reports hidraw nodes that come and go, from a udev monitor read on a thread
// of its own. The listener must not destroy the watch that calls it.
class UdevHidWatch final : public HidWatch {
public:
    // Null when udev cannot be watched here (no netlink, no thread).
    static std::unique_ptr<HidWatch> start(HidHotplugListener listener);
    ~UdevHidWatch() override;
    UdevHidWatch(const UdevHidWatch&) = delete;
    UdevHidWatch& operator=(const UdevHidWatch&) = delete;

private:
    UdevHidWatch(HidHotplugListener listener, udev* context, udev_monitor* monitor, int stopFd);
    void run();

    const HidHotplugListener m_listener;
    udev* const m_udev;
    udev_monitor* const m_monitor;
    const int m_stopFd;  // an eventfd that wakes the thread for m_stop
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace platform
