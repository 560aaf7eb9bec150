#include "flashtool/sim/SimulatedChipConfig.h"

#include "ChipTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using vornload::SimMedium;
using vornload::SimMemory;
using vornload::SimulatedChipConfig;

TEST(ParseSimulatedChip, DefaultsMatchTheShippedDescriptionFile) {
    SimulatedChipConfig config;
    std::string error;
    ASSERT_TRUE(vornload::parseSimulatedChip("nor", config, error)) << error;
    EXPECT_EQ(config.medium, SimMedium::spiNor);
    // The example isd_tools.cfg names FLASH_ID = EF4016.
    EXPECT_EQ(config.flashId, 0xEF4016u);
    EXPECT_EQ(config.vendor, "qk500");
    EXPECT_EQ(config.product, "uboot2.00");
    EXPECT_TRUE(config.stateFile.empty());
}

TEST(ParseSimulatedChip, ReadsEverySetting) {
    struct Case {
        std::string text;
        SimMedium medium;
        uint32_t id;
        std::string vendor;
        std::string product;
        std::string state;
    };
    const Case cases[] = {
        {"nand,id=c22017", SimMedium::spiNand, 0xC22017, "qk500", "uboot2.00", ""},
        {"sd,ident=TZ43uboot1.00,state=/tmp/x", SimMedium::sd, 0xEF4016, "tz43", "uboot1.00",
         "/tmp/x"},
        {"nor,state=s.bin,ident=tz43uboot2.00,id=0x1", SimMedium::spiNor, 1, "tz43", "uboot2.00",
         "s.bin"},
        {"nor,ident=actionsmp3player", SimMedium::spiNor, 0xEF4016, "actionsm", "p3player", ""},
        {"nor,ident=usb", SimMedium::spiNor, 0xEF4016, "usb", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SimulatedChipConfig config;
        std::string error;
        ASSERT_TRUE(vornload::parseSimulatedChip(c.text, config, error)) << error;
        EXPECT_EQ(config.medium, c.medium);
        EXPECT_EQ(config.flashId, c.id);
        EXPECT_EQ(config.vendor, c.vendor);
        EXPECT_EQ(config.product, c.product);
        EXPECT_EQ(config.stateFile, c.state);
    }
    EXPECT_FALSE(vornload::isLoaderIdentification("actionsm", "p3player"));
    EXPECT_TRUE(vornload::isLoaderIdentification("QK500 ", "uboot2.00   "));
}

TEST(ParseSimulatedChip, RefusesAnythingElse) {
    for (const char* text : {"", "NOR", "emmc", "nor,", "nor,id=", "nor,id=xyz", "nor,id=123456789",
                             "nor,id=1,id=2", "nor,size=4M", "nor,ident=", "nor,ident=a b",
                             "nor,ident=1234567890123456789012345", "nor,state=", "nor,id"}) {
        SCOPED_TRACE(text);
        SimulatedChipConfig config;
        config.flashId = 7;
        std::string error;
        EXPECT_FALSE(vornload::parseSimulatedChip(text, config, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(config.flashId, 7u);  // untouched
    }
}

std::string stateWith(const std::filesystem::path& file) {
    return "nor,state=" + file.string();
}

std::shared_ptr<vornload::SimulatedChip> chipOn(const std::filesystem::path& file,
                                                std::string& error) {
    SimulatedChipConfig config;
    if (!vornload::parseSimulatedChip(stateWith(file), config, error)) return nullptr;
    return vornload::SimulatedChip::create(config, error);
}

TEST(SimulatedChipState, SecondChipSeesWhatTheFirstWrote) {
    testing_support::TempDir dir;
    const auto file = dir / "medium.bin";
    std::string error;
    {
        auto first = chipOn(file, error);
        ASSERT_TRUE(first) << error;
        EXPECT_EQ(std::filesystem::file_size(file), 4u << 20);
        ASSERT_EQ(write(*first, 0x04, 0x10000, std::vector<uint8_t>(512, 0x42)), 0);
        ASSERT_EQ(write(*first, 0x04, 0x20000, std::vector<uint8_t>(512, 0x17)), 0);
        ASSERT_EQ(ask(*first, block(0xFB, 0x00, 0x20000))[2], 0);
        // Written through at once, while the chip still lives.
        const std::string bytes = testing_support::readFile(file);
        ASSERT_EQ(bytes.size(), 4u << 20);
        EXPECT_EQ(bytes[0x10000], 0x42);
        EXPECT_EQ(static_cast<uint8_t>(bytes[0x20000]), 0xFF);
    }
    auto second = chipOn(file, error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(read(*second, 0x05, 0x10000, 512), std::vector<uint8_t>(512, 0x42));
    EXPECT_EQ(read(*second, 0x05, 0x20000, 512), std::vector<uint8_t>(512, 0xFF));
    // Still flash: the kept 0x42 can only lose bits.
    ASSERT_EQ(write(*second, 0x04, 0x10000, std::vector<uint8_t>(512, 0x0F)), 0);
    EXPECT_EQ(read(*second, 0x05, 0x10000, 1), std::vector<uint8_t>{0x02});
}

TEST(SimulatedChipState, ShortFileIsExtendedWithErasedBytes) {
    testing_support::TempDir dir;
    const auto file = testing_support::writeFile(dir / "short.bin", "AB");
    std::string error;
    auto chip = chipOn(file, error);
    ASSERT_TRUE(chip) << error;
    EXPECT_EQ(chip->storage()[0], 'A');
    EXPECT_EQ(chip->storage()[1], 'B');
    EXPECT_EQ(chip->storage()[2], 0xFF);
    const std::string bytes = testing_support::readFile(file);
    ASSERT_EQ(bytes.size(), 4u << 20);
    EXPECT_EQ(bytes.substr(0, 3), "AB\xFF");
    EXPECT_EQ(static_cast<uint8_t>(bytes.back()), 0xFF);
}

TEST(SimulatedChipState, SymbolicLinkOrFolderIsRefused) {
    testing_support::TempDir dir;
    const auto target = testing_support::writeFile(dir / "elsewhere.bin", "keep");
    const auto link = dir / "medium.bin";
    std::filesystem::create_symlink(target, link);
    std::string error;
    EXPECT_FALSE(chipOn(link, error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_EQ(testing_support::readFile(target), "keep");

    error.clear();
    EXPECT_FALSE(chipOn(dir.path(), error));
    EXPECT_FALSE(error.empty());
}

TEST(SimulatedChipState, PlantedBytesAreKeptToo) {
    testing_support::TempDir dir;
    const auto file = dir / "medium.bin";
    std::string error;
    {
        auto chip = chipOn(file, error);
        ASSERT_TRUE(chip) << error;
        ASSERT_EQ(chip->plant(SimMemory::storage, 5, {1, 2, 3}), 0);
        ask(*chip, block(0xFB, 0x01, 0));  // sector 0 erased again
        ASSERT_EQ(chip->plant(SimMemory::storage, 0x200, {9}), 0);
        ask(*chip, block(0xFB, 0x02));  // and then the whole chip
        ASSERT_EQ(chip->plant(SimMemory::storage, 0x3FFFFF, {7}), 0);
    }
    const std::string bytes = testing_support::readFile(file);
    ASSERT_EQ(bytes.size(), 4u << 20);
    EXPECT_EQ(bytes.find_first_not_of('\xFF'), (4u << 20) - 1);
    EXPECT_EQ(bytes.back(), 7);
}

}  // namespace
