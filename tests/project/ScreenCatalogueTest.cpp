#include "project/CScreenSel.h"
#include "project/ScreenCatalogue.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <set>

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::writeFile;

struct NoTexts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

class Catalogue : public ::testing::Test {
protected:
    fs::path program() const { return dir / "program"; }
    ScreenCatalogue read(const std::string& xml) {
        writeFile(dir / "cat.xml", xml);
        ScreenCatalogue c;
        EXPECT_TRUE(c.readFile(dir / "cat.xml", program()));
        return c;
    }
    void picture(const char* name) { writeFile(program() / "img" / name, "GIF89a"); }
    TempDir dir;
    NoTexts texts;
};

TEST_F(Catalogue, SizeRulesAndFallbacks) {
    const ScreenCatalogue c = read(
        "<list><A width=\"128\" height=\"10\"/><B width=\"96\" height=\"96\"/>"
        "<C width=\"12\" height=\"11\"/></list>");
    EXPECT_EQ(c.entries().size(), 3u);
    EXPECT_EQ(c.sizeOf(0), (std::pair<int32_t, int32_t>{44, 11}));
    EXPECT_EQ(c.sizeOf(1), (std::pair<int32_t, int32_t>{96, 96}));
    EXPECT_EQ(c.sizeOf(2), (std::pair<int32_t, int32_t>{12, 11}));
    EXPECT_EQ(c.sizeOf(5), (std::pair<int32_t, int32_t>{44, 11}));
    EXPECT_EQ(c.sizeOf(-1), (std::pair<int32_t, int32_t>{44, 11}));
    EXPECT_EQ(ScreenCatalogue::widthRule(11), 44);
    EXPECT_EQ(ScreenCatalogue::widthRule(97), 44);
    EXPECT_EQ(ScreenCatalogue::heightRule(97), 11);

    // Neither file: no entries, index 0 is 44 × 11 and any other 48 × 12.
    ScreenCatalogue none;
    EXPECT_FALSE(none.load(dir / "user.xml", dir / "shipped.dat", program()));
    EXPECT_EQ(none.sizeOf(0), (std::pair<int32_t, int32_t>{44, 11}));
    EXPECT_EQ(none.sizeOf(1), (std::pair<int32_t, int32_t>{48, 12}));
    EXPECT_EQ(none.sizeOf(7), (std::pair<int32_t, int32_t>{48, 12}));
    // Not well-formed counts as unreadable.
    writeFile(dir / "broken.xml", "<list><A width=\"64\" height=\"16\"></list>");
    ScreenCatalogue broken;
    EXPECT_FALSE(broken.readFile(dir / "broken.xml", program()));
    EXPECT_EQ(broken.sizeOf(0), (std::pair<int32_t, int32_t>{44, 11}));
}

TEST_F(Catalogue, TheUsersFileWinsAndPathsResolve) {
    writeFile(dir / "shipped.dat", "<r><S width=\"48\" height=\"12\"/></r>");
    ScreenCatalogue c;
    ASSERT_TRUE(c.load(dir / "user.xml", dir / "shipped.dat", program()));
    EXPECT_EQ(c.entries().at(0).name, u"S");
    writeFile(dir / "user.xml",
              "<r><U width=\"64\" height=\"16\" FileType=\"multiframe\" "
              "TypeName=\"Big\">.\\img\\a.gif</U>"
              "<P width=\"36\" height=\"11\" FileType=\"PACK\" "
              "Speed=\"250\"><x>.\\img\\p1.png</x><y>/abs/p2.png</y></P>"
              "<F FileType=\"Swf\">.\\img\\f.swf</F><Q FileType=\"movie\"/></r>");
    ASSERT_TRUE(c.load(dir / "user.xml", dir / "shipped.dat", program()));
    ASSERT_EQ(c.entries().size(), 4u);
    const auto& u = c.entries()[0];
    EXPECT_EQ(u.name, u"U");
    EXPECT_EQ(u.kind, ScreenCatalogue::Kind::MultiFrame);
    EXPECT_EQ(u.typeName, u"Big");
    EXPECT_EQ(u.pictures, std::vector<fs::path>{program() / "img" / "a.gif"});
    const auto& p = c.entries()[1];
    EXPECT_EQ(p.kind, ScreenCatalogue::Kind::Pack);
    EXPECT_EQ(p.speed, 250);
    EXPECT_EQ(p.pictures, (std::vector<fs::path>{program() / "img" / "p1.png", "/abs/p2.png"}));
    EXPECT_EQ(c.entries()[2].kind, ScreenCatalogue::Kind::Swf);
    EXPECT_EQ(c.entries()[3].kind, ScreenCatalogue::Kind::Unknown);
}

TEST_F(Catalogue, ButtonsKeepTheirCataloguePositions) {
    picture("b.gif");
    picture("d1.png");
    picture("e.gif");
    const ScreenCatalogue c = read(
        "<r><A width=\"40\" height=\"12\" FileType=\"MultiFrame\">.\\img\\missing.gif</A>"
        "<B width=\"48\" height=\"12\" FileType=\"MultiFrame\" TypeName=\"48 x 12\">"
        ".\\img\\b.gif</B>"
        "<C width=\"50\" height=\"12\" FileType=\"Swf\">.\\img\\b.gif</C>"
        "<D width=\"36\" height=\"11\" "
        "FileType=\"Pack\"><p>.\\img\\gone.png</p><p>.\\img\\d1.png</p></D>"
        "<E width=\"64\" height=\"16\" FileType=\"MultiFrame\" TypeName=\"Shop\">"
        ".\\img\\e.gif</E></r>");
    CScreenSel dlg(texts, c, 1);
    ASSERT_EQ(dlg.buttons().size(), 3u);  // A has no picture, C is of a kind without a button
    EXPECT_EQ(dlg.buttons()[0].entry, 1);
    EXPECT_EQ(dlg.buttons()[1].entry, 3);
    EXPECT_EQ(dlg.buttons()[1].pictures.size(), 1u);
    EXPECT_EQ(dlg.buttons()[2].entry, 4);
    EXPECT_EQ(dlg.selectedButton(), 0);  // entry 1's button
    // Each button names its size; a name that is only the size is not said twice.
    EXPECT_EQ(dlg.buttonCaption(0), u"48 \u00D7 12");
    EXPECT_EQ(dlg.buttonCaption(1), u"36 \u00D7 11");
    EXPECT_EQ(dlg.buttonCaption(2), u"Shop \u2014 64 \u00D7 16");
    EXPECT_EQ(dlg.buttonCaption(3), u"");
    // Button 1 is entry D: its size, not entry 1's.
    dlg.onPictureClicked(1);
    EXPECT_EQ(dlg.selectedIndex(), 3);
    EXPECT_EQ(dlg.selectedSize(), (std::pair<int32_t, int32_t>{36, 11}));
    dlg.onPictureClicked(7);  // no such button: nothing changes
    EXPECT_EQ(dlg.selectedIndex(), 3);
    EXPECT_EQ(dlg.scrollMaximum(), 2 * 80 + 40);
    EXPECT_EQ(CScreenSel::buttonTop(2), 160);
    EXPECT_EQ(dlg.title(), u"SelectScreenSize");

    // An initial entry without a button selects nothing; OK gives it back.
    CScreenSel none(texts, c, 0);
    EXPECT_EQ(none.selectedButton(), -1);
    EXPECT_EQ(none.selectedIndex(), 0);
    EXPECT_EQ(none.selectedSize(), (std::pair<int32_t, int32_t>{40, 12}));
}

TEST(ShippedCatalogue, EverySignHasAPictureAndItsSize) {
    const fs::path program = fs::path(ZENTARI_SOURCE_DIR) / "data";
    ScreenCatalogue c;
    ASSERT_TRUE(c.load(program / "no-user-file.xml", program / "ScreenDefault.dat", program));
    NoTexts texts;
    CScreenSel dlg(texts, c, 1);
    ASSERT_EQ(dlg.buttons().size(), c.entries().size());
    EXPECT_EQ(c.sizeOf(0), (std::pair<int32_t, int32_t>{44, 11}));
    EXPECT_EQ(c.sizeOf(1), (std::pair<int32_t, int32_t>{48, 12}));
    std::set<std::pair<int32_t, int32_t>> sizes;
    bool pack = false, multiFrame = false;
    for (size_t k = 0; k < c.entries().size(); ++k) {
        sizes.insert(c.sizeOf(static_cast<int>(k)));
        pack |= c.entries()[k].kind == ScreenCatalogue::Kind::Pack &&
                c.entries()[k].pictures.size() > 1;
        multiFrame |= c.entries()[k].kind == ScreenCatalogue::Kind::MultiFrame;
    }
    for (auto size : {std::pair{44, 11}, std::pair{48, 12}, std::pair{36, 11}, std::pair{64, 16},
                      std::pair{96, 16}})
        EXPECT_TRUE(sizes.count(size)) << size.first << "x" << size.second;
    EXPECT_TRUE(pack);
    EXPECT_TRUE(multiFrame);
}

}  // namespace
