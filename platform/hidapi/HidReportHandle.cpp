#include "platform/hidapi/HidReportHandle.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace platform {

namespace {

// The largest report the kernel hands out, so no report is ever cut short here.
constexpr size_t kScratchSize = 16384;
// hidraw's own queue per open file is this long; older reports are dropped there too.
constexpr size_t kMaxKept = 64;

}  // namespace

HidReportHandle::HidReportHandle(std::unique_ptr<HidReportIo> io, HidAccess access,
                                 std::optional<HidReportDescriptor> descriptor)
    : m_io(std::move(io)), m_access(access), m_descriptor(descriptor) {
    if (m_access == HidAccess::Write && m_io) m_writer = std::make_unique<HidReportWriter>(m_io);
}

HidReportHandle::~HidReportHandle() {
    // Returns at once, even when a write is stuck in the device.
    m_writer.reset();
    {
        std::lock_guard lock(m_stateMutex);
        abandonPendingRead();
    }
    // The reader leaves within one read slice; the device closes after it.
    if (m_reader.joinable()) {
        m_reader.request_stop();
        m_reader.join();
    }
}

std::optional<HidCapabilities> HidReportHandle::capabilities() {
    if (!m_descriptor) return std::nullopt;
    return HidCapabilities{m_descriptor->inputReportLength, m_descriptor->outputReportLength};
}

HidIo HidReportHandle::start(uint8_t* buffer, size_t length, WaitEvent* event) {
    // Whatever an earlier transfer left set must not end the caller's next wait.
    if (event) event->reset();
    if (m_access == HidAccess::Write)
        return m_writer ? m_writer->start(buffer, length, event) : HidIo::Failed;
    // Not even the report id byte fits.
    if (!buffer || length == 0 || !m_io) {
        std::lock_guard lock(m_stateMutex);
        abandonPendingRead();
        m_state = HidIo::Failed;
        return HidIo::Failed;
    }
    return startRead(buffer, length, event);
}

HidIo HidReportHandle::startRead(uint8_t* buffer, size_t length, WaitEvent* event) {
    {
        // Dropped first, so a reader waiting for the device sees it and lets go
        // of m_ioMutex after its current slice.
        std::lock_guard lock(m_stateMutex);
        abandonPendingRead();
    }
    std::lock_guard io(m_ioMutex);
    std::lock_guard lock(m_stateMutex);
    if (!m_kept.empty()) {
        copyReport(m_kept.front().data(), m_kept.front().size(), buffer, length);
        m_kept.pop_front();
        m_state = HidIo::Completed;
        return m_state;
    }

    if (m_scratch.empty()) m_scratch.resize(kScratchSize);
    const int got = m_io->read(m_scratch.data(), m_scratch.size(), 0);
    if (got != 0) {
        if (got > 0) copyReport(m_scratch.data(), static_cast<size_t>(got), buffer, length);
        m_state = got > 0 ? HidIo::Completed : HidIo::Failed;
        return m_state;
    }

    if (!m_reader.joinable()) {
        try {
            m_reader = std::jthread([this](std::stop_token stop) { readLoop(std::move(stop)); });
        } catch (const std::system_error&) {
            m_state = HidIo::Failed;
            return m_state;
        }
    }
    m_buffer = buffer;
    m_length = length;
    m_event = event;
    m_state = HidIo::Pending;
    m_wake.notify_all();
    return m_state;
}

HidIo HidReportHandle::result() {
    if (m_access == HidAccess::Write) return m_writer ? m_writer->result() : HidIo::Failed;
    std::lock_guard lock(m_stateMutex);
    return m_state;
}

void HidReportHandle::cancel() {
    if (m_writer) m_writer->cancel();
    std::lock_guard lock(m_stateMutex);
    abandonPendingRead();
}

void HidReportHandle::abandonPendingRead() {
    if (m_state != HidIo::Pending) return;
    m_state = HidIo::Failed;
    m_buffer = nullptr;
    m_length = 0;
    m_event = nullptr;
}

void HidReportHandle::readLoop(std::stop_token stop) {
    for (;;) {
        {
            std::unique_lock lock(m_stateMutex);
            if (!m_wake.wait(lock, stop, [this] { return m_state == HidIo::Pending; })) return;
        }
        std::lock_guard io(m_ioMutex);
        {
            // The read may have been cancelled or replaced while this thread waited.
            std::lock_guard lock(m_stateMutex);
            if (m_state != HidIo::Pending) continue;
        }
        const int got = m_io->read(m_scratch.data(), m_scratch.size(), kReadSliceMs);
        if (got == 0) continue;

        std::lock_guard lock(m_stateMutex);
        if (m_state != HidIo::Pending) {
            // Cancelled during the slice: keep the report for the next read.
            if (got > 0) {
                if (m_kept.size() == kMaxKept) m_kept.pop_front();
                m_kept.emplace_back(m_scratch.begin(), m_scratch.begin() + got);
            }
            continue;
        }
        if (got > 0) copyReport(m_scratch.data(), static_cast<size_t>(got), m_buffer, m_length);
        m_state = got > 0 ? HidIo::Completed : HidIo::Failed;
        // Set under the lock: once cancel(), result() or the destructor has had it,
        // this thread is done with the event and the caller may free it.
        if (m_event) m_event->set();
        m_buffer = nullptr;
        m_length = 0;
        m_event = nullptr;
    }
}

void HidReportHandle::copyReport(const uint8_t* report, size_t size, uint8_t* buffer,
                                 size_t length) const {
    size_t at = 0;
    // hidraw leaves out the id byte of a device without numbered reports.
    if (!m_descriptor || !m_descriptor->usesReportIds) buffer[at++] = 0;
    const size_t n = std::min(size, length - at);
    std::memcpy(buffer + at, report, n);
    std::memset(buffer + at + n, 0, length - at - n);
}

}  // namespace platform
