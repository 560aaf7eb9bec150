#include "flashtool/device/Chip.h"
#include "flashtool/device/StorageKind.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include "flashtool/sim/ChipTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace simtest;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using vornload::Chip;
using vornload::MediaAnswer;
using vornload::SimMedium;
using vornload::SimMemory;
using vornload::SimulatedChipConfig;
using vornload::SimulatedDiskSource;
using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t size, unsigned seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((i * 131 + seed + i / 251) % 256);
    return b;
}

struct Rig {
    explicit Rig(SimulatedChipConfig config = {}) : sim(makeChip(config)), disks(sim) {
        chip = vornload::findChip(disks, "tz43", out, notice);
        EXPECT_TRUE(chip);
        out.str("");
        sim->clearRecords();
    }
    Bytes storage(size_t from, size_t length) const {
        return Bytes(sim->storage().begin() + static_cast<long>(from),
                     sim->storage().begin() + static_cast<long>(from + length));
    }

    std::shared_ptr<vornload::SimulatedChip> sim;
    SimulatedDiskSource disks;
    std::ostringstream out;
    std::ostringstream notice;
    std::unique_ptr<Chip> chip;
};

TEST(Chip, EveryCommandBlockAsTheChipReceivesIt) {
    Rig rig;
    Chip& c = *rig.chip;
    const Bytes hundred(100, 0x11);
    Bytes padded(512, 0xFF);
    std::fill_n(padded.begin(), 100, 0x11);
    const Bytes three = {1, 2, 3};
    uint8_t buffer[512];
    MediaAnswer media;

    EXPECT_EQ(c.eraseBlock(0x10000), 0);
    EXPECT_EQ(c.eraseSector(0x200), 0);
    EXPECT_EQ(c.eraseChip(), 0);
    EXPECT_EQ(c.writeStorage(0x400, hundred.data(), 100), 0);
    EXPECT_EQ(c.writeRam(0x8000, three.data(), 3), 0);
    EXPECT_EQ(c.run(0x1000, 0x1234), 0);
    EXPECT_EQ(c.readStorage(0x400, buffer, 512), 0);
    EXPECT_EQ(c.readRam(0x8000, buffer, 64), 0);
    EXPECT_EQ(c.mediaQuery(3, 0x4016, media), 0);

    struct Expected {
        CommandBlock block;
        DataDirection direction;
        uint32_t length;
    };
    const CommandBlock query = {0xFC, 0x0A, 0x03, 0, 0, 0, 0x40, 0x16, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<Expected> expected = {
        {block(0xFB, 0x00, 0x10000), DataDirection::in, 16},
        {block(0xFB, 0x01, 0x200), DataDirection::in, 16},
        {block(0xFB, 0x02), DataDirection::in, 16},
        // 100 bytes go out as 512, padded with 0xFF, the CRC over all 512.
        {block(0xFB, 0x04, 0x400, 512, crcByHand(padded)), DataDirection::out, 512},
        {block(0xFB, 0x06, 0x8000, 3, crcByHand(three)), DataDirection::out, 3},
        {block(0xFB, 0x08, 0x1000, 0x1234), DataDirection::in, 16},
        {block(0xFD, 0x05, 0x400, 512), DataDirection::in, 512},
        {block(0xFD, 0x07, 0x8000, 64), DataDirection::in, 64},
        {query, DataDirection::in, 16},
    };
    const auto& log = rig.sim->commandLog();
    ASSERT_EQ(log.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i].block, expected[i].block);
        EXPECT_EQ(log[i].direction, expected[i].direction);
        EXPECT_EQ(log[i].length, expected[i].length);
        EXPECT_EQ(log[i].result, 0);
    }
    EXPECT_EQ(rig.storage(0x400, 512), padded);
    EXPECT_EQ(rig.sim->runs(), (std::vector<vornload::SimulatedRun>{{0x1000, 0x1234}}));
}

TEST(Chip, MediaCodesGiveTheStorageKind) {
    struct Case {
        uint8_t code;
        int result;
        int kind;
        uint32_t blockSize;  // 0: no mode takes it
    };
    const Case cases[] = {{16, 0, vornload::storageSd, 65536},
                          {17, 0, vornload::storageSd, 65536},
                          {18, 0, vornload::storageSd, 65536},
                          {22, 0, vornload::storageSpiNor, 65536},
                          {23, 0, vornload::storageSpiNand, 131072},
                          {0, 5, 0, 0},
                          {9, 0, 9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        SimulatedChipConfig config;
        config.mediaCode = c.code;
        config.flashId = 0xC84017;
        Rig rig(config);
        MediaAnswer media;
        EXPECT_EQ(rig.chip->mediaQuery(0, 0, media), c.result);
        EXPECT_EQ(media.mediaCode, c.code);
        EXPECT_EQ(media.identifier, c.code ? 0xC84017u : 0u);
        const int kind = vornload::storageKindOfMediaCode(media.mediaCode);
        EXPECT_EQ(kind, c.kind);
        const vornload::StorageKindInfo* info = vornload::storageKindInfo(kind);
        if (c.blockSize == 0) {
            EXPECT_EQ(info, nullptr);
        } else {
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(info->blockSize, c.blockSize);
            for (int mode = 1; mode <= 6; ++mode)
                EXPECT_EQ(info->allows(mode), mode >= 4 || (mode == 1 && kind == 3) ||
                                                  (mode == 2 && kind == 4) ||
                                                  (mode == 3 && kind == 2))
                    << mode;
        }
    }
}

TEST(Chip, DownloadSendsAZeroSectorMoreAndVerifiesTheFile) {
    TempDir dir;
    const Bytes file = pattern(1024, 7);
    writeFile(dir / "f.bin", std::string(file.begin(), file.end()));
    Rig rig;
    EXPECT_EQ(rig.chip->downloadFile((dir / "f.bin").string(), 0x4000, true), 0);
    EXPECT_EQ(rig.sim->counters().writeRam, 3u);
    EXPECT_EQ(rig.sim->counters().ramBytesWritten, 1536u);
    EXPECT_EQ(rig.sim->counters().ramBytesRead, 1024u);
    Bytes expected = file;
    expected.resize(1536, 0);
    EXPECT_EQ(Bytes(rig.sim->ram().begin() + 0x4000, rig.sim->ram().begin() + 0x4000 + 1536),
              expected);

    // Two failed reads: 512, then 63; the piece is read on in 59-byte steps.
    rig.sim->clearRecords();
    rig.sim->failReads(SimMemory::ram, 2);
    EXPECT_EQ(rig.chip->downloadFile((dir / "f.bin").string(), 0x4000, true), 0);
    const auto& log = rig.sim->commandLog();
    std::vector<uint16_t> readSizes;
    for (const auto& entry : log)
        if (entry.block[1] == 0x07) readSizes.push_back(static_cast<uint16_t>(entry.length));
    ASSERT_GE(readSizes.size(), 4u);
    EXPECT_EQ(readSizes[0], 512);
    EXPECT_EQ(readSizes[1], 63);
    EXPECT_EQ(readSizes[2], 59);
    EXPECT_EQ(readSizes[3], 59);

    // A difference read back is result 1; ten failed writes of a piece end it.
    rig.sim->corruptReads(SimMemory::ram, 0x4005);
    EXPECT_EQ(rig.chip->downloadFile((dir / "f.bin").string(), 0x4000, true), 1);
    rig.sim->clearFaults();
    rig.sim->failWrites(SimMemory::ram, 9);
    EXPECT_EQ(rig.chip->downloadFile((dir / "f.bin").string(), 0x4000, false), 0);
    rig.sim->failWrites(SimMemory::ram, 10);
    EXPECT_NE(rig.chip->downloadFile((dir / "f.bin").string(), 0x4000, false), 0);
    EXPECT_EQ(rig.chip->downloadFile((dir / "none.bin").string(), 0x4000, true), 6);
}

TEST(Chip, VerifiedWritesShrinkTheirReadsAndSayHow) {
    Rig rig;
    rig.chip->setStorageKind(vornload::storageSpiNor);
    const Bytes data = pattern(512, 3);
    rig.sim->failReads(SimMemory::storage, 3);
    EXPECT_EQ(rig.chip->writeBlockVerified(data.data(), 0x10000, 512, false), 0);
    EXPECT_EQ(rig.out.str(), "B B ");
    EXPECT_EQ(rig.storage(0x10000, 512), data);

    rig.out.str("");
    rig.sim->failReads(SimMemory::storage, 10, 0);
    EXPECT_NE(rig.chip->writeBlockVerified(data.data(), 0x20000, 512, false), 0);
    EXPECT_EQ(rig.out.str(), "B B B B B B B B C ");
}

class ImageWrite : public ::testing::Test {
protected:
    int write(Rig& rig, const Bytes& image, bool erase = false) {
        writeFile(m_file, std::string(image.begin(), image.end()));
        rig.out.str("");
        rig.sim->clearRecords();
        return rig.chip->writeImage(m_file.string(), erase, 0, 0x7000, m_file.string());
    }

    TempDir m_dir;
    std::filesystem::path m_file = m_dir / "zImag.img";
    Bytes m_image = pattern(5 * 65536 + 1000, 9);
};

TEST_F(ImageWrite, OnlyChangedBlocksAreWrittenAgainAndBlockZeroLast) {
    Rig rig;
    rig.chip->setStorageKind(vornload::storageSpiNor);
    ASSERT_EQ(write(rig, m_image), 0);
    EXPECT_EQ(rig.out.str(),
              "Write File 2Disk physical address:0x00000000\n"
              "Erase Flash block ……\n0 1 2 3 4 5 \n write data to  block……\r\n"
              "1 2 3 4 5 0 \n");
    EXPECT_EQ(rig.storage(0, m_image.size()), m_image);
    EXPECT_EQ(readFile(m_dir / "zImag.img.bak"), readFile(m_file));

    // The same image again: nothing erased, nothing written.
    ASSERT_EQ(write(rig, m_image), 0);
    EXPECT_EQ(rig.out.str(),
              "Write File 2Disk physical address:0x00000000\n"
              "---------------------------------------28672\n"
              "Erase Flash block ……\n\n write data to  block……\r\n");
    EXPECT_EQ(rig.sim->counters().eraseBlock, 0u);
    EXPECT_EQ(rig.sim->counters().writeStorage, 0u);

    // One byte in block 3 and one in block 0: those two, block 0 last.
    Bytes changed = m_image;
    changed[3 * 65536 + 10] ^= 0xFF;
    changed[0x100] ^= 0xFF;
    ASSERT_EQ(write(rig, changed), 0);
    EXPECT_EQ(rig.out.str(),
              "Write File 2Disk physical address:0x00000000\n"
              "---------------------------------------28672\n"
              "Erase Flash block ……\n0 3 \n write data to  block……\r\n3 0 \n");
    EXPECT_EQ(rig.storage(0, changed.size()), changed);
    EXPECT_EQ(rig.sim->counters().storageBytesWritten, 2u * 65536);
}

TEST_F(ImageWrite, AChipThatHoldsSomethingElseGetsTheWholeImage) {
    Rig rig;
    rig.chip->setStorageKind(vornload::storageSpiNor);
    ASSERT_EQ(write(rig, m_image), 0);
    // Another program wrote the first sector meanwhile: the .bak no longer describes the chip.
    rig.sim->plant(SimMemory::storage, 0, Bytes(512, 0x42));
    ASSERT_EQ(write(rig, m_image), 0);
    EXPECT_EQ(rig.out.str().find("-----"), std::string::npos);
    // Five whole blocks, and the last 1,000 bytes as two sectors.
    EXPECT_EQ(rig.sim->counters().storageBytesWritten, 5u * 65536 + 1024);
    // Likewise when the find record differs.
    rig.sim->plant(SimMemory::storage, 0x7000, Bytes(2, 0x00));
    ASSERT_EQ(write(rig, m_image), 0);
    EXPECT_NE(rig.out.str().find("---------------------------------------28672\n"),
              std::string::npos);
    EXPECT_EQ(rig.storage(0, m_image.size()), m_image);
    EXPECT_GE(rig.sim->counters().storageBytesWritten, m_image.size());
}

TEST_F(ImageWrite, SdIsNotErasedAndStuckBlocksStopTheWrite) {
    SimulatedChipConfig sd;
    sd.medium = SimMedium::sd;
    Rig card(sd);
    card.chip->setStorageKind(vornload::storageSd);
    ASSERT_EQ(write(card, m_image), 0);
    EXPECT_EQ(card.out.str().find("Erase"), std::string::npos);
    EXPECT_EQ(card.sim->counters().eraseBlock, 0u);
    EXPECT_EQ(card.storage(0, m_image.size()), m_image);

    Rig nor;
    nor.chip->setStorageKind(vornload::storageSpiNor);
    nor.sim->stickBlock(2 * 65536, vornload::EraseFault::leavesData);
    // Written before, so the blank check 1,024 bytes before the block's end sees it.
    nor.sim->plant(SimMemory::storage, 3 * 65536 - 1024, Bytes(16, 0));
    EXPECT_EQ(write(nor, m_image), 3);
    EXPECT_NE(nor.out.str().find("0 1 Erase Flash Block(2) fail \n"), std::string::npos)
        << nor.out.str();
    // The .bak already describes the new image, so the next run compares with it.
    EXPECT_EQ(readFile(m_dir / "zImag.img.bak"), readFile(m_file));

    Rig refusing;
    refusing.chip->setStorageKind(vornload::storageSpiNor);
    refusing.sim->stickBlock(65536, vornload::EraseFault::reportsFailure);
    EXPECT_NE(write(refusing, m_image), 0);
    EXPECT_NE(refusing.out.str().find("0 Erase Flash Block(1) fail "), std::string::npos)
        << refusing.out.str();
}

TEST(FindChip, NamesAndTheLoaderStrings) {
    SimulatedChipConfig tz;
    tz.vendor = "tz43";
    tz.product = "uboot1.00";
    auto tzChip = makeChip(tz);
    SimulatedDiskSource tzBus(tzChip);
    std::ostringstream out;
    std::ostringstream notice;
    auto chip = vornload::findChip(tzBus, "anything", out, notice);
    ASSERT_TRUE(chip);
    EXPECT_EQ(out.str(), "QK500\n");
    EXPECT_EQ(chip->identification(), "tz43uboot1.00");

    SimulatedChipConfig other;
    other.vendor = "ACME";
    other.product = "BigDisk";
    SimulatedDiskSource otherBus(makeChip(other));
    out.str("");
    chip = vornload::findChip(otherBus, "foo;ACME", out, notice);
    ASSERT_TRUE(chip);
    EXPECT_EQ(out.str(), "acmebigdisk\nacmebigdisk\n");
    out.str("");
    EXPECT_FALSE(vornload::findChip(otherBus, "foo", out, notice));
    EXPECT_EQ(out.str(), "acmebigdisk\n");
    // An empty name ends the search.
    out.str("");
    EXPECT_FALSE(vornload::findChip(otherBus, ";acme", out, notice));
    EXPECT_EQ(out.str(), "");
    tzChip->unplug();
    EXPECT_FALSE(vornload::findChip(tzBus, "tz43", out, notice));
}

}  // namespace
