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
    std::atomic<int> inCall{0};
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
        std::lock_guard lock(mutex);
        if (broken) return -1;
        written.emplace_back(data, data + length);
        return static_cast<int>(length);
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
        --m_device->inCall;
        return n;
    }
    int write(const uint8_t* data, size_t length) override {
        enter();
        const int n = m_device->write(data, length);
        --m_device->inCall;
        return n;
    }

private:
    void enter() {
        if (m_device->inCall++ != 0) m_device->overlapped = true;
    }
    std::shared_ptr<FakeDevice> m_device;
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

TEST_F(ReportHandle, WritesTheReportAsItIs) {
    auto handle = open(HidAccess::Write);
    Bytes report = counting(65, 0);
    EXPECT_EQ(handle->start(report.data(), report.size(), nullptr), HidIo::Completed);
    EXPECT_EQ(handle->result(), HidIo::Completed);
    // With an event the write completes through it, as overlapped writes do.
    WaitEvent event;
    EXPECT_EQ(handle->start(report.data(), report.size(), &event), HidIo::Pending);
    EXPECT_TRUE(event.tryTake(std::chrono::steady_clock::now()));
    EXPECT_EQ(handle->result(), HidIo::Completed);
    EXPECT_EQ(handle->start(nullptr, 65, nullptr), HidIo::Failed);
    EXPECT_EQ(handle->start(report.data(), 0, nullptr), HidIo::Failed);
    m_device->change([this] { m_device->broken = true; });
    EXPECT_EQ(handle->start(report.data(), report.size(), nullptr), HidIo::Failed);
    EXPECT_EQ(m_device->written, (std::vector<Bytes>{report, report}));
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
