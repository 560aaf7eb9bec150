// What the run relies on from any DiskSource, checked on the simulated chip and on
// this machine's disks (where a chip is seldom attached: then only the listing).
#include "flashtool/device/Chip.h"
#include "flashtool/linux/SysfsDiskSource.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

namespace {

using vornload::DiskSource;

struct Source {
    const char* name;
    std::function<std::unique_ptr<DiskSource>()> make;
};

std::unique_ptr<DiskSource> simulated() {
    std::string error;
    return std::make_unique<vornload::SimulatedDiskSource>(
        vornload::SimulatedChip::create({}, error));
}

class DiskSourceContract : public ::testing::TestWithParam<Source> {};

TEST_P(DiskSourceContract, ListsInNameOrderAndAnswersTheChipsQuery) {
    std::unique_ptr<DiskSource> source = GetParam().make();
    const std::vector<vornload::DiskInfo> disks = source->list();
    EXPECT_TRUE(std::is_sorted(disks.begin(), disks.end(),
                               [](const auto& a, const auto& b) { return a.name < b.name; }));
    int chips = 0;
    for (const vornload::DiskInfo& disk : disks) {
        const std::string id = vornload::identificationOf(disk);
        if (id.find("tz43") == std::string::npos && id.find("qk500") == std::string::npos) continue;
        ++chips;
        int error = 0;
        std::unique_ptr<vornload::ScsiTarget> target = source->open(disk, error);
        if (!target) {
            // Refused access is an answer too, with its reason.
            EXPECT_NE(error, 0);
            continue;
        }
        std::ostringstream out;
        vornload::Chip chip(std::move(target), id, out);
        vornload::MediaAnswer media;
        const int rc = chip.mediaQuery(0, 0, media);
        EXPECT_TRUE(rc == 0 || rc == 5) << rc;
        EXPECT_EQ(rc == 5, media.mediaCode == 0);
    }
    if (std::string(GetParam().name) == "simulated") {
        EXPECT_EQ(chips, 1);
    }
}

TEST_P(DiskSourceContract, AnUnknownDiskIsNotOpened) {
    std::unique_ptr<DiskSource> source = GetParam().make();
    int error = 0;
    EXPECT_FALSE(source->open({"no-such-disk", "x", "y"}, error));
    EXPECT_NE(error, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DiskSourceContract,
    ::testing::Values(Source{"simulated", simulated},
                      Source{"sysfs",
                             [] { return std::make_unique<vornload::SysfsDiskSource>(); }}),
    [](const ::testing::TestParamInfo<Source>& source) { return std::string(source.param.name); });

}  // namespace
