#include "flashtool/sim/SimulatedDiskSource.h"

#include "ChipTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using vornload::DiskInfo;
using vornload::SimulatedChipConfig;
using vornload::SimulatedDiskSource;

// Selector 3, parameter 0x4016 big-endian in bytes 6 and 7.
const CommandBlock modeSwitch = {0xFC, 0x0A, 0x03, 0, 0, 0, 0x40, 0x16, 0, 0, 0, 0, 0, 0, 0, 0};

SimulatedChipConfig identified(const std::string& vendor, const std::string& product,
                               unsigned delay = 2) {
    SimulatedChipConfig config;
    config.vendor = vendor;
    config.product = product;
    config.switchDelay = delay;
    return config;
}

TEST(SimulatedDiskSource, ListsThePaddedStringsAndOpensTheChip) {
    SimulatedDiskSource source(makeChip());
    const std::vector<DiskInfo> disks = source.list();
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].name, "sim0");
    EXPECT_EQ(disks[0].vendor, "qk500   ");
    EXPECT_EQ(disks[0].product, "uboot2.00       ");
    int error = -1;
    auto target = source.open(disks[0], error);
    ASSERT_TRUE(target);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ask(*target, block(0xFC, 0x0A))[2], 22);

    source.open(DiskInfo{"sdb", "", ""}, error);
    EXPECT_EQ(error, ENODEV);
}

class ModeSwitch : public testing::TestWithParam<unsigned> {};

TEST_P(ModeSwitch, ChipLeavesForTheDelayAndComesBackInItsLoader) {
    const unsigned delay = GetParam();
    auto chip = makeChip(identified("ACME", "MP3PLAYER", delay));
    SimulatedDiskSource source(chip);
    const std::vector<DiskInfo> before = source.list();
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].vendor, "ACME    ");
    int error = 0;
    auto target = source.open(before[0], error);
    ASSERT_TRUE(target);

    int result = -1;
    EXPECT_EQ(ask(*target, modeSwitch, &result)[0], 0xFC);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(chip->counters().modeSwitches, 1u);
    // The handle of the old disk is gone with it.
    EXPECT_EQ(ask(*target, block(0xFC, 0x0A), &result)[0], 0xEE);
    EXPECT_EQ(result, ENODEV);

    for (unsigned look = 0; look < delay; ++look) {
        SCOPED_TRACE(look);
        EXPECT_TRUE(source.list().empty());
        EXPECT_FALSE(source.open(before[0], error));
    }
    const std::vector<DiskInfo> after = source.list();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].vendor, "qk500   ");
    EXPECT_EQ(after[0].product, "uboot2.00       ");
    auto again = source.open(after[0], error);
    ASSERT_TRUE(again);
    EXPECT_EQ(ask(*again, block(0xFC, 0x0A))[0], 0xFC);
}

INSTANTIATE_TEST_SUITE_P(Delays, ModeSwitch, testing::Values(0u, 2u, 5u));

TEST(SimulatedDiskSource, LoaderIdentificationsIgnoreTheModeSwitch) {
    for (const auto& [vendor, product] : std::vector<std::pair<std::string, std::string>>{
             {"tz43", "uboot1.00"}, {"tz43", "uboot2.00"}, {"QK500", "UBOOT2.00"}}) {
        SCOPED_TRACE(vendor + product);
        auto chip = makeChip(identified(vendor, product));
        SimulatedDiskSource source(chip);
        ask(*chip, modeSwitch);
        EXPECT_EQ(chip->counters().modeSwitches, 1u);
        const std::vector<DiskInfo> disks = source.list();
        ASSERT_EQ(disks.size(), 1u);
        EXPECT_EQ(disks[0].vendor.substr(0, vendor.size()), vendor);
    }
}

TEST(SimulatedDiskSource, UnpluggedChipIsNotListedAndDoesNotAnswer) {
    auto chip = makeChip();
    SimulatedDiskSource source(chip);
    int error = 0;
    auto target = source.open(source.list().at(0), error);
    ASSERT_TRUE(target);
    chip->unplug();
    EXPECT_TRUE(source.list().empty());
    int result = 0;
    ask(*target, block(0xFC, 0x0A), &result);
    EXPECT_EQ(result, ENODEV);
    chip->plugIn();
    ask(*target, block(0xFC, 0x0A), &result);
    EXPECT_EQ(result, ENODEV);  // a new arrival needs a new open
    ASSERT_EQ(source.list().size(), 1u);
    target = source.open(source.list().at(0), error);
    ASSERT_TRUE(target);
    ask(*target, block(0xFC, 0x0A), &result);
    EXPECT_EQ(result, 0);
}

}  // namespace
