#include "platform/hidapi/HidReportWriter.h"

#include <system_error>
#include <utility>

namespace platform {

// Everything the writer thread touches, so that it can outlive the writer.
struct HidReportWriter::Shared {
    explicit Shared(std::shared_ptr<HidReportIo> device) : io(std::move(device)) {}

    // Drops the pending write: a queued report is not written, the outcome of
    // one in the device is not recorded, and its event is forgotten.
    void abandon() {
        if (state == HidIo::Pending) state = HidIo::Failed;
        event = nullptr;
        hasQueued = false;
        ++current;
    }

    const std::shared_ptr<HidReportIo> io;
    std::mutex mutex;
    std::condition_variable wake;
    HidIo state = HidIo::Failed;  // nothing started counts as nothing pending
    WaitEvent* event = nullptr;
    uint64_t current = 0;  // numbers the write whose outcome is wanted
    std::vector<uint8_t> queued;
    bool hasQueued = false;
    bool busy = false;  // the thread is in the device
    bool stop = false;
};

HidReportWriter::HidReportWriter(std::shared_ptr<HidReportIo> io)
    : m_shared(std::make_shared<Shared>(std::move(io))) {}

HidReportWriter::~HidReportWriter() {
    bool stuck = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->abandon();
        m_shared->stop = true;
        stuck = m_shared->busy;
        m_shared->wake.notify_all();
    }
    if (!m_thread.joinable()) return;
    // An idle thread sees the stop at once. A thread in the device may stay
    // there for the kernel's time-out or longer; it holds its own share of the
    // device and ends (closing it) when the write returns.
    if (stuck) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

HidIo HidReportWriter::start(const uint8_t* report, size_t length, WaitEvent* event) {
    Shared& s = *m_shared;
    std::lock_guard lock(s.mutex);
    s.abandon();
    if (!report || length == 0 || !s.io) return s.state = HidIo::Failed;
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([shared = m_shared] { run(shared); });
        } catch (const std::system_error&) {
            return s.state = HidIo::Failed;
        }
    }
    // The caller may reuse its buffer as soon as this returns.
    s.queued.assign(report, report + length);
    s.hasQueued = true;
    s.event = event;
    s.state = HidIo::Pending;
    s.wake.notify_all();
    return s.state;
}

HidIo HidReportWriter::result() {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->state;
}

void HidReportWriter::cancel() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->abandon();
}

void HidReportWriter::run(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    std::vector<uint8_t> report;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&s] { return s.stop || s.hasQueued; });
        if (s.stop) return;
        report.swap(s.queued);
        s.hasQueued = false;
        const uint64_t id = s.current;
        s.busy = true;
        lock.unlock();
        const int written = s.io->write(report.data(), report.size());
        lock.lock();
        s.busy = false;
        if (id != s.current) continue;  // abandoned meanwhile
        s.state = written < 0 ? HidIo::Failed : HidIo::Completed;
        // Set under the lock: once cancel() or a new start has had it, this
        // thread is done with the event and the caller may free it.
        if (s.event) s.event->set();
        s.event = nullptr;
    }
}

}  // namespace platform
