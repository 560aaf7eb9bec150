#include "flashtool/run/ErrorReport.h"
#include "flashtool/run/RunOptions.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct Parsed {
    vornload::RunOptions options;
    vornload::ParseResult result;
    std::string printed;
};

Parsed parse(std::vector<std::string> args) {
    Parsed p;
    std::ostringstream out;
    p.result = vornload::parseRunOptions(
        args, p.options, out, [](const std::string& file) { return file.rfind("there", 0) == 0; });
    p.printed = out.str();
    return p;
}

TEST(RunOptions, DividerAlertAndPrefixes) {
    EXPECT_EQ(parse({"-div300"}).options.divider, 255u);
    EXPECT_EQ(parse({"-div"}).options.divider, 0u);
    EXPECT_EQ(parse({"-DIV7"}).options.divider, 7u);
    EXPECT_EQ(parse({"-w0"}).options.alertMode, 18);
    EXPECT_EQ(parse({"-W1"}).options.alertMode, 16);
    EXPECT_EQ(parse({"-w2"}).options.alertMode, 17);
    // Exact names come before the "-w" prefix.
    EXPECT_EQ(parse({"-wait", "0x20"}).options.waitMs, 0x20u);
    EXPECT_EQ(parse({"-wait", "0x20"}).options.alertMode, 16);
}

TEST(RunOptions, ReadRangesAndTheirOutput) {
    Parsed p = parse({"-read", "out.bin", "0x1000-1K"});
    EXPECT_EQ(p.options.mode, 5);
    EXPECT_EQ(p.options.readAddress, 0x1000u);
    EXPECT_EQ(p.options.readLength, 1024u);
    EXPECT_EQ(p.printed, "output file name out.bin \r\n");
    p = parse({"-read", "out.bin", "4096-3"});
    EXPECT_EQ(p.options.readAddress, 4096u);
    EXPECT_EQ(p.options.readLength, 3u);  // the run rounds it up to 512
    // Only a lower-case x makes the address hexadecimal.
    EXPECT_EQ(parse({"-read", "o", "0X10-2m"}).options.readAddress, 0u);
    EXPECT_EQ(parse({"-read", "o", "0X10-2m"}).options.readLength, 2u << 20);
}

TEST(RunOptions, OutputFilesModesAndUnknowns) {
    Parsed p = parse({"-toflashfile", "my-file.bin"});
    EXPECT_EQ(p.result.error, 1);
    EXPECT_EQ(p.result.message, "no outfile name\n");
    p = parse({"-tosdfile", "card.img", "-bogus", "stray", "-tonandflash"});
    EXPECT_EQ(p.result.error, 0);
    EXPECT_EQ(p.options.storageKind, 2);
    EXPECT_EQ(p.options.outputFile, "card.img");
    EXPECT_EQ(p.options.mode, 2);
    EXPECT_EQ(p.printed, "unkonw cmd -bogus\nunkonw cmd stray\n");
}

TEST(RunOptions, OperandsFilesRamAndWflash) {
    Parsed p = parse({"-f",    "there1", "there2",    "-tosdram", "a.bin",  "0x8000",  "b.bin",
                      "4096",  "-aline", "0X400",     "-runaddr", "0X10",   "-wflash", "d.bin",
                      "0x100", "1",      "-resource", "res",      "0x1000", "-go",     "0x2000"});
    EXPECT_EQ(p.result.error, 0);
    EXPECT_EQ(p.options.imageFiles, (std::vector<std::string>{"there1", "there2"}));
    EXPECT_EQ(p.options.ramDownloads,
              (std::vector<std::pair<std::string, uint32_t>>{{"a.bin", 0x8000}, {"b.bin", 4096}}));
    EXPECT_EQ(p.options.alignment, 0x400u);
    EXPECT_EQ(p.options.runAddress, 0u);  // 0x-only
    EXPECT_EQ(p.options.flashFile, "d.bin");
    EXPECT_EQ(p.options.flashAddress, 0x100u);
    EXPECT_TRUE(p.options.dataFlash);
    EXPECT_EQ(p.options.resourceFolder, "res");
    EXPECT_EQ(p.options.resourceAlignment, 0x1000u);
    EXPECT_EQ(p.options.goAddress, 0x2000);
    p = parse({"-f", "there", "missing.bin"});
    EXPECT_EQ(p.result.error, 2);
    EXPECT_EQ(p.result.message, "ERROR : missing.bin not exist \r\n");
    // Any other option ends the operands.
    EXPECT_EQ(parse({"-f", "-erase", "loose"}).printed, "unkonw cmd loose\n");
    // A RAM address is hexadecimal from its "0x" or "0X" on, wherever that stands.
    p = parse({"-tosdram", "a", "1230x10", "b", "a0X1F"});
    EXPECT_EQ(p.options.ramDownloads,
              (std::vector<std::pair<std::string, uint32_t>>{{"a", 0x10}, {"b", 0x1F}}));
}

TEST(RunOptions, SignsAreNoNumbers) {
    EXPECT_EQ(vornload::parseNumber("-5"), 0u);
    EXPECT_EQ(vornload::parseNumber("+5"), 0u);
    EXPECT_EQ(vornload::parseNumber("0x-5"), 0u);
    EXPECT_EQ(vornload::parseNumber("99999999999"), 0xFFFFFFFFu);
    EXPECT_EQ(parse({"-aline", "-5"}).options.alignment, 0u);
    EXPECT_EQ(parse({"-div-5"}).options.divider, 0u);
    EXPECT_EQ(parse({"-read", "o", "0x10--1K"}).options.readLength, 0u);
}

TEST(ErrorReport, TextsNamesFilesAndAlerts) {
    testing_support::TempDir temp;
    const std::filesystem::path dir = temp.path();
    std::ofstream(dir / "zImag.img") << "x";
    std::ofstream(dir / "user.app") << "x";
    std::ostringstream out, notice;
    EXPECT_EQ(vornload::reportError(7, 2, 16, dir, out, notice), 2);
    EXPECT_EQ(out.str(), "down err @ line 7 : 2-ISD_ERR_FILE_NOEXIST\n\a");
    EXPECT_FALSE(std::filesystem::exists(dir / "zImag.img"));
    EXPECT_FALSE(std::filesystem::exists(dir / "user.app"));
    out.str("");
    EXPECT_EQ(vornload::reportError(3, 4, 16, dir, out, notice), 4);  // no bell for "offline"
    EXPECT_EQ(out.str(), "down err @ line 3 : 4-ISD_ERR_DEV_OFFLINE\n");
    out.str("");
    EXPECT_EQ(vornload::reportError(9, 42, 18, dir, out, notice), 42);
    EXPECT_EQ(out.str(), "ERR:down err @ line 9 : 42-42\n");
    EXPECT_EQ(notice.str(), "vornload: down err @ line 9 : 42\n");
    out.str("");
    EXPECT_EQ(vornload::reportError(1, 0, 16, dir, out, notice), 0);
    EXPECT_EQ(out.str(), "");
}

}  // namespace
