#include "platform/GifWriter.h"
#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtImageCodec.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>

#include <sys/stat.h>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::Bitmap;
using platform::ImageFormat;
using platform::ImageFrame;
using platform::Rect;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

constexpr uint32_t kBlack = 0xFF000000u, kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u,
                   kBlue = 0xFF0000FFu, kWhite = 0xFFFFFFFFu, kYellow = 0xFFFFFF00u,
                   kOdd = 0xFF123456u;

void put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
uint32_t get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}
unsigned get16(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8;
}

// Pictures written as rows of letters.
Bitmap fromRows(const std::vector<std::string>& rows) {
    static const std::map<char, uint32_t> colours = {{'K', kBlack}, {'R', kRed},   {'G', kGreen},
                                                     {'B', kBlue},  {'W', kWhite}, {'Y', kYellow}};
    Bitmap b(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            b.setPixel(static_cast<int>(x), static_cast<int>(y), colours.at(rows[y][x]));
    return b;
}

// The 3 × 2 picture of the hand-made BMP: red, green, yellow over blue, white, 0x123456.
Bitmap threeByTwo() {
    Bitmap b(3, 2);
    b.setPixel(0, 0, kRed);
    b.setPixel(1, 0, kGreen);
    b.setPixel(2, 0, kYellow);
    b.setPixel(0, 1, kBlue);
    b.setPixel(1, 1, kWhite);
    b.setPixel(2, 1, kOdd);
    return b;
}

std::string bmpHeader(int32_t width, int32_t height, uint32_t dataSize) {
    std::string s = "BM";
    put32(s, 54 + dataSize);
    put32(s, 0);
    put32(s, 54);
    put32(s, 40);
    put32(s, static_cast<uint32_t>(width));
    put32(s, static_cast<uint32_t>(height));
    put16(s, 1);
    put16(s, 24);
    put32(s, 0);
    put32(s, dataSize);
    put32(s, 2835);
    put32(s, 2835);
    put32(s, 0);
    put32(s, 0);
    return s;
}

// threeByTwo() as a 24-bit BMP: rows bottom-up, blue-green-red, each row of 9
// bytes padded to 12.
const std::string kThreeByTwoPixels(
    "\xFF\x00\x00"   // blue
    "\xFF\xFF\xFF"   // white
    "\x56\x34\x12"   // 0x123456
    "\x00\x00\x00"   // padding
    "\x00\x00\xFF"   // red
    "\x00\xFF\x00"   // green
    "\x00\xFF\xFF"   // yellow
    "\x00\x00\x00",  // padding
    24);

std::string handMadeBmp() {
    return bmpHeader(3, 2, 24) + kThreeByTwoPixels;
}

// --- GIF ---------------------------------------------------------------------

// Codes packed from the lowest bit up, as GIF's LZW data is.
std::string packCodes(const std::vector<int>& codes, int width) {
    std::string bytes;
    uint32_t acc = 0;
    int bits = 0;
    for (int c : codes) {
        acc |= static_cast<uint32_t>(c) << bits;
        bits += width;
        while (bits >= 8) {
            bytes += static_cast<char>(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) bytes += static_cast<char>(acc & 0xFF);
    return bytes;
}

std::string subBlocks(const std::string& data) {
    std::string out;
    for (size_t at = 0; at < data.size(); at += 255) {
        const std::string chunk = data.substr(at, 255);
        out += static_cast<char>(chunk.size());
        out += chunk;
    }
    return out + '\0';
}

// Image data with minimum code size 2 (clear 4, end 5). A clear code before
// every index keeps all codes 3 bits wide and the decoder's table empty, so the
// stream is simple to write by hand and still valid LZW.
std::string lzwOf(const std::vector<int>& indices) {
    std::vector<int> codes;
    for (int i : indices) {
        codes.push_back(4);
        codes.push_back(i);
    }
    codes.push_back(5);
    return "\x02" + subBlocks(packCodes(codes, 3));
}

struct GifFrame {
    int left, top, width, height;
    int delay;  // hundredths of a second
    int disposal;
    int transparent;   // colour index, or -1
    std::string data;  // minimum code size, sub-blocks, terminator
};

// Global colour table: 0 black, 1 red, 2 green, 3 blue.
std::string gif(int width, int height, const std::vector<GifFrame>& frames) {
    std::string s = "GIF89a";
    put16(s, width);
    put16(s, height);
    s += "\x91";  // global table of 4 entries, 2 bits of colour resolution
    s += std::string("\0\0", 2);
    s += std::string(
        "\x00\x00\x00"
        "\xFF\x00\x00"
        "\x00\xFF\x00"
        "\x00\x00\xFF",
        12);
    for (const GifFrame& f : frames) {
        s += "\x21\xF9\x04";
        s += static_cast<char>(f.disposal << 2 | (f.transparent >= 0 ? 1 : 0));
        put16(s, f.delay);
        s += static_cast<char>(f.transparent >= 0 ? f.transparent : 0);
        s += '\0';
        s += '\x2C';
        put16(s, f.left);
        put16(s, f.top);
        put16(s, f.width);
        put16(s, f.height);
        s += '\0';
        s += f.data;
    }
    return s + '\x3B';
}

// Three frames on a 4 × 4 screen, none disposed: a full red-over-green
// picture, a blue 2 × 2 in the middle, then the bottom row with two
// transparent pixels that must keep what was there.
std::string threeFrameGif() {
    return gif(4, 4,
               {{0, 0, 4, 4, 10, 1, -1, lzwOf({1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2})},
                {1, 1, 2, 2, 25, 1, -1, lzwOf({3, 3, 3, 3})},
                {0, 3, 4, 1, 50, 1, 0, lzwOf({0, 3, 0, 1})}});
}

std::string gifWithData(const std::string& data) {
    return gif(4, 4, {{0, 0, 4, 4, 10, 1, -1, data}});
}

bool allOpaque(const Bitmap& b) {
    for (uint32_t p : b.pixels())
        if (p >> 24 != 0xFF) return false;
    return true;
}

void expectNear(uint32_t actual, uint32_t expected, int tolerance) {
    for (int shift : {16, 8, 0}) {
        const int a = static_cast<int>(actual >> shift & 0xFF);
        const int e = static_cast<int>(expected >> shift & 0xFF);
        EXPECT_LE(std::abs(a - e), tolerance) << std::hex << actual << " vs " << expected;
    }
    EXPECT_EQ(actual >> 24, 0xFFu);
}

class QtImageCodecTest : public ::testing::Test {
protected:
    platform::QtImageCodec m_codec;
    TempDir m_dir;
};

// --- reading -----------------------------------------------------------------

TEST_F(QtImageCodecTest, ReadsAHandMadeBmpWhateverItsName) {
    for (const char* name : {"picture.bmp", "really-a-bmp.png", "no-extension"}) {
        SCOPED_TRACE(name);
        const fs::path file = writeFile(m_dir / name, handMadeBmp());
        Bitmap image;
        ASSERT_TRUE(m_codec.load(file, image));
        EXPECT_EQ(image, threeByTwo());

        std::vector<ImageFrame> frames;
        ASSERT_TRUE(m_codec.loadFrames(file, frames));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].image, threeByTwo());
        EXPECT_EQ(frames[0].delayMs, 0);
    }
}

TEST_F(QtImageCodecTest, ComposesGifFramesAsTheirDisposalSays) {
    const std::vector<std::vector<std::string>> expected = {
        {"RRRR", "RRRR", "GGGG", "GGGG"},
        {"RRRR", "RBBR", "GBBG", "GGGG"},
        {"RRRR", "RBBR", "GBBG", "GBGR"},
    };
    const std::vector<int> delays = {100, 250, 500};
    const fs::path file = writeFile(m_dir / "three.gif", threeFrameGif());

    std::vector<ImageFrame> fromFile, fromMemory;
    ASSERT_TRUE(m_codec.loadFrames(file, fromFile));
    ASSERT_TRUE(m_codec.decodeFrames(threeFrameGif(), fromMemory));
    for (const auto* frames : {&fromFile, &fromMemory}) {
        ASSERT_EQ(frames->size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            EXPECT_EQ((*frames)[i].image, fromRows(expected[i]));
            EXPECT_EQ((*frames)[i].delayMs, delays[i]);
        }
    }

    Bitmap first;
    ASSERT_TRUE(m_codec.load(file, first));
    EXPECT_EQ(first, fromRows(expected[0]));
}

TEST_F(QtImageCodecTest, TransparencyBecomesBlack) {
    // Written by Qt itself, not by the codec: red at half alpha, white fully transparent.
    QImage translucent(2, 1, QImage::Format_ARGB32);
    translucent.setPixel(0, 0, qRgba(255, 0, 0, 128));
    translucent.setPixel(1, 0, qRgba(255, 255, 255, 0));
    const fs::path file = m_dir / "alpha.png";
    ASSERT_TRUE(translucent.save(QString::fromStdString(file.string()), "PNG"));
    Bitmap image;
    ASSERT_TRUE(m_codec.load(file, image));
    EXPECT_EQ(image.pixel(0, 0), 0xFF800000u);
    EXPECT_EQ(image.pixel(1, 0), kBlack);

    // Saving composes the same way.
    Bitmap source(2, 1);
    source.setPixel(0, 0, 0x80FF0000u);
    source.setPixel(1, 0, 0x00FFFFFFu);
    ASSERT_TRUE(m_codec.save(source, m_dir / "saved.png", ImageFormat::Png));
    ASSERT_TRUE(m_codec.load(m_dir / "saved.png", image));
    EXPECT_EQ(image.pixel(0, 0), 0xFF800000u);
    EXPECT_EQ(image.pixel(1, 0), kBlack);
}

// Damaged input is refused or, where a decoder salvages part of it, gives
// full-size opaque frames; it never crashes.
TEST_F(QtImageCodecTest, RefusesDamagedFiles) {
    std::string png;
    {
        Bitmap gradient(16, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                gradient.setPixel(x, y,
                                  0xFF000000u | static_cast<uint32_t>(x * 16) << 16 | y * 16u);
        ASSERT_TRUE(m_codec.save(gradient, m_dir / "whole.png", ImageFormat::Png));
        png = readFile(m_dir / "whole.png");
        ASSERT_GT(png.size(), 60u);
    }
    std::string noise;
    uint32_t seed = 12345;
    for (int i = 0; i < 600; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += static_cast<char>(seed >> 16);
    }
    std::string bmpHeaderOnly = bmpHeader(100000, 100000, 0);
    std::string hugeGif = gif(65535, 65535, {{0, 0, 1, 1, 10, 1, -1, lzwOf({1})}});

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"empty", ""},
        {"truncated png", png.substr(0, png.size() / 2)},
        {"png signature only", png.substr(0, 8)},
        {"random bytes", noise},
        {"bmp claiming 100000 x 100000", bmpHeaderOnly},
        {"bmp claiming 100000 x 100000 with pixels", bmpHeaderOnly + std::string(4096, '\x7F')},
        {"bmp cut inside the header", handMadeBmp().substr(0, 30)},
        {"gif header only", threeFrameGif().substr(0, 25)},
        {"gif screen of 65535 x 65535", hugeGif},
        {"valid PPM, a format not offered", std::string("P6\n1 1\n255\n\xFF\x00\x00", 14)},
    };
    for (const auto& [name, bytes] : refused) {
        SCOPED_TRACE(name);
        const fs::path file = writeFile(m_dir / "damaged.png", bytes);
        Bitmap image(1, 1, kRed);
        std::vector<ImageFrame> frames(1);
        EXPECT_FALSE(m_codec.load(file, image));
        EXPECT_FALSE(m_codec.loadFrames(file, frames));
        EXPECT_TRUE(frames.empty());
        frames.resize(1);
        EXPECT_FALSE(m_codec.decodeFrames(bytes, frames));
        EXPECT_TRUE(frames.empty());
    }

    // Broken LZW: decoders may salvage part of the picture.
    const std::vector<std::pair<std::string, std::string>> salvageable = {
        {"codes not yet in the table", "\x02" + subBlocks(packCodes({4, 7, 6, 7, 6, 5}, 3))},
        {"code beyond the next free one", "\x02" + subBlocks(packCodes({4, 1, 7, 7, 7, 7, 5}, 3))},
        {"no clear or end code", "\x02" + subBlocks(packCodes({1, 2, 3, 1, 2, 3}, 3))},
        {"minimum code size 12", "\x0C" + subBlocks(std::string(40, '\xA5'))},
        {"minimum code size 0", std::string("\x00", 1) + subBlocks(std::string(40, '\x5A'))},
        {"sub-block longer than the file", std::string("\x02\xC8\x8C\x2D", 4)},
        {"only zero codes", "\x02" + subBlocks(std::string(300, '\0'))},
    };
    for (const auto& [name, data] : salvageable) {
        SCOPED_TRACE(name);
        const std::string bytes = gifWithData(data);
        std::vector<ImageFrame> frames;
        if (m_codec.decodeFrames(bytes, frames)) {
            for (const ImageFrame& f : frames) {
                EXPECT_EQ(f.image.width(), 4);
                EXPECT_EQ(f.image.height(), 4);
                EXPECT_TRUE(allOpaque(f.image));
            }
        } else {
            EXPECT_TRUE(frames.empty());
        }
        Bitmap image;
        if (m_codec.load(writeFile(m_dir / "lzw.gif", bytes), image)) {
            EXPECT_EQ(image.width(), 4);
            EXPECT_TRUE(allOpaque(image));
        }
    }
}

TEST_F(QtImageCodecTest, RefusesWhatIsNotAFile) {
    fs::create_directories(m_dir / "folder.png");
    const fs::path fifo = m_dir / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // opening it to read would wait for a writer
    for (const fs::path& p : {m_dir / "missing.png", m_dir / "folder.png", fifo}) {
        SCOPED_TRACE(p.string());
        Bitmap image;
        std::vector<ImageFrame> frames;
        EXPECT_FALSE(m_codec.load(p, image));
        EXPECT_FALSE(m_codec.loadFrames(p, frames));
        EXPECT_TRUE(frames.empty());
    }
}

// --- saving ------------------------------------------------------------------

TEST_F(QtImageCodecTest, SavesBmpWith24BitsPerPixel) {
    const fs::path file = m_dir / "out.bmp";
    ASSERT_TRUE(m_codec.save(threeByTwo(), file, ImageFormat::Bmp24));
    const std::string bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 78u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(get32(bytes, 2), 78u);   // file size
    EXPECT_EQ(get32(bytes, 10), 54u);  // pixel data offset
    EXPECT_EQ(get32(bytes, 14), 40u);  // info header size
    EXPECT_EQ(get32(bytes, 18), 3u);   // width
    EXPECT_EQ(get32(bytes, 22), 2u);   // height, positive: rows bottom-up
    EXPECT_EQ(get16(bytes, 26), 1u);   // planes
    EXPECT_EQ(get16(bytes, 28), 24u);  // bits per pixel
    EXPECT_EQ(get32(bytes, 30), 0u);   // no compression
    EXPECT_EQ(bytes.substr(54), kThreeByTwoPixels);

    Bitmap back;
    ASSERT_TRUE(m_codec.load(file, back));
    EXPECT_EQ(back, threeByTwo());
}

TEST_F(QtImageCodecTest, PngRoundTripIsExact) {
    Bitmap picture(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            picture.setPixel(
                x, y, 0xFF000000u | (x * 37u + 1) << 16 | (y * 51u + 2) << 8 | (x * y * 11u + 3));
    const fs::path file = m_dir / "out.png";
    ASSERT_TRUE(m_codec.save(picture, file, ImageFormat::Png));
    EXPECT_EQ(readFile(file).substr(0, 8), "\x89PNG\r\n\x1A\n");
    Bitmap back;
    ASSERT_TRUE(m_codec.load(file, back));
    EXPECT_EQ(back, picture);
}

TEST_F(QtImageCodecTest, JpegRoundTripIsClose) {
    // Two flat blocks on the 16-pixel grid of JPEG's blocks, so only the
    // colour quantisation can move them; the decoder's chroma upsampling blends
    // the two pixels either side of the edge, which are left out.
    const uint32_t left = 0xFFC82828u, right = 0xFF28A0DCu;
    Bitmap picture(32, 16, left);
    picture.fillRect({16, 0, 16, 16}, right);
    const fs::path file = m_dir / "out.jpg";
    ASSERT_TRUE(m_codec.save(picture, file, ImageFormat::Jpeg));
    EXPECT_EQ(readFile(file).substr(0, 3), "\xFF\xD8\xFF");
    Bitmap back;
    ASSERT_TRUE(m_codec.load(file, back));
    ASSERT_EQ(back.width(), 32);
    ASSERT_EQ(back.height(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            if (x < 14 || x > 17) expectNear(back.pixel(x, y), x < 16 ? left : right, 8);
}

TEST_F(QtImageCodecTest, FailedSavesLeaveNothingBehind) {
    const fs::path missing = m_dir / "no-such-folder" / "out.png";
    for (ImageFormat format : {ImageFormat::Bmp24, ImageFormat::Png, ImageFormat::Jpeg})
        EXPECT_FALSE(m_codec.save(threeByTwo(), missing, format));
    EXPECT_FALSE(fs::exists(missing.parent_path()));

    fs::create_directories(m_dir / "folder.bmp");
    EXPECT_FALSE(m_codec.save(threeByTwo(), m_dir / "folder.bmp", ImageFormat::Bmp24));
    EXPECT_TRUE(fs::is_directory(m_dir / "folder.bmp"));

    const fs::path existing = writeFile(m_dir / "kept.bmp", "old");
    EXPECT_FALSE(m_codec.save(Bitmap(), existing, ImageFormat::Bmp24));
    EXPECT_EQ(readFile(existing), "old");
    EXPECT_FALSE(m_codec.save(Bitmap(), m_dir / "new.png", ImageFormat::Png));
    EXPECT_FALSE(fs::exists(m_dir / "new.png"));
}

// --- scaled drawing ----------------------------------------------------------

TEST_F(QtImageCodecTest, ScalingUpKeepsCornersAndSmoothsBetween) {
    const Bitmap source = fromRows({"RG", "BW"});
    Bitmap target(4, 4);
    m_codec.drawScaled(source, {0, 0, 2, 2}, target, {0, 0, 4, 4});
    EXPECT_EQ(target.pixel(0, 0), kRed);
    EXPECT_EQ(target.pixel(3, 0), kGreen);
    EXPECT_EQ(target.pixel(0, 3), kBlue);
    EXPECT_EQ(target.pixel(3, 3), kWhite);
    // Between red and green both show: smoothing, not the nearest pixel.
    const uint32_t between = target.pixel(1, 0);
    EXPECT_GT(between >> 16 & 0xFF, 0u);
    EXPECT_LT(between >> 16 & 0xFF, 255u);
    EXPECT_GT(between >> 8 & 0xFF, 0u);
    EXPECT_LT(between >> 8 & 0xFF, 255u);
    EXPECT_TRUE(allOpaque(target));
}

TEST_F(QtImageCodecTest, DrawsOnlyWhereTheRectanglesMeet) {
    const Bitmap red(2, 2, kRed);
    struct Case {
        const char* name;
        Rect from, to;
        std::vector<std::string> expected;  // the 4 × 4 target afterwards
    };
    const std::vector<std::string> untouched = {"KKKK", "KKKK", "KKKK", "KKKK"};
    const std::vector<Case> cases = {
        {"target partly past the bottom right",
         {0, 0, 2, 2},
         {2, 2, 5, 5},
         {"KKKK", "KKKK", "KKRR", "KKRR"}},
        {"target partly past the top left",
         {0, 0, 2, 2},
         {-3, -2, 4, 4},
         {"RKKK", "RKKK", "KKKK", "KKKK"}},
        {"source partly outside", {-2, 0, 4, 2}, {0, 0, 4, 4}, {"KKRR", "KKRR", "KKRR", "KKRR"}},
        {"target far larger than the bitmap",
         {0, 0, 2, 2},
         {INT_MIN / 2, INT_MIN / 2, INT_MAX, INT_MAX},
         {"RRRR", "RRRR", "RRRR", "RRRR"}},
        {"target beyond the largest coordinate",
         {0, 0, 2, 2},
         {INT_MAX - 1, 0, INT_MAX, 4},
         untouched},
        {"source beyond the largest coordinate",
         {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
         {0, 0, 4, 4},
         untouched},
        {"target outside", {0, 0, 2, 2}, {4, 0, 3, 3}, untouched},
        {"source outside", {2, 0, 2, 2}, {0, 0, 4, 4}, untouched},
        {"empty source rectangle", {0, 0, 0, 2}, {0, 0, 4, 4}, untouched},
        {"empty target rectangle", {0, 0, 2, 2}, {0, 0, 4, 0}, untouched},
        {"inverted source rectangle", {2, 2, -2, -2}, {0, 0, 4, 4}, untouched},
        {"inverted target rectangle", {0, 0, 2, 2}, {4, 4, -4, -4}, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap target(4, 4);
        m_codec.drawScaled(red, c.from, target, c.to);
        EXPECT_EQ(target, fromRows(c.expected));
    }

    // Empty bitmaps on either side draw nothing.
    Bitmap target(4, 4);
    m_codec.drawScaled(Bitmap(), {0, 0, 2, 2}, target, {0, 0, 4, 4});
    EXPECT_EQ(target, fromRows(untouched));
    Bitmap none;
    m_codec.drawScaled(red, {0, 0, 2, 2}, none, {0, 0, 4, 4});
    EXPECT_TRUE(none.empty());
}

// --- the shipped pictures -----------------------------------------------------

// The default picture library lists each picture with its size; a list that
// disagrees with its pictures would place them wrongly on the sign.
TEST_F(QtImageCodecTest, ShippedPicturesMatchTheirList) {
    const fs::path data = fs::path(ZENTARI_SOURCE_DIR) / "data";
    const std::string list = readFile(data / "DefaultImage.dat");
    EXPECT_EQ(list.rfind("<!--?xml version=\"1.0\" encoding=\"UTF-8\"?-->\r\n<root>\r\n"
                         "<imageFlag>0</imageFlag>\r\n",
                         0),
              0u);
    EXPECT_EQ(list.substr(list.size() - 9), "</root>\r\n");
    for (size_t at = list.find('\n'); at != std::string::npos; at = list.find('\n', at + 1))
        EXPECT_TRUE(at > 0 && list[at - 1] == '\r') << "line end at " << at;

    const auto valueOf = [](const std::string& item, const std::string& key) {
        const std::string open = "<Item name=\"" + key + "\">";
        const size_t from = item.find(open);
        if (from == std::string::npos) return std::string();
        const size_t begin = from + open.size();
        return item.substr(begin, item.find("</Item>", begin) - begin);
    };
    const std::string itemOpen = "<imageItem name=\"imageItem\">\r\n", itemClose = "</imageItem>";
    // Ids from 50 on, so picture codes ("[5x]") can reach them.
    int id = 50;
    for (size_t at = list.find(itemOpen); at != std::string::npos;
         at = list.find(itemOpen, at + 1), ++id) {
        const std::string item = list.substr(at, list.find(itemClose, at) + itemClose.size() - at);
        std::string path = valueOf(item, "imgPath");
        SCOPED_TRACE(path);
        const std::string height = valueOf(item, "nDestHeight"),
                          width = valueOf(item, "nDestWidth");
        EXPECT_EQ(item, itemOpen + "<Item name=\"bZoom\">0</Item>\r\n<Item name=\"imgPath\">" +
                            path + "</Item>\r\n<Item name=\"nDestHeight\">" + height +
                            "</Item>\r\n<Item name=\"nDestWidth\">" + width +
                            "</Item>\r\n<Item name=\"nValueID\">" + std::to_string(id) +
                            "</Item>\r\n" + itemClose);
        ASSERT_EQ(path.rfind("\\Images\\Pictures\\", 0), 0u);
        std::replace(path.begin(), path.end(), '\\', '/');
        Bitmap picture;
        ASSERT_TRUE(m_codec.load(data / path.substr(1), picture));
        EXPECT_EQ(std::to_string(picture.height()), height);
        EXPECT_EQ(std::to_string(picture.width()), width);
        EXPECT_LE(picture.height(), 12);
        EXPECT_GE(picture.width(), 8);
        EXPECT_LE(picture.width(), 16);
        // Crisp LED art: every pixel black or a full-strength colour.
        for (uint32_t p : picture.pixels())
            EXPECT_TRUE(p == kBlack || p == kRed || p == kGreen || p == kYellow || p == kWhite)
                << std::hex << p;
    }
    EXPECT_EQ(id, 58);
}

}  // namespace

// Our GIF writer, read back by Qt's decoder: pictures big and varied enough
// that the code table fills and starts afresh.
TEST(GifWriterTest, QtReadsBackEveryFrameAndDelay) {
    const int w = 200, h = 120;
    const std::vector<uint32_t> palette{0x000000, 0xFF0000, 0x121200, 0x202020, 0x00FF00};
    platform::GifWriter gif(w, h, palette);
    std::vector<std::vector<uint8_t>> frames;
    for (int f = 0; f < 3; ++f) {
        std::vector<uint8_t> pixels(static_cast<size_t>(w) * h);
        uint32_t x = 12345u + static_cast<uint32_t>(f);
        for (auto& p : pixels) {
            x = x * 1103515245u + 12345u;
            p = static_cast<uint8_t>((x >> 16) % palette.size());
        }
        frames.push_back(pixels);
        ASSERT_TRUE(gif.addFrame(pixels, 55));
    }
    EXPECT_FALSE(gif.addFrame(std::vector<uint8_t>(5, 0), 10));
    EXPECT_FALSE(gif.addFrame(std::vector<uint8_t>(static_cast<size_t>(w) * h, 9), 10));
    platform::QtImageCodec codec;
    std::vector<platform::ImageFrame> decoded;
    ASSERT_TRUE(codec.decodeFrames(gif.finish(), decoded));
    ASSERT_EQ(decoded.size(), 3u);
    // 55 ms each: 50, 60 (carrying 5 + 5), 50.
    EXPECT_EQ(decoded[0].delayMs, 50);
    EXPECT_EQ(decoded[1].delayMs, 60);
    EXPECT_EQ(decoded[2].delayMs, 50);
    for (size_t f = 0; f < 3; ++f)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(decoded[f].image.pixel(x, y) & 0xFFFFFF,
                          palette[frames[f][static_cast<size_t>(y) * w + x]])
                    << "frame " << f << " at " << x << "," << y;
}

// The sign's look lights a pixel where the sign would: red of 100 or more once
// laid over black, whatever the green and blue.
TEST(SignLook, LightsWhatTheSignLights) {
    QImage picture(5, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgb(0, 255, 0));          // green: dark on the sign
    picture.setPixel(1, 0, qRgb(100, 0, 0));          // just lit
    picture.setPixel(2, 0, qRgb(99, 255, 255));       // just dark
    picture.setPixel(3, 0, qRgba(255, 0, 0, 128));    // half red over black: 128, lit
    picture.setPixel(4, 0, qRgba(255, 255, 255, 0));  // transparent: black
    const QImage look = platform::signLook(picture, 3);
    ASSERT_EQ(look.size(), QSize(15, 3));
    const bool lit[] = {false, true, false, true, false};
    for (int led = 0; led < 5; ++led) {
        SCOPED_TRACE(led);
        // A 2 × 2 dot, then a pixel of gap to the right and below.
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                const bool dot = lit[led] && x < 2 && y < 2;
                EXPECT_EQ(look.pixel(led * 3 + x, y), dot ? 0xFFFF3C28u : 0xFF161619u);
            }
    }
    // One pixel an LED leaves no gap.
    EXPECT_EQ(platform::signLook(picture, 1).pixel(1, 0), 0xFFFF3C28u);
}
