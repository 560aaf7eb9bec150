#include "flashtool/image/ImageBuilder.h"

#include "ImageExpect.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

using namespace imagetest;
using vornload::ApplicationPackage;
using vornload::FlashImage;
using vornload::ImageSettings;

constexpr Words words{0x55667788, 0x11223344, 0x01000000, 0x0A0B0C0D, 0x00001234};
constexpr uint32_t codeStart = 0x2000;

ImageSettings makeSettings(uint32_t zone) {
    ImageSettings s;
    s.sdramControl = words.sdramControl;
    s.refreshInterval = words.refreshInterval;
    s.runAddress = words.runAddress;
    s.clockWord = words.clockWord;
    s.spiWord = words.spiWord;
    s.codeStartOffset = codeStart;
    s.configZoneSize = zone;
    s.updateIoPin = 0x0541;
    s.updateLedPin = 0x0C42;
    s.updateDeviceName = {'A', 'B', 'C', 0, 0};
    // Field k holds 0xA0 + k, the builder's four fields included: they are "as they stand".
    for (size_t k = 0; k < 27; ++k)
        s.systemConfig[4 * k] = static_cast<uint8_t>(0xA0 + k);
    for (size_t k = 0; k < 27; ++k) {
        s.systemConfig[4 * k + 1] = 0;
        s.systemConfig[4 * k + 2] = 0;
        s.systemConfig[4 * k + 3] = 0;
    }
    return s;
}

Bytes toBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
std::string toString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

std::string line(const char* format, unsigned value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

class ImageBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "tmp");
        std::filesystem::create_directories(m_dir / "cwd");
        m_folders = {(m_dir / "tmp").string(), (m_dir / "cwd").string()};
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        return testing_support::writeFile(m_dir / "in" / name, toString(bytes)).string();
    }

    testing_support::TempDir m_dir;
    vornload::BuildFolders m_folders;
};

// user.app from one 1000-byte application file, worked out from the package tables.
Bytes expectedUserApp(const Bytes& app, uint32_t headerPos, uint32_t packageSize) {
    Bytes ua(headerPos + 512, 0xFF);
    put(ua, 0, app);
    entry(ua, headerPos, 0, 0, bitCrc(app), codeStart + 0, 1000, nameField("main.app"));
    // The table CRC covers two slots: the entry and the 0xFF slot after it.
    header(ua, headerPos, 1, 64, packageSize, words);
    return ua;
}

TEST_F(ImageBuilderTest, UserAppTableCrcCoversOneSlotMoreThanTheEntries) {
    const Bytes app = pattern(1000, 3);
    const std::vector<std::string> inputs{file("uboot.boot", pattern(10, 1)),
                                          file("Main.App", app)};
    ApplicationPackage package;
    std::ostringstream out;
    ASSERT_EQ(vornload::buildApplicationPackage(inputs, 512, makeSettings(0), m_folders.tempFolder,
                                                out, package),
              0);
    EXPECT_EQ(package.headerPosition, 1024u);
    EXPECT_EQ(package.size, 1536u);
    EXPECT_EQ(out.str(), "");
    const Bytes got = toBytes(testing_support::readFile(m_dir / "tmp" / "user.app"));
    const Bytes want = expectedUserApp(app, 1024, 1024);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(got, want);
    // 64 bytes, not the 32 of the one entry.
    const uint16_t tableCrc = static_cast<uint16_t>(got[1026] | got[1027] << 8);
    EXPECT_EQ(tableCrc, bitCrc(got.data() + 1056, 64));
    EXPECT_NE(tableCrc, bitCrc(got.data() + 1056, 32));
}

struct LayoutCase {
    const char* name;
    uint32_t alignment;
    uint32_t zone;
    uint32_t headerArea;
    uint32_t zoneAddress;
    uint32_t findAddress;
    uint32_t appAddress;
    uint32_t recordAddress;
    uint32_t packageSize;
    uint32_t flashFileSize;
    uint32_t userAppHeader;  // header position in user.app, also its package size
    uint32_t userAppSize;
};

class ImageLayoutTest : public ImageBuilderTest,
                        public ::testing::WithParamInterface<LayoutCase> {};

// A 10,000-byte "uboot.boot" and user.app from one 1000-byte file; every address by hand.
const LayoutCase layoutCases[] = {
    // boot 512..10511, zone 12288, find record 20480, user.app 20992.
    {"zone8192", 512, 8192, 512, 12288, 20480, 20992, 22528, 23040, 23040, 1024, 1536},
    // No zone: find record at 12288, zone placed after the files at 16384, nothing appended.
    {"zone0", 512, 0, 512, 16384, 12288, 12800, 14336, 14848, 16384, 1024, 1536},
    // Small zone: at the boot end rounded to 1024, find record at its end rounded to 512.
    {"zone1024", 512, 1024, 512, 11264, 12288, 13824, 15360, 15872, 15872, 1024, 1536},
    // Alignment above 512 (and not a power of two): header area 4160, boot at 4160..14159.
    {"align4160", 4160, 8192, 4160, 16384, 24576, 24960, 33280, 37440, 37440, 4160, 4672},
};

TEST_P(ImageLayoutTest, ImageIsByteForByteAndPrintsEveryLine) {
    const LayoutCase& c = GetParam();
    const ImageSettings settings = makeSettings(c.zone);
    const Bytes boot = pattern(10000, 9);
    const Bytes app = pattern(1000, 3);
    const std::vector<std::string> inputs{file("uboot.boot", boot), file("main.app", app)};

    ApplicationPackage package;
    std::ostringstream out;
    ASSERT_EQ(vornload::buildApplicationPackage(inputs, c.alignment, settings, m_folders.tempFolder,
                                                out, package),
              0);
    FlashImage image;
    ASSERT_EQ(vornload::buildImage(inputs, package, c.alignment, settings, m_folders, out, image),
              0)
        << out.str();

    const Bytes userApp = expectedUserApp(app, c.userAppHeader, c.userAppHeader);
    const uint32_t flashBase = c.appAddress - codeStart;
    const uint32_t headerAddress = c.userAppHeader + codeStart;
    const uint32_t zoneFileLength = c.zone + 32;

    Bytes want(c.flashFileSize, 0xFF);
    put(want, c.headerArea, boot);
    put(want, c.appAddress, userApp);
    Bytes record(settings.systemConfig.begin(), settings.systemConfig.end());
    const uint16_t recordCrc = bitCrc(record);  // over the record before the builder's fields
    le32(record, 8, c.flashFileSize);
    le32(record, 12, headerAddress);
    le32(record, 24, flashBase);
    le32(record, 32, c.zoneAddress);
    put(want, c.recordAddress, record);

    Bytes bootName = nameField("uboot.boot");
    bootName[15] = static_cast<uint8_t>(c.alignment & 0xFF);
    entry(want, 0, 0, 1, bitCrc(boot), c.headerArea, 10000, bootName);
    const Bytes zoneFile(zoneFileLength, 0xFF);
    entry(want, 0, 1, 3, bitCrc(zoneFile), c.findAddress, zoneFileLength, nameField("_____.____2"));
    entry(want, 0, 2, 2, bitCrc(userApp), c.appAddress, c.userAppSize, nameField("user.app"));
    entry(want, 0, 3, 3, recordCrc, c.recordAddress, 108, nameField("_____.____1"));
    header(want, 0, 4, 128, c.packageSize, words);

    Bytes find(25, 0);
    le16(find, 0, bitCrc(userApp));
    le16(find, 2, recordCrc);
    le32(find, 4, c.recordAddress);
    le16(find, 8, 0x0541);
    le32(find, 10, codeStart);
    le16(find, 14, 0x0C42);
    put(find, 16, {'A', 'B', 'C', 0, 0});
    put(want, c.findAddress, find);

    const Bytes got = toBytes(testing_support::readFile(m_dir / "tmp" / "zImag.img"));
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "first difference at offset " << i;

    std::string lines =
        line("uboot_find_cfg_addr:%x\n", c.findAddress) + line("app_file_addr:%x\n", c.appAddress) +
        line("flash_base:%x\n", flashBase) + line("sdfile_head_addr:%x\n", headerAddress) +
        line("sys_cfg_file_addr:%x\n", c.recordAddress) + line("file size = %d\n", c.packageSize) +
        line("cfg_zone_addr:%x\n", c.zoneAddress) + line("real file size %d\n", c.flashFileSize);
    const char* summary[] = {"flash_id",
                             "flash_size",
                             "flash_file_size",
                             "sdfile_head_addr",
                             "spi_run_mode",
                             "spi_div",
                             "flash_base",
                             "protected_arg",
                             "cfg_zone_addr",
                             "cfg_zone_size",
                             "sdram_refresh_cycle",
                             "sdram_refresh_time",
                             "sdram_cas_latency",
                             "sdram_trfc",
                             "sdram_trp",
                             "sdram_trcd",
                             "sdram_colum",
                             "sdram_clk_hd_en",
                             "sdram_trrd",
                             "sdram_clkoe",
                             "sdram_size",
                             "sdram_fast_clock_rate"};
    const uint32_t values[] = {0xA0,          0xA1, c.flashFileSize,
                               headerAddress, 0xA4, 0xA5,
                               flashBase,     0xA7, c.zoneAddress,
                               0xA9,          0xAA, 0xAB,
                               0xAC,          0xAD, 0xAE,
                               0xAF,          0xB0, 0xB1,
                               0xB2,          0xB3, 0xB4,
                               0xB5};
    for (size_t i = 0; i < 22; ++i)
        lines += std::string(summary[i]) + line(":%x\n", values[i]);
    lines += "osc_freq:183MHz\n";  // field 23 holds 0xA0 + 23
    EXPECT_EQ(out.str(), lines);

    EXPECT_EQ(image.flashFileSize, c.flashFileSize);
    EXPECT_EQ(image.configZoneAddress, c.zoneAddress);
    EXPECT_EQ(image.findRecordAddress, c.findAddress);
    EXPECT_EQ(toString(Bytes(image.systemConfig.begin(), image.systemConfig.end())),
              toString(record));
    // The pseudo-files are gone from the current folder.
    EXPECT_FALSE(std::filesystem::exists(m_dir / "cwd" / "_____.____2"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "cwd" / "_____.____1"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImageLayoutTest, ::testing::ValuesIn(layoutCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ImageBuilderTest, SixteenCharacterNameIsStoredWithoutTerminator) {
    const Bytes app = pattern(40, 5);
    const std::vector<std::string> inputs{file("uboot.boot", pattern(10, 1)),
                                          file("ABCDEFGHIJKL.app", app)};
    ApplicationPackage package;
    std::ostringstream out;
    ASSERT_EQ(vornload::buildApplicationPackage(inputs, 512, makeSettings(0), m_folders.tempFolder,
                                                out, package),
              0);
    const Bytes got = toBytes(testing_support::readFile(m_dir / "tmp" / "user.app"));
    ASSERT_EQ(got.size(), 1024u);
    EXPECT_EQ(toString(Bytes(got.begin() + 512 + 48, got.begin() + 512 + 64)), "abcdefghijkl.app");
    EXPECT_EQ(got[512 + 64], 0xFF);  // the spare slot
}

TEST_F(ImageBuilderTest, SeventeenCharacterNameStopsWithElevenAfterPrintingIt) {
    {
        SCOPED_TRACE("application file");
        const std::vector<std::string> inputs{file("uboot.boot", pattern(10, 1)),
                                              file("ABCDEFGHIJKLM.app", pattern(4, 1))};
        ApplicationPackage package;
        std::ostringstream out;
        EXPECT_EQ(vornload::buildApplicationPackage(inputs, 512, makeSettings(0),
                                                    m_folders.tempFolder, out, package),
                  11);
        EXPECT_EQ(out.str(), "ABCDEFGHIJKLM.app");
    }
    {
        SCOPED_TRACE("first file of the image");
        const std::vector<std::string> ok{file("uboot.boot", pattern(10, 1))};
        ApplicationPackage package;
        std::ostringstream out;
        ASSERT_EQ(vornload::buildApplicationPackage(ok, 512, makeSettings(0), m_folders.tempFolder,
                                                    out, package),
                  0);
        const std::vector<std::string> inputs{file("seventeen_ch.boot", pattern(10, 1))};
        FlashImage image;
        EXPECT_EQ(
            vornload::buildImage(inputs, package, 512, makeSettings(0), m_folders, out, image), 11);
        EXPECT_EQ(out.str(), "seventeen_ch.boot");
        EXPECT_FALSE(std::filesystem::exists(m_dir / "tmp" / "zImag.img"));
    }
}

class ZoneRejectionTest : public ImageBuilderTest,
                          public ::testing::WithParamInterface<uint32_t> {};

// 5000: not a multiple of 4096. 3000: the find record (15360) would land on user.app (15360).
TEST_P(ZoneRejectionTest, ZoneTheLayoutCannotHoldIsRefusedBeforeWriting) {
    const std::vector<std::string> inputs{file("uboot.boot", pattern(10000, 9)),
                                          file("main.app", pattern(1000, 3))};
    ApplicationPackage package;
    std::ostringstream out;
    ASSERT_EQ(vornload::buildApplicationPackage(inputs, 512, makeSettings(GetParam()),
                                                m_folders.tempFolder, out, package),
              0);
    FlashImage image;
    EXPECT_EQ(
        vornload::buildImage(inputs, package, 512, makeSettings(GetParam()), m_folders, out, image),
        1);
    EXPECT_NE(out.str().find("ERROR: cfg_zone_size"), std::string::npos) << out.str();
    EXPECT_FALSE(std::filesystem::exists(m_dir / "tmp" / "zImag.img"));
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneRejectionTest, ::testing::Values(5000u, 3000u, 4097u));

TEST_F(ImageBuilderTest, MissingFilesAndPlantedLinksGiveSix) {
    const std::string boot = file("uboot.boot", pattern(10, 1));
    std::ostringstream out;
    ApplicationPackage package;
    {
        SCOPED_TRACE("missing application file");
        EXPECT_EQ(
            vornload::buildApplicationPackage({boot, (m_dir / "none.app").string()}, 512,
                                              makeSettings(0), m_folders.tempFolder, out, package),
            6);
    }
    ASSERT_EQ(vornload::buildApplicationPackage({boot}, 512, makeSettings(0), m_folders.tempFolder,
                                                out, package),
              0);
    FlashImage image;
    {
        SCOPED_TRACE("missing first file");
        EXPECT_EQ(vornload::buildImage({(m_dir / "none.boot").string()}, package, 512,
                                       makeSettings(0), m_folders, out, image),
                  6);
    }
    const std::string victim = file("victim", toBytes("keep me"));
    {
        SCOPED_TRACE("zImag.img is a link");
        std::filesystem::create_symlink(victim, m_dir / "tmp" / "zImag.img");
        EXPECT_EQ(
            vornload::buildImage({boot}, package, 512, makeSettings(0), m_folders, out, image), 6);
        std::filesystem::remove(m_dir / "tmp" / "zImag.img");
    }
    {
        SCOPED_TRACE("a pseudo-file is a link");
        std::filesystem::create_symlink(victim, m_dir / "cwd" / "_____.____2");
        EXPECT_EQ(
            vornload::buildImage({boot}, package, 512, makeSettings(0), m_folders, out, image), 6);
        EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "cwd" / "_____.____2"));
    }
    EXPECT_EQ(testing_support::readFile(victim), "keep me");
}

TEST_F(ImageBuilderTest, ZeroAlignmentIsRefused) {
    const std::vector<std::string> inputs{file("uboot.boot", pattern(10, 1))};
    ApplicationPackage package;
    std::ostringstream out;
    EXPECT_EQ(vornload::buildApplicationPackage(inputs, 0, makeSettings(0), m_folders.tempFolder,
                                                out, package),
              1);
    FlashImage image;
    EXPECT_EQ(vornload::buildImage(inputs, package, 0, makeSettings(0), m_folders, out, image), 1);
}

TEST(ImageSizeCheck, LargerThanTheFlashStopsWithFive) {
    std::ostringstream out;
    EXPECT_EQ(vornload::checkImageSize(0x4000, 0x4000, out), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(vornload::checkImageSize(0x5a00, 0x4000, out), 5);
    EXPECT_EQ(out.str(), "flash file size(0x5a00) > flash size(0x4000)");
}

}  // namespace
