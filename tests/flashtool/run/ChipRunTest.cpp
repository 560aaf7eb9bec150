#include "flashtool/run/Run.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include "RunTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using vornload::SimMemory;
using vornload::SimulatedChipConfig;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

using runtest::pattern;
const char* const board = runtest::kBoard;

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

class ChipRun : public ::testing::Test {
protected:
    ChipRun() {
        fs::create_directories(m_temp);
        writeFile(m_dir / "isd_tools.cfg", board);
        writeFile(m_dir / "uboot.boot", pattern(10000, 1));
        writeFile(m_dir / "app.app", pattern(5000, 2));
    }

    void attach(const SimulatedChipConfig& config) {
        std::string error;
        m_chip = vornload::SimulatedChip::create(config, error);
        ASSERT_TRUE(m_chip) << error;
        m_disks = std::make_unique<vornload::SimulatedDiskSource>(m_chip);
    }

    int run(std::vector<std::string> args) {
        m_out.str("");
        m_pauses.clear();
        vornload::RunEnvironment env;
        env.out = &m_out;
        env.notice = &m_notice;
        env.currentFolder = m_dir.path().string();
        env.tempFolder = m_temp.string();
        env.disks = m_disks.get();
        env.pause = [this](uint32_t ms) { m_pauses.push_back(ms); };
        return vornload::runCommandLine(args, env);
    }

    void expectInOrder(const std::vector<std::string>& lines) const {
        runtest::expectInOrder(m_out.str(), lines);
    }

    bool printed(const std::string& text) const {
        return m_out.str().find(text) != std::string::npos;
    }

    TempDir m_dir;
    fs::path m_temp = m_dir / "tmp";
    std::shared_ptr<vornload::SimulatedChip> m_chip;
    std::unique_ptr<vornload::SimulatedDiskSource> m_disks;
    std::ostringstream m_out;
    std::ostringstream m_notice;
    std::vector<uint32_t> m_pauses;
};

TEST_F(ChipRun, TheLoadersOwnChipIsWrittenWithoutSwitchOrLoader) {
    attach({});
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app", "-tonorflash"}), 0);
    expectInOrder({"qk500uboot2.00\n", "Do not need to run loader\n", "SPI nor flash online\n",
                   "device id: EF4016\n", "make flash image ok\n", "\nWrite File 2Disk",
                   "write file to Flash ok\n\n"});
    EXPECT_EQ(m_chip->counters().modeSwitches, 0u);
    EXPECT_TRUE(m_chip->runs().empty());
    const std::string image = readFile(m_temp / "zImag.img");
    ASSERT_EQ(image.size(), 27136u);
    EXPECT_EQ(std::string(m_chip->storage().begin(), m_chip->storage().begin() + 27136), image);
    EXPECT_EQ(readFile(m_dir / "cv_isd.bin"), image);
    EXPECT_EQ(readFile(m_dir / "no_isd_file"), "no_isd_fil");

    // Again: the chip holds it already.
    m_chip->clearRecords();
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app", "-tonorflash"}), 0);
    EXPECT_EQ(m_chip->counters().writeStorage, 0u);
    EXPECT_EQ(m_chip->counters().eraseBlock, 0u);
}

TEST_F(ChipRun, TheFirstBootLoaderGetsTheLoaderAndItsArguments) {
    SimulatedChipConfig tz;
    tz.vendor = "tz43";
    tz.product = "uboot1.00";
    attach(tz);
    writeFile(m_dir / "qk500loader.bin", pattern(1000, 5));
    writeFile(m_dir / "data.bin", pattern(700, 6));
    EXPECT_EQ(run({"-tosdram", "data.bin", "0x30000", "-tonorflash", "-div3", "-f", "uboot.boot",
                   "app.app"}),
              0);
    expectInOrder({"QK500\n", "SPI nor flash online\n", "data.bin---->0x30000\n",
                   "write file to Flash ok\n"});
    EXPECT_FALSE(printed("Do not need"));
    const Bytes& ram = m_chip->ram();
    const std::string loader = pattern(1000, 5);
    EXPECT_EQ(std::string(ram.begin() + 0x2000, ram.begin() + 0x2000 + 1000), loader);
    // The argument block 32 bytes below the loader: valid mark, mode 1 at offset 24.
    EXPECT_EQ(le32(ram, 0x1FE0), 0xAA55AA55u);
    EXPECT_EQ(le32(ram, 0x1FE0 + 24), 1u);
    EXPECT_EQ(le32(ram, 0x1FE0 + 16), 3u);  // a data width of 4 is stored as 3
    EXPECT_EQ(m_chip->runs(), (std::vector<vornload::SimulatedRun>{{0x2000, 3 * 16 + 1}}));
    EXPECT_EQ(std::string(ram.begin() + 0x30000, ram.begin() + 0x30000 + 700), pattern(700, 6));
    // Without "-runaddr" the image starts the code at 0x1000000.
    const std::string image = readFile(m_temp / "zImag.img");
    EXPECT_EQ(le32(Bytes(image.begin(), image.begin() + 32), 20), 0x1000000u);

    // Without the loader file the run warns and goes on.
    fs::remove(m_dir / "qk500loader.bin");
    EXPECT_EQ(run({"-tonorflash", "-go", "0x8000"}), 0);
    expectInOrder({"WARNING: can't find qk500loader.bin", "goto addr(0x00008000) run....\n"});
    EXPECT_EQ(m_chip->runs().back(), (vornload::SimulatedRun{0x8000, 1}));
}

TEST_F(ChipRun, AnUnknownChipIsSwitchedAndLookedForAgain) {
    SimulatedChipConfig other;
    other.vendor = "ACME";
    other.product = "DISK";
    other.switchDelay = 2;
    attach(other);
    EXPECT_EQ(run({"-tonorflash", "-wait", "100", "-dev", "acme"}), 0);
    EXPECT_EQ(m_chip->counters().modeSwitches, 1u);
    // The wait after the request, two misses, then twice the wait once found.
    EXPECT_EQ(m_pauses, (std::vector<uint32_t>{100, 100, 100, 200}));
    expectInOrder({"acmedisk\n", "qk500uboot2.00\n", "Do not need to run loader\n"});

    other.switchDelay = 25;
    attach(other);
    EXPECT_EQ(run({"-tonorflash", "-wait", "10", "-dev", "acme"}), 4);
    EXPECT_EQ(m_pauses.size(), 21u);
    expectInOrder({"device offline\n", "-ISD_ERR_DEV_OFFLINE\n"});
}

TEST_F(ChipRun, ReadsWrongStorageDataFlashAndQueries) {
    attach({});
    const Bytes stored(Bytes::size_type{2048}, 0x5A);
    m_chip->plant(SimMemory::storage, 0x1000, stored);
    EXPECT_EQ(run({"-read", "out.bin", "0x1000-1K"}), 0);
    expectInOrder({"output file name out.bin \r\n", "Do not need to run loader\n",
                   "read device @addr: 0x1000 len:0x400(Byte)\n", "read device ok\n"});
    EXPECT_EQ(readFile(m_dir / "out.bin"), std::string(1024, '\x5A'));
    EXPECT_EQ(run({"-read", "three.bin", "4096-3"}), 0);
    EXPECT_EQ(fs::file_size(m_dir / "three.bin"), 512u);
    m_chip->failReads(SimMemory::storage, 6);
    EXPECT_NE(run({"-read", "fails.bin", "0x1000-1K"}), 0);
    expectInOrder({"read device fial 0x00000005\n"});

    SimulatedChipConfig nand;
    nand.medium = vornload::SimMedium::spiNand;
    attach(nand);
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app", "-tonorflash"}), 5);
    expectInOrder({"device not online\n", "-ISD_ERR_DISK_MISMACH\n"});

    SimulatedChipConfig none;
    none.mediaCode = 0;
    attach(none);
    EXPECT_EQ(run({"-tonorflash"}), 5);
    expectInOrder({"no device online\n"});

    SimulatedChipConfig dataFlash;
    dataFlash.dataFlashId = 0x1F8401;
    attach(dataFlash);
    writeFile(m_dir / "extra.bin", pattern(600, 8));
    EXPECT_EQ(run({"-tonorflash", "-wflash", "extra.bin", "0x200000", "1"}), 0);
    expectInOrder({"extra.bin\n", "DataflashID:1F8401\n", "write file to Flash ok\n"});
    EXPECT_EQ(std::string(m_chip->storage().begin() + 0x200000,
                          m_chip->storage().begin() + 0x200000 + 600),
              pattern(600, 8));
    // The user's file gets no .bak or .dump beside it.
    EXPECT_FALSE(fs::exists(m_dir / "extra.bin.bak"));
}

}  // namespace
