#include "flashtool/sim/SimulatedChip.h"

#include "ChipTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace {

using namespace simtest;
using vornload::EraseFault;
using vornload::SimMedium;
using vornload::SimMemory;
using vornload::SimulatedChipConfig;

using Bytes = std::vector<uint8_t>;

vornload::SimulatedChipConfig configOf(SimMedium medium) {
    SimulatedChipConfig config;
    config.medium = medium;
    return config;
}

Bytes answer(std::initializer_list<uint8_t> head) {
    Bytes bytes(16, 0x00);
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

struct MediumCase {
    SimMedium medium;
    uint32_t blockSize;
    uint8_t mediaCode;
    uint8_t secondWrite;  // 0xF0 written, then 0x3C over it
};

class EachMedium : public testing::TestWithParam<MediumCase> {};

TEST_P(EachMedium, EraseBlockClearsExactlyTheBlockHoldingTheAddress) {
    const MediumCase& c = GetParam();
    auto chip = makeChip(configOf(c.medium));
    ASSERT_TRUE(chip);
    const uint32_t size = static_cast<uint32_t>(chip->storage().size());
    ASSERT_EQ(chip->plant(SimMemory::storage, 0, Bytes(size, 0x00)), 0);

    // 0x00 0x01 0x23 0x45 lies in block 1 of a 64 KiB flash and block 0 of a 128 KiB one.
    const CommandBlock erase = {0xFB, 0x00, 0x00, 0x01, 0x23, 0x45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    int result = -1;
    EXPECT_EQ(ask(*chip, erase, &result), answer({0xFB, 0x00, 0x00}));
    EXPECT_EQ(result, 0);
    const uint32_t start = 0x12345 / c.blockSize * c.blockSize;
    const auto& s = chip->storage();
    for (uint32_t i = 0; i < size; ++i) {
        const uint8_t expected = (i >= start && i < start + c.blockSize) ? 0xFF : 0x00;
        if (s[i] != expected) {
            ADD_FAILURE() << "byte " << i << " is " << int(s[i]);
            break;
        }
    }
    EXPECT_EQ(chip->counters().blocksErased, 1u);
}

TEST_P(EachMedium, FlashWritesOnlyClearBitsAndSdReplaces) {
    const MediumCase& c = GetParam();
    auto chip = makeChip(configOf(c.medium));
    ASSERT_TRUE(chip);
    EXPECT_EQ(chip->storage()[0x200], 0xFF);  // erased from the start
    ASSERT_EQ(write(*chip, 0x04, 0x200, Bytes(512, 0xF0)), 0);
    ASSERT_EQ(write(*chip, 0x04, 0x200, Bytes(512, 0x3C)), 0);
    EXPECT_EQ(read(*chip, 0x05, 0x200, 512), Bytes(512, c.secondWrite));

    // After an erase the same write lands as it is.
    ASSERT_EQ(ask(*chip, block(0xFB, 0x00, 0x200))[2], 0);
    ASSERT_EQ(write(*chip, 0x04, 0x200, Bytes(512, 0x3C)), 0);
    EXPECT_EQ(read(*chip, 0x05, 0x200, 512), Bytes(512, 0x3C));
}

TEST_P(EachMedium, MediaQueryAnswersTheCodeAndTheIdentifierLittleEndian) {
    const MediumCase& c = GetParam();
    auto chip = makeChip(configOf(c.medium));
    ASSERT_TRUE(chip);
    const CommandBlock query = {0xFC, 0x0A, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ask(*chip, query), answer({0xFC, 0x0A, c.mediaCode, 0x00, 0x16, 0x40, 0xEF, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(Media, EachMedium,
                         testing::Values(MediumCase{SimMedium::spiNor, 65536, 22, 0x30},
                                         MediumCase{SimMedium::spiNand, 131072, 23, 0x30},
                                         MediumCase{SimMedium::sd, 65536, 16, 0x3C}));

TEST(SimulatedChip, MediaQueryRawCodesAndDataFlash) {
    SimulatedChipConfig config;
    config.flashId = 0x00C22016;
    config.dataFlashId = 0x12345678;
    config.mediaCode = 17;
    auto sd17 = makeChip(config);
    ASSERT_TRUE(sd17);
    EXPECT_EQ(ask(*sd17, block(0xFC, 0x0A)), answer({0xFC, 0x0A, 17, 0, 0x16, 0x20, 0xC2, 0x00}));
    const CommandBlock dataFlash = {0xFC, 0x0A, 0x83, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ask(*sd17, dataFlash), answer({0xFC, 0x0A, 17, 0, 0x78, 0x56, 0x34, 0x12}));

    config.mediaCode = 0;  // no medium: no identifier either
    auto none = makeChip(config);
    ASSERT_TRUE(none);
    EXPECT_EQ(ask(*none, block(0xFC, 0x0A)), answer({0xFC, 0x0A, 0}));
}

TEST(SimulatedChip, WriteChecksTheCrcOverTheData) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    // CRC-16/XMODEM of "123456789" is 0x31C3: low byte in 9, high byte in 10.
    Bytes digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    for (uint8_t sub : {uint8_t{0x04}, uint8_t{0x06}}) {
        SCOPED_TRACE(int(sub));
        CommandBlock bad = {0xFB, sub, 0, 0, 0x10, 0, 0, 9, 0, 0xC3, 0x32, 0, 0, 0, 0, 0};
        EXPECT_EQ(send(*chip, bad, DataDirection::out, digits), EIO);
        CommandBlock good = {0xFB, sub, 0, 0, 0x10, 0, 0, 9, 0, 0xC3, 0x31, 0, 0, 0, 0, 0};
        EXPECT_EQ(send(*chip, good, DataDirection::out, digits), 0);
        EXPECT_EQ(read(*chip, sub == 0x04 ? 0x05 : 0x07, 0x1000, 9), digits);
    }
    EXPECT_EQ(chip->counters().storageBytesWritten, 9u);
    EXPECT_EQ(chip->counters().ramBytesWritten, 9u);
    EXPECT_EQ(chip->counters().failed, 2u);
}

TEST(SimulatedChip, MalformedRequestsAreRefusedAndChangeNothing) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    const Bytes before = chip->storage();
    Bytes data(512, 0x00);
    const uint16_t crc = crcByHand(data);
    CommandBlock writeWithByte8 = block(0xFB, 0x04, 0, 512, crc);
    writeWithByte8[8] = 1;
    CommandBlock eraseWithLength = block(0xFB, 0x00, 0, 16);
    CommandBlock queryWithByte3 = block(0xFC, 0x0A);
    queryWithByte3[3] = 1;
    struct Case {
        const char* what;
        CommandBlock command;
        DataDirection direction;
        uint32_t length;
    };
    const Case cases[] = {
        {"write sent in", block(0xFB, 0x04, 0, 512, crc), DataDirection::in, 512},
        {"write data too short", block(0xFB, 0x04, 0, 512, crc), DataDirection::out, 511},
        {"read sent out", block(0xFD, 0x05, 0, 512), DataDirection::out, 512},
        {"read data too short", block(0xFD, 0x05, 0, 512), DataDirection::in, 100},
        {"erase answer too short", block(0xFB, 0x00), DataDirection::in, 15},
        {"erase chip sent out", block(0xFB, 0x02), DataDirection::out, 16},
        {"reserved byte 8 set", writeWithByte8, DataDirection::out, 512},
        {"length on an erase", eraseWithLength, DataDirection::in, 16},
        {"byte 3 of a query", queryWithByte3, DataDirection::in, 16},
        {"no such command", block(0xFB, 0x03), DataDirection::in, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(chip->execute(c.command, c.direction, data.data(), c.length, 10'000), EINVAL);
    }
    EXPECT_EQ(chip->storage(), before);
    EXPECT_EQ(chip->counters().unknown, 1u);
}

TEST(SimulatedChip, AddressesOutsideTheMemoriesFail) {
    SimulatedChipConfig config;
    config.ramSize = 4096;
    auto chip = makeChip(config);
    ASSERT_TRUE(chip);
    const uint32_t end = 4u << 20;
    EXPECT_EQ(write(*chip, 0x04, end - 256, Bytes(512, 0)), EIO);
    EXPECT_EQ(write(*chip, 0x04, 0xFFFFFF00, Bytes(512, 0)), EIO);  // would wrap around
    EXPECT_EQ(write(*chip, 0x06, 4096 - 511, Bytes(512, 0)), EIO);
    int result = 0;
    read(*chip, 0x05, end, 1, &result);
    EXPECT_EQ(result, EIO);
    read(*chip, 0x07, 0xFFFFFFFF, 2, &result);
    EXPECT_EQ(result, EIO);
    EXPECT_EQ(read(*chip, 0x05, end - 512, 512), Bytes(512, 0xFF));
    EXPECT_EQ(ask(*chip, block(0xFB, 0x00, end)), answer({0xFB, 0x00, 0x01}));
    EXPECT_EQ(ask(*chip, block(0xFB, 0x01, end)), answer({0xFB, 0x01, 0x01}));
}

TEST(SimulatedChip, EraseSectorAndEraseChip) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    ASSERT_EQ(chip->plant(SimMemory::storage, 0, Bytes(4096, 0x00)), 0);
    const CommandBlock sector = {0xFB, 0x01, 0x00, 0x00, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ask(*chip, sector), answer({0xFB, 0x01, 0x00}));
    EXPECT_EQ(read(*chip, 0x05, 0x3FF, 1), Bytes{0x00});
    EXPECT_EQ(read(*chip, 0x05, 0x400, 512), Bytes(512, 0xFF));
    EXPECT_EQ(read(*chip, 0x05, 0x600, 1), Bytes{0x00});
    // An address inside a sector erases that whole sector, like the flash's own unit.
    EXPECT_EQ(ask(*chip, block(0xFB, 0x01, 0x7FF)), answer({0xFB, 0x01, 0x00}));
    EXPECT_EQ(read(*chip, 0x05, 0x600, 512), Bytes(512, 0xFF));
    EXPECT_EQ(read(*chip, 0x05, 0x800, 1), Bytes{0x00});

    EXPECT_EQ(ask(*chip, block(0xFB, 0x02)), answer({0xFB, 0x02}));
    EXPECT_EQ(chip->storage(), Bytes(4u << 20, 0xFF));
}

TEST(SimulatedChip, RunIsAnsweredAndRecorded) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    const CommandBlock run = {0xFB, 0x08, 0x00, 0x00, 0x20, 0x00, 0x00, 0x31,
                              0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(ask(*chip, run), answer({0xFB, 0x08}));
    EXPECT_EQ(ask(*chip, block(0xFB, 0x08, 0x01000000, 1)), answer({0xFB, 0x08}));
    const std::vector<vornload::SimulatedRun> expected = {{0x2000, 0x31}, {0x01000000, 1}};
    EXPECT_EQ(chip->runs(), expected);
    ASSERT_EQ(chip->commandLog().size(), 2u);
    EXPECT_EQ(chip->commandLog()[0].block, run);
    EXPECT_EQ(chip->counters().run, 2u);
    chip->clearRecords();
    EXPECT_TRUE(chip->runs().empty());
    EXPECT_TRUE(chip->commandLog().empty());
}

TEST(SimulatedChip, WriteAndReadFaultsFailTheAskedNumberOfTimes) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    chip->failWrites(SimMemory::storage, 2);
    EXPECT_EQ(write(*chip, 0x06, 0, Bytes(512, 0x11)), 0);  // RAM is not affected
    EXPECT_EQ(write(*chip, 0x04, 0, Bytes(512, 0x11)), EIO);
    EXPECT_EQ(write(*chip, 0x04, 0, Bytes(512, 0x11)), EIO);
    EXPECT_EQ(chip->storage()[0], 0xFF);
    EXPECT_EQ(write(*chip, 0x04, 0, Bytes(512, 0x11)), 0);
    EXPECT_EQ(chip->storage()[0], 0x11);

    // Reads of more than 63 bytes fail twice; a 63-byte read passes between them.
    chip->failReads(SimMemory::ram, 2, 63);
    int result = 0;
    read(*chip, 0x07, 0, 512, &result);
    EXPECT_EQ(result, EIO);
    EXPECT_EQ(read(*chip, 0x07, 0, 63), Bytes(63, 0x11));
    EXPECT_EQ(read(*chip, 0x05, 0, 512).size(), 512u);  // storage is not affected
    read(*chip, 0x07, 0, 64, &result);
    EXPECT_EQ(result, EIO);
    EXPECT_EQ(read(*chip, 0x07, 0, 512), Bytes(512, 0x11));
}

TEST(SimulatedChip, EraseFaults) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    ASSERT_EQ(chip->plant(SimMemory::storage, 0, Bytes(0x40000, 0x00)), 0);

    chip->failErases(1, EraseFault::reportsFailure);
    EXPECT_EQ(ask(*chip, block(0xFB, 0x00, 0)), answer({0xFB, 0x00, 0x01}));
    EXPECT_EQ(chip->storage()[0], 0x00);
    chip->failErases(1, EraseFault::leavesData);
    EXPECT_EQ(ask(*chip, block(0xFB, 0x00, 0)), answer({0xFB, 0x00, 0x00}));
    EXPECT_EQ(chip->storage()[0], 0x00);
    EXPECT_EQ(ask(*chip, block(0xFB, 0x00, 0))[2], 0x00);
    EXPECT_EQ(chip->storage()[0], 0xFF);

    // A stuck block stays stuck; its neighbours erase.
    chip->stickBlock(0x10000, EraseFault::leavesData);
    chip->stickBlock(0x20000, EraseFault::reportsFailure);
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(ask(*chip, block(0xFB, 0x00, 0x1FFFF))[2], 0x00);
        EXPECT_EQ(ask(*chip, block(0xFB, 0x00, 0x20000))[2], 0x01);
    }
    EXPECT_EQ(ask(*chip, block(0xFB, 0x01, 0x10200)), answer({0xFB, 0x01, 0x00}));
    ask(*chip, block(0xFB, 0x02));
    EXPECT_EQ(chip->storage()[0x1FFFF], 0x00);
    EXPECT_EQ(chip->storage()[0x20000], 0x00);
    EXPECT_EQ(chip->storage()[0x10200], 0x00);
    EXPECT_EQ(chip->storage()[0x30000], 0xFF);
    EXPECT_EQ(chip->counters().blocksErased, 1u);

    chip->clearFaults();
    EXPECT_EQ(ask(*chip, block(0xFB, 0x00, 0x20000))[2], 0x00);
    EXPECT_EQ(chip->storage()[0x20000], 0xFF);
}

TEST(SimulatedChip, CorruptedReadsDifferInOneByteOnly) {
    auto chip = makeChip();
    ASSERT_TRUE(chip);
    ASSERT_EQ(write(*chip, 0x04, 0x400, Bytes(512, 0x5A)), 0);
    chip->corruptReads(SimMemory::storage, 0x4FF, 0x01);
    Bytes expected(512, 0x5A);
    expected[0xFF] = 0x5B;
    EXPECT_EQ(read(*chip, 0x05, 0x400, 512), expected);
    EXPECT_EQ(read(*chip, 0x05, 0x500, 256), Bytes(256, 0x5A));
    EXPECT_EQ(chip->storage()[0x4FF], 0x5A);
}

TEST(SimulatedChip, ConfigurationsOutOfBoundsAreRefused) {
    SimulatedChipConfig notWholeBlocks;
    notWholeBlocks.medium = SimMedium::spiNand;
    notWholeBlocks.mediumSize = 3 * 65536;
    SimulatedChipConfig tooBig;
    tooBig.mediumSize = SimulatedChipConfig::maxMediumSize + 65536;
    SimulatedChipConfig noRam;
    noRam.ramSize = 0;
    SimulatedChipConfig longVendor;
    longVendor.vendor = "ninechars";
    for (const SimulatedChipConfig* config : {&notWholeBlocks, &tooBig, &noRam, &longVendor}) {
        std::string error;
        EXPECT_FALSE(vornload::SimulatedChip::create(*config, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
