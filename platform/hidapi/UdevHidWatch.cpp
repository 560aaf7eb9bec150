#include "platform/hidapi/UdevHidWatch.h"

#include "platform/hidapi/HidHotplugParse.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace platform {

namespace {

// Only a fallback: the stop normally arrives through the eventfd.
constexpr int kPollMs = 500;

}  // namespace

std::unique_ptr<HidWatch> UdevHidWatch::start(HidHotplugListener listener) {
    if (!listener) return nullptr;
    udev* context = udev_new();
    if (!context) return nullptr;
    // "udev", not "kernel": by then the node exists with its permissions set.
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    const int stopFd = monitor ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (!monitor || stopFd < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0 || udev_monitor_get_fd(monitor) < 0) {
        if (stopFd >= 0) close(stopFd);
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    std::unique_ptr<UdevHidWatch> watch(
        new UdevHidWatch(std::move(listener), context, monitor, stopFd));
    try {
        watch->m_thread = std::thread([w = watch.get()] { w->run(); });
    } catch (const std::system_error&) {
        return nullptr;  // the destructor releases what was made
    }
    return watch;
}

UdevHidWatch::UdevHidWatch(HidHotplugListener listener, udev* context, udev_monitor* monitor,
                           int stopFd)
    : m_listener(std::move(listener)), m_udev(context), m_monitor(monitor), m_stopFd(stopFd) {}

UdevHidWatch::~UdevHidWatch() {
    if (m_thread.joinable()) {
        m_stop = true;
        const uint64_t one = 1;
        // Wakes the thread at once. Should the write ever fail, the thread still
        // sees m_stop at its next poll time-out, so the join ends either way.
        const bool woken = write(m_stopFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
        static_cast<void>(woken);
        m_thread.join();
    }
    close(m_stopFd);
    udev_monitor_unref(m_monitor);
    udev_unref(m_udev);
}

void UdevHidWatch::run() {
    pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {udev_monitor_get_fd(m_monitor), POLLIN, 0}};
    while (!m_stop) {
        fds[0].revents = fds[1].revents = 0;
        if (poll(fds, 2, kPollMs) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) return;
        if (fds[1].revents & POLLNVAL) return;
        if (fds[1].revents == 0) continue;
        // Also on POLLERR: receiving clears an overrun of the socket's buffer.
        udev_device* device = udev_monitor_receive_device(m_monitor);
        if (!device) continue;
        UdevDeviceNote note;
        note.action = udev_device_get_action(device);
        note.subsystem = udev_device_get_subsystem(device);
        note.devnode = udev_device_get_devnode(device);
        // The parent belongs to the device and goes with it.
        if (udev_device* hid =
                udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr))
            note.hidId = udev_device_get_property_value(hid, "HID_ID");
        auto event = hotplugEventFromUdev(note);
        udev_device_unref(device);
        if (event) m_listener(*event);
    }
}

}  // namespace platform
