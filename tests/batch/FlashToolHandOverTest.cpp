#include "batch/FlashToolHandOver.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using batch::HandOver;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(FlashToolHandOver, OnlyNT03BinInAnyCaseAndFolder) {
    for (const char* good :
         {"NT03.bin", "nt03.BIN", "/home/a/NT03.bin", "C:\\fw\\Nt03.Bin", "dir\\sub/NT03.BIN"})
        EXPECT_TRUE(batch::isFlashToolFirmware(good)) << good;
    for (const char* bad :
         {"NT03.bin.bak", "NT03.bin2", "xNT03.bin", "NT03", "/NT03.bin/", "NT03.bin\\x", ""})
        EXPECT_FALSE(batch::isFlashToolFirmware(bad)) << bad;
}

class ChipFolder : public ::testing::Test {
protected:
    ChipFolder() {
        writeFile(m_program / "QK510" / "r_makebin.sh", "script 1");
        writeFile(m_program / "QK510" / "isd_tools.cfg", "cfg 1");
        writeFile(m_program / "QK510" / "sub" / "inner.txt", "not copied");
    }
    HandOver prepare(const fs::path& firmware) {
        return batch::prepareFlashToolFolder(firmware, m_program, m_data);
    }

    TempDir m_root;
    fs::path m_program = m_root / "program";
    fs::path m_data = m_root / "data";
    fs::path m_chip = m_data / "QK510";
};

TEST_F(ChipFolder, RefreshedWithTheFirmwareAsSdramApp) {
    const fs::path first = writeFile(m_root / "a" / "NT03.bin", "firmware 1");
    writeFile(m_chip / "uboot.boot", "the user's own");
    writeFile(m_chip / "isd_tools.cfg", "an old copy");
    const HandOver done = prepare(first);
    ASSERT_EQ(done.outcome, HandOver::prepared) << done.error;
    EXPECT_EQ(done.chipFolder, m_chip);
    EXPECT_EQ(readFile(m_chip / "sdram.app"), "firmware 1");
    EXPECT_EQ(readFile(m_chip / "isd_tools.cfg"), "cfg 1");
    EXPECT_EQ(readFile(m_chip / "r_makebin.sh"), "script 1");
    EXPECT_EQ(readFile(m_chip / "uboot.boot"), "the user's own");
    EXPECT_FALSE(fs::exists(m_chip / "sub"));

    // Twice: one sdram.app, the newer one, and nothing left over beside it.
    const fs::path second = writeFile(m_root / "b" / "nt03.BIN", "firmware 2");
    ASSERT_EQ(prepare(second).outcome, HandOver::prepared);
    EXPECT_EQ(readFile(m_chip / "sdram.app"), "firmware 2");
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(m_chip))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 4u);
}

TEST_F(ChipFolder, NothingHappensWithoutFirmwareChipFilesOrTheRightName) {
    EXPECT_EQ(prepare(m_root / "gone" / "NT03.bin").outcome, HandOver::noFirmware);
    EXPECT_FALSE(fs::exists(m_chip));

    const fs::path wrong = writeFile(m_root / "NT03.bin.bak", "fw");
    EXPECT_EQ(prepare(wrong).outcome, HandOver::invalidName);
    EXPECT_FALSE(fs::exists(m_chip));

    fs::remove(m_program / "QK510" / "r_makebin.sh");
    fs::remove(m_program / "QK510" / "isd_tools.cfg");
    const fs::path firmware = writeFile(m_root / "NT03.bin", "fw");
    EXPECT_EQ(prepare(firmware).outcome, HandOver::nothingToCopy);
    EXPECT_FALSE(fs::exists(m_chip / "sdram.app"));
}

TEST_F(ChipFolder, AFailedCopyKeepsTheOldFirmwareAndStops) {
    const fs::path firmware = writeFile(m_root / "NT03.bin", "new");
    writeFile(m_chip / "sdram.app", "old");
    // A folder where the copy must go cannot be replaced by a file.
    fs::create_directories(m_chip / "isd_tools.cfg");
    const HandOver failed = prepare(firmware);
    EXPECT_EQ(failed.outcome, HandOver::failed);
    EXPECT_NE(failed.error.find("isd_tools.cfg"), std::string::npos) << failed.error;
    EXPECT_EQ(readFile(m_chip / "sdram.app"), "old");
}

}  // namespace
