#include "flashtool/image/ResourceBuilder.h"

#include "ImageExpect.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace imagetest;

constexpr Words words{0x55667788, 0x11223344, 0x01000000, 0x0A0B0C0D, 0x00001234};

vornload::ImageSettings settings() {
    vornload::ImageSettings s;
    s.sdramControl = words.sdramControl;
    s.refreshInterval = words.refreshInterval;
    s.runAddress = words.runAddress;
    s.clockWord = words.clockWord;
    s.spiWord = words.spiWord;
    s.codeStartOffset = 0x2000;  // resource positions are file positions, without it
    return s;
}

Bytes read(const std::filesystem::path& p) {
    const std::string s = testing_support::readFile(p);
    return Bytes(s.begin(), s.end());
}

TEST(ResourceBuilder, OnePackagePerSubfolderByteForByte) {
    testing_support::TempDir dir;
    const Bytes a = pattern(100, 1);
    const Bytes b = pattern(600, 2);
    const Bytes c = pattern(10, 3);
    testing_support::writeFile(dir / "fonts" / "A.bin", std::string(a.begin(), a.end()));
    testing_support::writeFile(dir / "fonts" / "b.dat", std::string(b.begin(), b.end()));
    testing_support::writeFile(dir / "icons" / "c", std::string(c.begin(), c.end()));
    std::filesystem::create_directories(dir / "fonts" / "nested");  // not a file of the package
    testing_support::writeFile(dir / "loose.txt", "not in a subfolder");

    std::ostringstream out;
    ASSERT_EQ(vornload::buildResourcePackages(dir.path().string(), 512, settings(), out), 0);

    // fonts: header area 512, A at 512..611, b at 1024..1623, size 2048.
    Bytes fonts(2048, 0xFF);
    put(fonts, 512, a);
    put(fonts, 1024, b);
    entry(fonts, 0, 0, 0, bitCrc(a), 512, 100, nameField("a.bin"));
    entry(fonts, 0, 1, 0, bitCrc(b), 1024, 600, nameField("b.dat"));
    header(fonts, 0, 2, 64, 2048, words);
    EXPECT_EQ(read(dir / "fonts.res"), fonts);

    // icons: c at 512..521, size 1024.
    Bytes icons(1024, 0xFF);
    put(icons, 512, c);
    entry(icons, 0, 0, 0, bitCrc(c), 512, 10, nameField("c"));
    header(icons, 0, 1, 32, 1024, words);
    EXPECT_EQ(read(dir / "icons.res"), icons);

    EXPECT_EQ(out.str(), "resource file[" + (dir / "fonts").string() + ".res] size = 2048\n" +
                             "resource file[" + (dir / "icons").string() + ".res] size = 1024\n");
}

TEST(ResourceBuilder, AlignmentAboveTheHeaderArea) {
    testing_support::TempDir dir;
    const Bytes a = pattern(100, 1);
    testing_support::writeFile(dir / "res" / "x", std::string(a.begin(), a.end()));
    std::ostringstream out;
    ASSERT_EQ(vornload::buildResourcePackages(dir.path().string(), 0x1000, settings(), out), 0);
    // The file starts at the header area's end rounded up to 4096.
    Bytes want(8192, 0xFF);
    put(want, 4096, a);
    entry(want, 0, 0, 0, bitCrc(a), 4096, 100, nameField("x"));
    header(want, 0, 1, 32, 8192, words);
    EXPECT_EQ(read(dir / "res.res"), want);
}

TEST(ResourceBuilder, FailuresGiveTheirCodes) {
    testing_support::TempDir dir;
    std::ostringstream out;
    EXPECT_EQ(vornload::buildResourcePackages((dir / "absent").string(), 512, settings(), out), 6);
    testing_support::writeFile(dir / "long" / "seventeen_chars.x", "1");
    EXPECT_EQ(vornload::buildResourcePackages(dir.path().string(), 512, settings(), out), 11);
    EXPECT_EQ(out.str(), "seventeen_chars.x");
    std::filesystem::remove_all(dir / "long");
    testing_support::writeFile(dir / "victim", "keep");
    testing_support::writeFile(dir / "sub" / "f", "1");
    std::filesystem::create_symlink(dir / "victim", dir / "sub.res");
    EXPECT_EQ(vornload::buildResourcePackages(dir.path().string(), 512, settings(), out), 6);
    EXPECT_EQ(testing_support::readFile(dir / "victim"), "keep");
}

}  // namespace
