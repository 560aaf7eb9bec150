#include "device/sim/SimulatedSign.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::HidHotplugEvent;
using platform::HidIo;

namespace {

// A one-packet block as a 65-byte report, laid out field by field: report ID
// 0, "QV", length, count 1, number 1, kind, payload, the sum of packet bytes
// 0 … 60, 0xAA.
std::vector<uint8_t> oneShot(uint8_t kind, std::vector<uint8_t> payload) {
    std::vector<uint8_t> r(65, 0);
    uint8_t* p = r.data() + 1;
    p[0] = 0x51;
    p[1] = 0x56;
    p[3] = static_cast<uint8_t>(payload.size());
    p[5] = 1;
    p[7] = 1;
    p[8] = kind;
    std::copy(payload.begin(), payload.end(), p + 9);
    unsigned sum = 0;
    for (int k = 0; k <= 60; ++k)
        sum += p[k];
    p[61] = static_cast<uint8_t>(sum >> 8);
    p[62] = static_cast<uint8_t>(sum);
    p[63] = 0xAA;
    return r;
}

// Writes reports to one sign and reads its replies, on a virtual clock.
class Link {
public:
    Link(SimulatedSign& sim, platform::VirtualClock& clock, int sign)
        : m_clock(clock),
          m_write(sim.open(sim.pathOf(sign), platform::HidAccess::Write)),
          m_read(sim.open(sim.pathOf(sign), platform::HidAccess::Read)) {}

    bool opened() const { return m_write && m_read; }

    HidIo write(std::vector<uint8_t> report) {
        m_out = std::move(report);
        return m_write->start(m_out.data(), m_out.size(), &m_writeEvent);
    }

    // The reply's report bytes 10 (status) and 11 (first value).
    std::pair<int, int> reply() {
        m_in.assign(65, 0);
        HidIo io = m_read->start(m_in.data(), m_in.size(), &m_readEvent);
        if (io == HidIo::Pending &&
            m_clock.wait(m_readEvent, 1s) == platform::WaitResult::Signalled)
            io = m_read->result();
        if (io != HidIo::Completed) return {-1, -1};
        return {m_in[10], m_in[11]};
    }

private:
    platform::VirtualClock& m_clock;
    // Before the handles: a handle cancels what it still runs on them when it goes.
    platform::WaitEvent m_writeEvent, m_readEvent;
    std::vector<uint8_t> m_out, m_in;
    std::unique_ptr<platform::HidHandle> m_write, m_read;
};

// What the watches heard, one line per event.
class Heard {
public:
    platform::HidHotplugListener listener() {
        return [this](const HidHotplugEvent& e) {
            char ids[16];
            std::snprintf(ids, sizeof ids, " %04x:%04x", e.vendorId, e.productId);
            std::lock_guard lock(m_mutex);
            m_lines.push_back((e.kind == HidHotplugEvent::Kind::Arrived ? "arrived " : "removed ") +
                              e.path + ids);
            m_changed.notify_all();
        };
    }
    // Waits until `count` events have come (the watch's own thread delivers them).
    std::vector<std::string> atLeast(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 20s, [&] { return m_lines.size() >= count; });
        return m_lines;
    }
    std::vector<std::string> now() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};

SimulatedSign::Config signFrom(const std::string& text) {
    std::string error;
    auto config = SimulatedSign::parseVirtualSign(text, error);
    EXPECT_TRUE(config) << text << ": " << error;
    return config.value_or(SimulatedSign::Config{});
}

TEST(SimulatedSignOptions, EveryOptionAtOnce) {
    const auto c =
        signFrom("64X16:delay=250,port=7,status=5:8,status=0:2,unplug=30,firmware=later:3");
    EXPECT_EQ(c.width, 64);
    EXPECT_EQ(c.height, 16);
    EXPECT_EQ(c.replyDelay, 250ms);
    EXPECT_EQ(c.portAddress, 7);
    EXPECT_EQ(c.statusByKind, (std::map<uint8_t, uint8_t>{{0, 2}, {5, 8}}));
    EXPECT_EQ(c.unplugAfterPackets, 30);
    EXPECT_EQ(c.firmware.busyAnswers, 3);
    EXPECT_FALSE(c.firmware.viaFlashTool);
}

TEST(SimulatedSignOptions, BoundsAreTaken) {
    auto low = signFrom("1x1:delay=0,port=0,unplug=1,status=0:0,firmware=later:0");
    EXPECT_EQ(low.replyDelay, 0ms);
    EXPECT_EQ(low.portAddress, 0);
    EXPECT_EQ(low.unplugAfterPackets, 1);
    EXPECT_EQ(low.statusByKind.at(0), 0);
    EXPECT_EQ(low.firmware.busyAnswers, 0);
    auto high = signFrom(
        "255x127:delay=60000,port=255,unplug=10000000,status=255:255,"
        "firmware=later:10000");
    EXPECT_EQ(high.replyDelay, 60000ms);
    EXPECT_EQ(high.portAddress, 255);
    EXPECT_EQ(high.unplugAfterPackets, 10000000);
    EXPECT_EQ(high.statusByKind.at(255), 255);
    EXPECT_EQ(high.firmware.busyAnswers, 10000);
    EXPECT_EQ(signFrom("48x12:port=none").portAddress, -1);
    const auto ready = signFrom("48x12:firmware=ready");
    EXPECT_EQ(ready.firmware.busyAnswers, 0);
    const auto tool = signFrom("48x12:firmware=flashtool");
    EXPECT_EQ(tool.firmware.busyAnswers, SimulatedSign::kAlwaysBusy);
    EXPECT_TRUE(tool.firmware.viaFlashTool);
}

struct BadSign {
    const char* given;
    const char* said;  // part of the error text
};

class SimulatedSignBadOptions : public testing::TestWithParam<BadSign> {};

TEST_P(SimulatedSignBadOptions, IsRefusedNamingWhat) {
    std::string error;
    EXPECT_FALSE(SimulatedSign::parseVirtualSign(GetParam().given, error));
    EXPECT_NE(error.find(GetParam().said), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    All, SimulatedSignBadOptions,
    testing::Values(
        BadSign{"48x", "'48x' is not a sign size"}, BadSign{"256x12", "not a sign size"},
        BadSign{"48x128:port=1", "'48x128' is not"}, BadSign{"0x12", "not a sign size"},
        BadSign{"48x12:", "empty option"}, BadSign{"48x12:delay=5,", "empty option"},
        BadSign{"48x12:delay=5,,port=1", "empty option"}, BadSign{"48x12:delay", "'delay' has no"},
        BadSign{"48x12:delay=60001", "'delay=60001'"}, BadSign{"48x12:delay=-1", "'delay=-1'"},
        BadSign{"48x12:delay=+5", "'delay=+5'"}, BadSign{"48x12:delay= 5", "'delay= 5'"},
        BadSign{"48x12:delay=5ms", "'delay=5ms'"}, BadSign{"48x12:delay=", "'delay='"},
        BadSign{"48x12:delay=4294967301", "'delay=4294967301'"},
        BadSign{"48x12:delay=1,delay=2", "delay is given twice"},
        BadSign{"48x12:port=256", "'port=256'"}, BadSign{"48x12:port=-1", "'port=-1'"},
        BadSign{"48x12:port=None", "'port=None'"}, BadSign{"48x12:port=1,port=none", "port is"},
        BadSign{"48x12:status=5", "'status=5'"}, BadSign{"48x12:status=5:256", "'status=5:256'"},
        BadSign{"48x12:status=256:0", "'status=256:0'"}, BadSign{"48x12:status=:1", "'status=:1'"},
        BadSign{"48x12:status=5:1:2", "'status=5:1:2'"},
        BadSign{"48x12:status=5:8,status=5:8", "kind 5 already has a status"},
        BadSign{"48x12:status=5:1,status=0:1,status=5:2", "'status=5:2'"},
        BadSign{"48x12:unplug=0", "'unplug=0'"}, BadSign{"48x12:unplug=10000001", "'unplug="},
        BadSign{"48x12:firmware=later", "'firmware=later'"},
        BadSign{"48x12:firmware=later:", "'firmware=later:'"},
        BadSign{"48x12:firmware=later:10001", "'firmware=later:10001'"},
        BadSign{"48x12:firmware=soon", "'firmware=soon'"},
        BadSign{"48x12:firmware=ready,firmware=flashtool", "firmware is given twice"},
        BadSign{"48x12:colour=red", "unknown option 'colour=red'"},
        BadSign{"48x12:Delay=5", "unknown option 'Delay=5'"},
        BadSign{"48x12:disk=", "'disk=': the disk must be an existing folder"},
        BadSign{"48x12:disk=/no/such/folder/here", "existing folder"},
        BadSign{"48x12:disk=/", "root folder"}));

TEST(SimulatedSignOptions, DiskIsTheFolderThroughFindDisk) {
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir / "card");
    testing_support::writeFile(dir / "file", "x");
    std::string error;
    EXPECT_FALSE(SimulatedSign::parseVirtualSign("48x12:disk=" + (dir / "file").string(), error));
    EXPECT_NE(error.find("existing folder"), std::string::npos) << error;

    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    sim.addSign(signFrom("48x12:port=none"));
    // A trailing separator goes: file names are appended to the root with one.
    sim.addSign(signFrom("48x12:disk=" + (dir / "card").string() + "/"));
    sim.addSign(signFrom("48x12:port=9"));
    const auto signs = sim.enumerate();
    ASSERT_EQ(signs.size(), 3u);
    EXPECT_EQ(signs[0].portAddress, -1);
    EXPECT_EQ(signs[1].portAddress, 2);  // the sign's number
    EXPECT_EQ(signs[2].portAddress, 9);
    EXPECT_FALSE(sim.findDisk(signs[0].containerId));
    const auto disk = sim.findDisk(signs[1].containerId);
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->rootPath, (dir / "card").string());
    EXPECT_TRUE(disk->removable);
    EXPECT_NE(disk->diskPath.find((dir / "card").string()), std::string::npos);
    EXPECT_NE(disk->volumeName.find((dir / "card").string()), std::string::npos);
}

struct FirmwareCase {
    const char* given;
    std::vector<std::pair<int, int>> replies;  // status and first value, request by request
};

class SimulatedSignFirmware : public testing::TestWithParam<FirmwareCase> {};

TEST_P(SimulatedSignFirmware, AnswersEachRequest) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    sim.addSign(signFrom(GetParam().given));
    Link link(sim, clock, 0);
    ASSERT_TRUE(link.opened());
    for (size_t k = 0; k < GetParam().replies.size(); ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(link.write(oneShot(5, {0x00})), HidIo::Pending);
        EXPECT_EQ(link.reply(), GetParam().replies[k]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, SimulatedSignFirmware,
    testing::Values(FirmwareCase{"48x12", {{0, 0}, {0, 0}}},
                    FirmwareCase{"48x12:firmware=ready", {{0, 0}, {0, 0}, {0, 0}}},
                    FirmwareCase{"48x12:firmware=later:2", {{8, 0}, {8, 0}, {0, 0}, {0, 0}}},
                    FirmwareCase{"48x12:firmware=later:0", {{0, 0}}},
                    FirmwareCase{"48x12:firmware=flashtool", {{8, 1}, {8, 1}, {8, 1}, {8, 1}}},
                    // A status of its own for the kind comes before any firmware answer.
                    FirmwareCase{"48x12:status=5:3,firmware=later:1", {{3, 0}, {3, 0}}},
                    FirmwareCase{"48x12:status=1:3", {{0, 0}}}));

TEST(SimulatedSignHotplug, EventsInOrderUntilTheWatchGoes) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    sim.addSign(signFrom("48x12:unplug=3"));
    sim.addSign(signFrom("64x16"));
    const std::string a = sim.pathOf(0), b = sim.pathOf(1);
    Heard first;
    auto watch = sim.watch(first.listener());
    ASSERT_TRUE(watch);

    // Two packets taken: still there. B going and coming marks the moment.
    {
        Link link(sim, clock, 0);
        ASSERT_TRUE(link.opened());
        link.write(oneShot(1, {1}));
        link.write(oneShot(1, {2}));
        sim.unplug(1);
        sim.plugIn(1);
        EXPECT_EQ(first.atLeast(2), (std::vector<std::string>{"removed " + b + " 0000:0000",
                                                              "arrived " + b + " 0483:5750"}));
        // The third is taken, then the sign is gone.
        EXPECT_EQ(link.write(oneShot(1, {3})), HidIo::Pending);
        EXPECT_EQ(first.atLeast(3).back(), "removed " + a + " 0000:0000");
        EXPECT_EQ(sim.stats(0).packetsTaken, 3);
        EXPECT_FALSE(sim.isPresent(0));
        EXPECT_EQ(link.write(oneShot(1, {4})), HidIo::Failed);
    }
    // Nothing is reported for what already is so.
    sim.unplug(0);
    sim.plugIn(1);
    EXPECT_TRUE(sim.enumerate().size() == 1 && sim.enumerate()[0].path == b);

    sim.plugIn(0);
    EXPECT_TRUE(sim.isPresent(0));
    {
        // Plugged in again it takes packets, and is not pulled a second time.
        Link link(sim, clock, 0);
        ASSERT_TRUE(link.opened());
        for (uint8_t k = 0; k < 4; ++k)
            EXPECT_EQ(link.write(oneShot(1, {k})), HidIo::Pending);
        EXPECT_EQ(sim.stats(0).packetsTaken, 7);
    }
    sim.unplug(1);
    EXPECT_EQ(first.atLeast(5), (std::vector<std::string>{
                                    "removed " + b + " 0000:0000",
                                    "arrived " + b + " 0483:5750",
                                    "removed " + a + " 0000:0000",
                                    "arrived " + a + " 0483:5750",
                                    "removed " + b + " 0000:0000",
                                }));

    // A second watch hears only what happens from its start on; the first,
    // once destroyed, hears nothing more.
    Heard second;
    auto later = sim.watch(second.listener());
    watch.reset();
    sim.plugIn(1);
    sim.unplug(0);
    EXPECT_EQ(second.atLeast(2), (std::vector<std::string>{"arrived " + b + " 0483:5750",
                                                           "removed " + a + " 0000:0000"}));
    EXPECT_EQ(first.now().size(), 5u);
}

TEST(SimulatedSignHotplug, DestroyingAWatchWaitsForItsListener) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock, {{48, 12}});
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false, destroying = false, returned = false;
    auto watch = sim.watch([&](const HidHotplugEvent&) {
        std::unique_lock lock(mutex);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return destroying; });
        lock.unlock();
        // The destructor is on its way; give it every chance to return too early.
        std::this_thread::sleep_for(50ms);
        lock.lock();
        returned = true;
    });
    sim.unplug(0);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return entered; }));
    }
    std::thread destroyer([&] {
        {
            std::lock_guard lock(mutex);
            destroying = true;
        }
        cv.notify_all();
        watch.reset();
        std::lock_guard lock(mutex);
        EXPECT_TRUE(returned);
    });
    destroyer.join();
}

TEST(SimulatedSignHotplug, AListenerMayEndItsOwnWatchAndUseTheSigns) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock, {{48, 12}, {48, 12}});
    std::unique_ptr<platform::HidWatch> watch;
    Heard heard;
    std::mutex mutex;
    int calls = 0;
    int present = -1;
    watch = sim.watch([&](const HidHotplugEvent&) {
        // Under a lock of the signs this would never return.
        std::lock_guard lock(mutex);
        present = static_cast<int>(sim.enumerate().size());
        ++calls;
        watch.reset();
    });
    auto other = sim.watch(heard.listener());
    sim.unplug(0);
    sim.unplug(1);
    heard.atLeast(2);
    std::lock_guard lock(mutex);
    EXPECT_EQ(calls, 1);
    EXPECT_LE(present, 1);
}

}  // namespace
