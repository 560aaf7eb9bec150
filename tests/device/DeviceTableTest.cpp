#include "device/DeviceTable.h"
#include "device/sim/SimulatedSign.h"

#include "support/HidBackendContract.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr uint16_t kVid = 0x0483, kPid = 0x5750;

class Table : public ::testing::Test {
protected:
    platform::VirtualClock clock;
    SimulatedSign sim{clock};
    DeviceTable table{sim};
};

TEST_F(Table, OneSignMakesTwoEntriesWithTheSamePath) {
    sim.addSign({});
    EXPECT_EQ(table.searchSigns(kVid, kPid), 2);
    EXPECT_EQ(table.keys(), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(table.info(0)->devicePath, table.info(1)->devicePath);
    EXPECT_EQ(table.inputReportLength(0), 0);  // not opened yet
    ASSERT_TRUE(table.open(0));
    EXPECT_EQ(table.inputReportLength(0), 65);
    EXPECT_EQ(table.outputReportLength(0), 65);
}

TEST_F(Table, KeysFollowEnumerationAndAreNeverReused) {
    SimulatedSign::Config other;
    other.vendorId = 0x1234;  // not a sign
    sim.addSign(other);
    sim.addSign({});
    sim.addSign({});
    EXPECT_EQ(table.searchSigns(kVid, kPid), 3);
    EXPECT_EQ(table.info(0)->devicePath, sim.pathOf(1));
    EXPECT_EQ(table.info(1)->devicePath, sim.pathOf(1));
    EXPECT_EQ(table.info(2)->devicePath, sim.pathOf(2));

    auto cancel = table.acquire(1)->cancel;
    EXPECT_EQ(table.searchSigns(kVid, kPid), 3);
    EXPECT_EQ(table.keys(), (std::vector<int32_t>{0, 3, 4}));
    EXPECT_TRUE(cancel->load());  // the old entry was destroyed

    sim.unplug(1);
    sim.unplug(2);
    EXPECT_EQ(table.searchSigns(kVid, kPid), 0);
    EXPECT_EQ(table.size(), 0);
}

TEST_F(Table, MissingKeysDoNothing) {
    uint8_t buffer[65] = {};
    EXPECT_FALSE(table.open(7));
    EXPECT_FALSE(table.write(7, buffer, sizeof buffer, nullptr));
    EXPECT_FALSE(table.read(7, buffer, sizeof buffer, nullptr));
    EXPECT_FALSE(table.isPending(7, DeviceTable::Both));
    EXPECT_EQ(table.outputReportLength(7), 0);
    EXPECT_FALSE(table.findDiskOfEntry(7));
    table.close(7);
    table.clearPending(7, DeviceTable::Both);
}

TEST_F(Table, FindEntryByPathIgnoresCase) {
    sim.addSign({});
    sim.addSign({});
    table.searchSigns(kVid, kPid);
    std::string path = sim.pathOf(1);
    for (auto& c : path)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(table.findEntryByPath(path), 2);
    EXPECT_EQ(table.findEntryByPath(sim.pathOf(0)), 0);
    EXPECT_FALSE(table.findEntryByPath("sim:nothing"));
}

TEST_F(Table, APendingWriteIsCollectedByTheNextCall) {
    sim.addSign({});
    table.searchSigns(kVid, kPid);
    ASSERT_TRUE(table.open(0));
    uint8_t report[65] = {0, 0x51, 0x56, 0, 1, 0, 1, 0, 1, 1};
    report[63] = 0xAB;
    report[64] = 0xAA;
    platform::WaitEvent event;
    ASSERT_TRUE(table.write(0, report, sizeof report, &event));
    ASSERT_TRUE(table.isPending(0, DeviceTable::Write));
    // Still pending after a wait that is too short: the next call says so again.
    EXPECT_EQ(clock.wait(event, 0ms), platform::WaitResult::TimedOut);
    EXPECT_TRUE(table.write(0, report, sizeof report, &event));
    EXPECT_TRUE(table.isPending(0, DeviceTable::Write));
    clock.advance(1ms);
    EXPECT_TRUE(table.write(0, report, sizeof report, &event));
    EXPECT_FALSE(table.isPending(0, DeviceTable::Write));
    EXPECT_EQ(sim.stats(0).packetsTaken, 1);

    // A sign that went away fails the write and leaves nothing pending.
    sim.unplug(0);
    EXPECT_FALSE(table.write(0, report, sizeof report, &event));
    EXPECT_FALSE(table.isPending(0, DeviceTable::Write));
}

TEST_F(Table, DisksOfTheSamePhysicalDevice) {
    SimulatedSign::Config withDisk;
    withDisk.disk = platform::HidDiskInfo{"/dev/sdz", 2064, "/dev/sdz1", "/media/sign", true};
    SimulatedSign::Config unmounted;
    unmounted.disk = platform::HidDiskInfo{"/dev/sdy", 2048, "", "", true};
    sim.addSign(withDisk);
    sim.addSign(unmounted);
    sim.addSign({});
    table.searchSigns(kVid, kPid);
    table.findDisks();
    EXPECT_EQ(table.info(0)->rootPath, "/media/sign");
    EXPECT_EQ(table.info(1)->diskNumber, 2064u);
    EXPECT_EQ(table.info(2)->diskPath, "/dev/sdy");
    EXPECT_EQ(table.info(2)->rootPath, "");
    EXPECT_TRUE(table.findDiskOfEntry(2));
    EXPECT_FALSE(table.findDiskOfEntry(3));
    EXPECT_EQ(table.info(3)->diskPath, "");
}

HidBackendUnderTest makeSimulated() {
    HidBackendUnderTest under;
    auto clock = std::make_unique<platform::VirtualClock>();
    auto sim = std::make_unique<SimulatedSign>(*clock);
    sim->addSign({});
    under.signPath = sim->pathOf(0);
    under.clock = std::move(clock);
    under.backend = std::move(sim);
    return under;
}

INSTANTIATE_TEST_SUITE_P(Simulated, HidBackendContract, ::testing::Values(&makeSimulated),
                         contractName);

}  // namespace
