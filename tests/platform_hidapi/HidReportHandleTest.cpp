#include "platform/hidapi/HidReportHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using platform::HidAccess;
using platform::HidIo;
using platform::HidReportDescriptor;
using platform::WaitEvent;
using Bytes = std::vector<uint8_t>;

// The device behind the handle; the test keeps it after the handle owns the I/O.
struct FakeDevice {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Bytes> reports;
    std::vector<Bytes> written;
    bool broken = false;
    bool closed = false;
    // While set, a waiting read lasts until a report comes, as if it came within the slice.
    bool slowReports = false;
    int waitingReads = 0;
    // While set, a write stays in the device, as for a sign that stopped taking
    // reports, unless it is let through one at a time.
    bool holdWrites = false;
    int writesLet = 0;
    int writesEntered = 0;
    std::atomic<bool> overlapped{false};

    template <typename F>
    void change(F f) {
        std::lock_guard lock(mutex);
        f();
        changed.notify_all();
    }
    void push(Bytes report) {
        change([&] { reports.push_back(std::move(report)); });
    }

    int read(uint8_t* data, size_t length, int timeoutMs) {
        std::unique_lock lock(mutex);
        const auto ready = [&] { return broken || !reports.empty(); };
        if (timeoutMs > 0) {
            ++waitingReads;
            changed.notify_all();
            if (slowReports) changed.wait(lock, [&] { return ready() || !slowReports; });
        }
        changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        if (timeoutMs > 0) --waitingReads;
        if (broken) return -1;
        if (reports.empty()) return 0;
        const Bytes report = std::move(reports.front());
        reports.pop_front();
        const size_t n = std::min(length, report.size());
        std::memcpy(data, report.data(), n);
        return static_cast<int>(n);
    }
    int write(const uint8_t* data, size_t length) {
        std::unique_lock lock(mutex);
        ++writesEntered;
        changed.notify_all();
        changed.wait(lock, [&] { return !holdWrites || writesLet > 0; });
        if (holdWrites) --writesLet;
        if (broken) return -1;
        written.emplace_back(data, data + length);
        return static_cast<int>(length);
    }
    // With a bound only so that a broken handle fails instead of hanging.
    template <typename P>
    bool waitFor(P done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), done);
    }
    std::vector<Bytes> writtenSoFar() {
        std::lock_guard lock(mutex);
        return written;
    }
};

class FakeReportIo final : public platform::HidReportIo {
public:
    explicit FakeReportIo(std::shared_ptr<FakeDevice> device) : m_device(std::move(device)) {}
    ~FakeReportIo() override {
        m_device->change([this] { m_device->closed = true; });
    }
    int read(uint8_t* data, size_t length, int timeoutMs) override {
        enter();
        const int n = m_device->read(data, length, timeoutMs);
        --m_inCall;
        return n;
    }
    int write(const uint8_t* data, size_t length) override {
        enter();
        const int n = m_device->write(data, length);
        --m_inCall;
        return n;
    }

private:
    // Each opened file takes one call at a time; two handles on one device may overlap.
    void enter() {
        if (m_inCall++ != 0) m_device->overlapped = true;
    }
    std::shared_ptr<FakeDevice> m_device;
    std::atomic<int> m_inCall{0};
};

HidReportDescriptor signLayout(bool ids = false) {
    return {65, 65, ids};
}

// Waits for the reader, with a bound only so that a broken handle fails instead of hanging.
bool completes(WaitEvent& event) {
    return event.waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(20));
}

Bytes counting(size_t n, uint8_t first) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

class ReportHandle : public ::testing::Test {
protected:
    std::unique_ptr<platform::HidReportHandle> open(
        HidAccess access, std::optional<HidReportDescriptor> layout = signLayout()) {
        return std::make_unique<platform::HidReportHandle>(std::make_unique<FakeReportIo>(m_device),
                                                           access, layout);
    }
    void TearDown() override { EXPECT_FALSE(m_device->overlapped) << "device calls overlapped"; }

    std::shared_ptr<FakeDevice> m_device = std::make_shared<FakeDevice>();
};

// Without an event a caller can only ask until the write is no longer pending.
HidIo settled(platform::HidHandle& handle) {
    HidIo io = handle.result();
    for (; io == HidIo::Pending; io = handle.result())
        std::this_thread::yield();
    return io;
}

TEST_F(ReportHandle, WritesTheReportAsItIs) {
    auto handle = open(HidAccess::Write);
    Bytes report = counting(65, 0);
    WaitEvent event;
    ASSERT_EQ(handle->start(report.data(), report.size(), &event), HidIo::Pending);
    ASSERT_TRUE(completes(event));
    EXPECT_EQ(handle->result(), HidIo::Completed);
    ASSERT_EQ(handle->start(report.data(), report.size(), nullptr), HidIo::Pending);
    EXPECT_EQ(settled(*handle), HidIo::Completed);

    EXPECT_EQ(handle->start(nullptr, 65, &event), HidIo::Failed);
    EXPECT_EQ(handle->start(report.data(), 0, &event), HidIo::Failed);
    EXPECT_EQ(handle->result(), HidIo::Failed);
    m_device->change([this] { m_device->broken = true; });
    ASSERT_EQ(handle->start(report.data(), report.size(), &event), HidIo::Pending);
    ASSERT_TRUE(completes(event));
    EXPECT_EQ(handle->result(), HidIo::Failed);
    EXPECT_EQ(m_device->writtenSoFar(), (std::vector<Bytes>{report, report}));
}

// A sign that stops taking reports holds up the writer thread, never the caller.
TEST_F(ReportHandle, AWriteInTheDeviceLeavesTheCallerFree) {
    m_device->change([this] { m_device->holdWrites = true; });
    auto handle = open(HidAccess::Write);
    const Bytes sent = counting(65, 0);
    Bytes report = sent;
    WaitEvent event;
    event.set();  // left over from an earlier transfer
    ASSERT_EQ(handle->start(report.data(), report.size(), &event), HidIo::Pending);
    // The caller's buffer is free again at once.
    std::fill(report.begin(), report.end(), 0xFF);
    ASSERT_TRUE(m_device->waitFor([this] { return m_device->writesEntered == 1; }));
    EXPECT_EQ(handle->result(), HidIo::Pending);
    EXPECT_FALSE(event.look().set);

    m_device->change([this] { m_device->holdWrites = false; });
    ASSERT_TRUE(completes(event));
    EXPECT_EQ(handle->result(), HidIo::Completed);
    EXPECT_EQ(m_device->writtenSoFar(), std::vector<Bytes>{sent});
}

// Once a pending write is cancelled or replaced, its event is never set: not
// when the write in the device returns, nor when later writes complete.
class AbandonedWrite : public ReportHandle, public ::testing::WithParamInterface<bool> {};

TEST_P(AbandonedWrite, NeverSetsItsEvent) {
    const bool cancelled = GetParam();
    m_device->change([this] { m_device->holdWrites = true; });
    auto handle = open(HidAccess::Write);
    Bytes a = counting(65, 0), b = counting(65, 100), c = counting(65, 200);
    WaitEvent first, second, third;
    ASSERT_EQ(handle->start(a.data(), a.size(), &first), HidIo::Pending);
    ASSERT_TRUE(m_device->waitFor([this] { return m_device->writesEntered == 1; }));
    if (cancelled) {
        handle->cancel();
        EXPECT_EQ(handle->result(), HidIo::Failed);
    }
    // While the device still holds the first write, b waits behind it and c
    // replaces b, which therefore never goes out.
    ASSERT_EQ(handle->start(b.data(), b.size(), &second), HidIo::Pending);
    ASSERT_EQ(handle->start(c.data(), c.size(), &third), HidIo::Pending);

    // The first write returns; the writer drops its outcome before it takes up c.
    m_device->change([this] { ++m_device->writesLet; });
    ASSERT_TRUE(m_device->waitFor([this] { return m_device->writesEntered == 2; }));
    EXPECT_EQ(handle->result(), HidIo::Pending);
    EXPECT_FALSE(first.look().set);
    EXPECT_FALSE(second.look().set);
    EXPECT_FALSE(third.look().set);

    m_device->change([this] { ++m_device->writesLet; });
    ASSERT_TRUE(completes(third));
    EXPECT_EQ(handle->result(), HidIo::Completed);
    EXPECT_FALSE(first.look().set);
    EXPECT_FALSE(second.look().set);
    EXPECT_EQ(m_device->writtenSoFar(), (std::vector<Bytes>{a, c}));
}

INSTANTIATE_TEST_SUITE_P(Cases, AbandonedWrite, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Cancelled" : "Replaced"; });

TEST_F(ReportHandle, ClosingAnIdleWriterClosesTheDevice) {
    auto handle = open(HidAccess::Write);
    Bytes report = counting(65, 0);
    WaitEvent event;
    ASSERT_EQ(handle->start(report.data(), report.size(), &event), HidIo::Pending);
    ASSERT_TRUE(completes(event));
    handle.reset();
    EXPECT_TRUE(m_device->closed);
}

// Closing does not wait for a write that may never return; the device is closed
// only once it has, so the write never runs on a closed device.
TEST_F(ReportHandle, ClosingWithAWriteStuckInTheDeviceReturns) {
    m_device->change([this] { m_device->holdWrites = true; });
    auto handle = open(HidAccess::Write);
    auto event = std::make_unique<WaitEvent>();
    Bytes report = counting(65, 0);
    ASSERT_EQ(handle->start(report.data(), report.size(), event.get()), HidIo::Pending);
    ASSERT_TRUE(m_device->waitFor([this] { return m_device->writesEntered == 1; }));
    handle.reset();
    {
        std::lock_guard lock(m_device->mutex);
        EXPECT_FALSE(m_device->closed);
    }
    // Freed before the write returns, so that a late set would show under the sanitizers.
    event.reset();
    m_device->change([this] { m_device->holdWrites = false; });
    EXPECT_TRUE(m_device->waitFor([this] { return m_device->closed; }));
}

struct Placement {
    const char* name;
    bool ids;
    Bytes report;
    size_t length;
    Bytes expected;
};

class ReportPlacement : public ReportHandle, public ::testing::WithParamInterface<Placement> {};

// The caller's buffer always starts with the report id; the rest of it is cleared.
TEST_P(ReportPlacement, PutsTheIdByteFirst) {
    const Placement& p = GetParam();
    auto handle = open(HidAccess::Read, signLayout(p.ids));
    m_device->push(p.report);
    Bytes buffer(p.length, 0xEE);
    ASSERT_EQ(handle->start(buffer.data(), buffer.size(), nullptr), HidIo::Completed);
    EXPECT_EQ(buffer, p.expected);
}

Bytes withZeroFirst(Bytes data) {
    data.insert(data.begin(), 0);
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportPlacement,
    ::testing::Values(Placement{"Unnumbered", false, counting(64, 1), 65,
                                withZeroFirst(counting(64, 1))},
                      Placement{"Numbered", true, {7, 1, 2, 3}, 4, {7, 1, 2, 3}},
                      Placement{"ShortReport", true, {7, 1}, 5, {7, 1, 0, 0, 0}},
                      Placement{"LongReportIsCut", false, counting(64, 1), 4, {0, 1, 2, 3}},
                      Placement{"OnlyTheIdFits", false, {9, 9}, 1, {0}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ReportHandle, APendingReadCompletesWhenTheReportComes) {
    auto handle = open(HidAccess::Read);
    WaitEvent event;
    event.set();  // left over from an earlier transfer
    Bytes buffer(65, 0xEE);
    ASSERT_EQ(handle->start(buffer.data(), buffer.size(), &event), HidIo::Pending);
    EXPECT_FALSE(event.waitUntil(std::chrono::steady_clock::now()));
    EXPECT_EQ(handle->result(), HidIo::Pending);

    m_device->push(counting(64, 1));
    ASSERT_TRUE(completes(event));
    EXPECT_EQ(handle->result(), HidIo::Completed);
    EXPECT_EQ(buffer, withZeroFirst(counting(64, 1)));
}

TEST_F(ReportHandle, AnUnpluggedDeviceFailsThePendingRead) {
    auto handle = open(HidAccess::Read);
    WaitEvent event;
    Bytes buffer(65, 0xEE);
    ASSERT_EQ(handle->start(buffer.data(), buffer.size(), &event), HidIo::Pending);
    m_device->change([this] { m_device->broken = true; });
    ASSERT_TRUE(completes(event));
    EXPECT_EQ(handle->result(), HidIo::Failed);
    EXPECT_EQ(buffer, Bytes(65, 0xEE));
    EXPECT_EQ(handle->start(buffer.data(), buffer.size(), &event), HidIo::Failed);
}

// A report that comes after a cancel (or for a replaced read) goes to the next
// read, never into the buffer that was given up.
TEST_F(ReportHandle, CancelledAndReplacedReadsLeaveTheirBuffersAlone) {
    m_device->change([this] { m_device->slowReports = true; });
    auto handle = open(HidAccess::Read);
    WaitEvent event;
    Bytes dropped(65, 0xEE), replaced(65, 0xEE), current(65, 0xEE);
    ASSERT_EQ(handle->start(dropped.data(), dropped.size(), &event), HidIo::Pending);
    {
        // The reader is waiting for the device when the read is cancelled.
        std::unique_lock lock(m_device->mutex);
        m_device->changed.wait(lock, [this] { return m_device->waitingReads > 0; });
    }
    handle->cancel();
    EXPECT_EQ(handle->result(), HidIo::Failed);
    m_device->push(counting(64, 1));
    m_device->change([this] { m_device->slowReports = false; });
    EXPECT_EQ(handle->start(current.data(), current.size(), &event), HidIo::Completed);
    EXPECT_EQ(current, withZeroFirst(counting(64, 1)));

    ASSERT_EQ(handle->start(replaced.data(), replaced.size(), &event), HidIo::Pending);
    ASSERT_EQ(handle->start(current.data(), current.size(), &event), HidIo::Pending);
    m_device->push(counting(64, 100));
    ASSERT_TRUE(completes(event));
    EXPECT_EQ(handle->result(), HidIo::Completed);
    EXPECT_EQ(current, withZeroFirst(counting(64, 100)));
    EXPECT_EQ(dropped, Bytes(65, 0xEE));
    EXPECT_EQ(replaced, Bytes(65, 0xEE));
}

TEST_F(ReportHandle, ClosingWithAPendingReadTouchesNothingAfterwards) {
    auto handle = open(HidAccess::Read);
    auto event = std::make_unique<WaitEvent>();
    auto buffer = std::make_unique<Bytes>(65, 0xEE);
    ASSERT_EQ(handle->start(buffer->data(), buffer->size(), event.get()), HidIo::Pending);
    handle.reset();
    EXPECT_TRUE(m_device->closed);
    EXPECT_EQ(*buffer, Bytes(65, 0xEE));
    // Freed here so that a late write into them would show under the address sanitizer.
    buffer.reset();
    event.reset();
    m_device->push(counting(64, 1));
}

// Reports come in order, each exactly once, while reads are started, cancelled
// and restarted against a device that delivers from another thread.
TEST_F(ReportHandle, NoReportIsLostOrDuplicatedAroundCancels) {
    constexpr int kReports = 300;
    auto handle = open(HidAccess::Read, signLayout(true));
    // Each report is sent once a read waits, so that it races the reader and the cancels.
    std::jthread producer([this, &handle](std::stop_token stop) {
        for (int i = 0; i < kReports && !stop.stop_requested(); ++i) {
            while (handle->result() != HidIo::Pending && !stop.stop_requested())
                std::this_thread::yield();
            m_device->push({1, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
        }
    });
    std::vector<int> got;
    WaitEvent event;
    Bytes buffer(65);
    for (int attempt = 0; got.size() < kReports; ++attempt) {
        HidIo io = handle->start(buffer.data(), buffer.size(), &event);
        if (io == HidIo::Pending && attempt % 3 == 0) {
            handle->cancel();
            // The report may have come just before the cancel.
            io = handle->result();
            if (io == HidIo::Failed) continue;
        }
        if (io == HidIo::Pending) {
            ASSERT_TRUE(completes(event));
            io = handle->result();
        }
        ASSERT_EQ(io, HidIo::Completed);
        got.push_back(buffer[1] | buffer[2] << 8);
    }
    for (int i = 0; i < kReports; ++i)
        ASSERT_EQ(got[i], i);
}

}  // namespace
