#include "flashtool/run/Console.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using vornload::SimMemory;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class Console : public ::testing::Test {
protected:
    Console() {
        writeFile(m_dir / "isd_tools.cfg", "CODE_START_OFFSET=64K\nSPI_DATA_WIDTH=4\n");
        std::string error;
        m_chip = vornload::SimulatedChip::create({}, error);
        m_disks = std::make_unique<vornload::SimulatedDiskSource>(m_chip);
    }

    // The output of a session after its greeting, with the prompts left out.
    std::string session(const std::string& input, int expectedStatus = 0,
                        const std::string& greeting = "? for help\nqk500uboot2.00\n") {
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream notice;
        vornload::RunEnvironment env;
        env.out = &out;
        env.notice = &notice;
        env.currentFolder = m_dir.path().string();
        env.tempFolder = m_dir.path().string();
        env.disks = m_disks.get();
        EXPECT_EQ(vornload::runConsole(in, env, false), expectedStatus);
        std::string text = out.str();
        EXPECT_EQ(text.rfind(greeting, 0), 0u) << text;
        text.erase(0, greeting.size());
        std::string lines;
        for (char c : text)
            if (c != '>') lines += c;
        return lines;
    }

    Bytes storage(size_t from, size_t length) const {
        return Bytes(m_chip->storage().begin() + static_cast<long>(from),
                     m_chip->storage().begin() + static_cast<long>(from + length));
    }

    TempDir m_dir;
    std::shared_ptr<vornload::SimulatedChip> m_chip;
    std::unique_ptr<vornload::SimulatedDiskSource> m_disks;
};

TEST_F(Console, RunsAndTheirArguments) {
    EXPECT_EQ(session("go 1000\nq\n"), "Goto the address(0x00001000) arg(0x00000000) run\n");
    EXPECT_EQ(m_chip->runs(), (std::vector<vornload::SimulatedRun>{{0x1000, 0}}));

    m_chip->clearRecords();
    EXPECT_EQ(session("go 2000 ffffffff 1fe0 3\nQ\n"),
              "Goto the address(0x00002000) arg(0xffffffff 0x00001fe0 0x0003) run\nset arg\n");
    const Bytes& ram = m_chip->ram();
    EXPECT_EQ(Bytes(ram.begin() + 0x1FE0, ram.begin() + 0x1FE4), (Bytes{0x55, 0xAA, 0x55, 0xAA}));
    EXPECT_EQ(Bytes(ram.begin() + 0x1FF8, ram.begin() + 0x1FFC), (Bytes{3, 0, 0, 0}));
    EXPECT_EQ(m_chip->runs(), (std::vector<vornload::SimulatedRun>{{0x2000, 3}}));

    EXPECT_EQ(session("go\ngo 10 zz\nzz\n"),
              "cmd arg error\ncmd arg error\nunkown cmd\n? for help\n\n");
}

TEST_F(Console, DumpsAndRanges) {
    m_chip->plant(SimMemory::storage, 0x1000, Bytes(0x200, 0xA5));
    EXPECT_EQ(session("rd 0x1000 - 0x1100 d.bin\nrr 0-10 r.bin\n"),
              "dump disk form 0x00001000 to 0x00001100 to file d.bin\n"
              "dump ram form 0x00000000 to 0x0000000a to file r.bin\n\n");
    // The length is rounded up to whole sectors.
    EXPECT_EQ(readFile(m_dir / "d.bin"), std::string(512, '\xA5'));
    EXPECT_EQ(fs::file_size(m_dir / "r.bin"), 512u);

    EXPECT_EQ(session("rd 0x1100-0x1000 d.bin\nrd 0x1000 d.bin\nrd\n"),
              "The starting address(0x00001100) is greater than the end address(0x00001000)\n"
              "cmd arg error\ncmd arg error\n\n");

    // A piece that fails four times in a row ends the dump; the file keeps what came before.
    m_chip->failReads(SimMemory::storage, 1);
    m_chip->clearRecords();
    EXPECT_EQ(session("rd 0x1000-0x1400 e.bin\n"),
              "dump disk form 0x00001000 to 0x00001400 to file e.bin\n\n");
    EXPECT_EQ(fs::file_size(m_dir / "e.bin"), 1024u);
    m_chip->failReads(SimMemory::storage, 5);
    EXPECT_EQ(session("rd 0x1000-0x1400 e.bin\n"),
              "dump disk form 0x00001000 to 0x00001400 to file e.bin\n"
              "read flash(0x00001000) error  00000005\n\n");
    EXPECT_EQ(fs::file_size(m_dir / "e.bin"), 0u);
}

TEST_F(Console, ErasesAndWrites) {
    m_chip->plant(SimMemory::storage, 0x2000, Bytes(0x600, 0));
    EXPECT_EQ(session("es 0x10-0x11\n"), "erase sectors(0x00000010) to sectors(0x00000011)\n\n");
    EXPECT_EQ(storage(0x2000, 0x400), Bytes(0x400, 0xFF));
    EXPECT_EQ(storage(0x2400, 0x200), Bytes(0x200, 0));

    m_chip->plant(SimMemory::storage, 0x20000, Bytes(16, 0));
    m_chip->plant(SimMemory::storage, 0x30000, Bytes(16, 0));
    // Blocks counted from a sector number: 0x100 × 512 is 0x20000.
    EXPECT_EQ(session("eb 256-257\n"), "erase block(0x00000100) to block(0x00000101)\n\n");
    EXPECT_EQ(storage(0x20000, 16), Bytes(16, 0xFF));
    EXPECT_EQ(storage(0x30000, 16), Bytes(16, 0xFF));

    m_chip->plant(SimMemory::storage, 0, Bytes(16, 0));
    EXPECT_EQ(session("ec\n"), "erase chip\n\n");
    EXPECT_EQ(storage(0, 16), Bytes(16, 0xFF));

    writeFile(m_dir / "small.bin", std::string(700, '\x3C'));
    const std::string out = session("wd 0x100 small.bin\nwd 0x200 small.bin\n");
    EXPECT_EQ(out.rfind("start addr(0x00000100) must aline to sector \n", 0), 0u);
    // Copies every 0x3B0000 bytes until the storage (4 MiB) ends.
    EXPECT_NE(out.find("write file small.bin to disk fail err=0x"), std::string::npos) << out;
    EXPECT_NE(out.find('\a'), std::string::npos);
    EXPECT_EQ(storage(0x200, 700), Bytes(700, 0x3C));
    EXPECT_EQ(storage(0x200 + 0x3B0000, 700), Bytes(700, 0x3C));

    EXPECT_EQ(session("wr 0x8000 small.bin\n"), "write file small.bin to ram at 0x00008000\n\n");
    EXPECT_EQ(Bytes(m_chip->ram().begin() + 0x8000, m_chip->ram().begin() + 0x8000 + 700),
              Bytes(700, 0x3C));
}

TEST_F(Console, MemoryTests) {
    EXPECT_EQ(session("mt 0x100 1K 0x55aa55aa\n"),
              "memtest ram form 0x00000100 to 0x00000500 with value 0x55aa55aa size = 1024\n"
              "memtest test ok\n\n");
    EXPECT_EQ(Bytes(m_chip->ram().begin() + 0x100, m_chip->ram().begin() + 0x104),
              (Bytes{0xAA, 0x55, 0xAA, 0x55}));

    m_chip->corruptReads(SimMemory::ram, 0x180, 0x10);
    EXPECT_EQ(session("mt 0x100 1K rand\n"),
              "memtest ram form 0x00000100 to 0x00000500 with value rand size = 1024\n"
              "memtest test fail\n\n");
    const std::string written = readFile(m_dir / "wfile.bin");
    const std::string read = readFile(m_dir / "rfile.bin");
    ASSERT_EQ(written.size(), 1024u);
    ASSERT_EQ(read.size(), 1024u);
    EXPECT_EQ(static_cast<uint8_t>(written[0x80] ^ read[0x80]), 0x10);
    for (char c : written)
        EXPECT_NE(static_cast<uint8_t>(c), 0xFF);

    // No unit: refused.
    EXPECT_EQ(session("mt 0x100 1 rand\n"), "cmd arg error\n\n");
}

TEST_F(Console, HelpDevicesAndTheDescriptionFile) {
    const std::string help = session("?\n");
    EXPECT_EQ(help.rfind("ds    - Show disk status\n", 0), 0u);
    EXPECT_NE(help.find("go    [run addr][arg...]\t - Goto the ram address run \n\t\n"),
              std::string::npos);
    EXPECT_NE(help.find("build @ "), std::string::npos);
    EXPECT_EQ(session("ds\n"), "Show disk status\n\n");

    m_chip->unplug();
    EXPECT_EQ(session("dev qk500\nds\ngo 1000\n", 0, "? for help\n"),
              "device offline\nShow disk status\ndevice offline\n\n");
    m_chip->plugIn();
    EXPECT_EQ(session("dev anything\ngo 1000\n"),
              "qk500uboot2.00\nGoto the address(0x00001000) arg(0x00000000) run\n\n");

    // The description is read before every command but help.
    fs::remove(m_dir / "isd_tools.cfg");
    // The help, without the line that the end of the input adds, then the failure.
    EXPECT_EQ(session("?\nds\n", 6).find("open "), help.size() - 1);
}

}  // namespace
