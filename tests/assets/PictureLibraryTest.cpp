#include "assets/CImgInfoDlg.h"
#include "assets/PictureLibrary.h"
#include "support/FakeImageCodec.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

namespace fs = std::filesystem;
using platform::Bitmap;
using testing_support::readFile;
using testing_support::writeFile;

PictureRecord picture(int32_t id, std::u16string path, int32_t w = 10, int32_t h = 10,
                      int32_t zoom = 0) {
    return {id, w, h, std::move(path), zoom};
}

// --- the library file ------------------------------------------------------------------

TEST(PictureLibraryFile, WrittenLayoutByteForByte) {
    testing_support::TempDir dir;
    const std::vector<PictureRecord> records{picture(50, u"/p/a & b.png", 36, 12, 1),
                                             picture(7, u"/p/c.bmp", 8, 9)};
    ASSERT_TRUE(PictureLibrary::write(dir / "imageconfig.xml", records));
    EXPECT_EQ(
        readFile(dir / "imageconfig.xml"),
        "<!--?xml version=\"1.0\" encoding=\"UTF-8\"?-->\r\n<root>\r\n<imageFlag>0</imageFlag>\r\n"
        "<imageItem name=\"imageItem\">\r\n<Item name=\"bZoom\">1</Item>\r\n"
        "<Item name=\"imgPath\">/p/a &amp; b.png</Item>\r\n<Item name=\"nDestHeight\">12</Item>\r\n"
        "<Item name=\"nDestWidth\">36</Item>\r\n<Item "
        "name=\"nValueID\">50</Item>\r\n</imageItem>\r\n"
        "<imageItem name=\"imageItem\">\r\n<Item name=\"bZoom\">0</Item>\r\n"
        "<Item name=\"imgPath\">/p/c.bmp</Item>\r\n<Item name=\"nDestHeight\">9</Item>\r\n"
        "<Item name=\"nDestWidth\">8</Item>\r\n<Item name=\"nValueID\">7</Item>\r\n</imageItem>\r\n"
        "</root>\r\n");
    std::vector<PictureRecord> back;
    ASSERT_TRUE(PictureLibrary::read(dir / "imageconfig.xml", back));
    EXPECT_EQ(back, records);
}

TEST(PictureLibraryFile, ItemsInAnyOrderAndUnknownNamesIgnored) {
    testing_support::TempDir dir;
    writeFile(dir / "lib.xml",
              "<root><imageItem><Item name=\"nValueID\">1</Item></imageItem>"  // before imageFlag:
                                                                               // skipped
              "<imageFlag>0</imageFlag>"
              "<imageItem name=\"imageItem\"><Item name=\"nValueID\">60</Item><Item "
              "name=\"colour\">red</Item>"
              "<Item name=\"imgPath\">/x.png</Item><Item name=\"bZoom\">1</Item>"
              "<Item name=\"nDestWidth\">5</Item><Item name=\"nDestHeight\">6</Item></imageItem>"
              "<other/><imageItem><Item name=\"nDestWidth\">x</Item></imageItem></root>");
    std::vector<PictureRecord> records;
    ASSERT_TRUE(PictureLibrary::read(dir / "lib.xml", records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], picture(60, u"/x.png", 5, 6, 1));
    EXPECT_EQ(records[1], PictureRecord{});  // missing fields stay 0 or empty

    writeFile(dir / "noflag.xml",
              "<root><imageItem><Item name=\"nValueID\">60</Item></imageItem></root>");
    EXPECT_FALSE(PictureLibrary::read(dir / "noflag.xml", records));
    EXPECT_TRUE(records.empty());
}

TEST(PictureLibraryFile, StartupTakesTheUserFileElseTheDefaultWithAbsolutePaths) {
    testing_support::TempDir dir;
    fs::create_directories(dir / "program");
    writeFile(dir / "program" / "DefaultImage.dat",
              "<root><imageFlag>0</imageFlag><imageItem><Item "
              "name=\"imgPath\">\\Images\\Pictures\\heart.png</Item>"
              "<Item name=\"nValueID\">0</Item></imageItem>"
              "<imageItem><Item name=\"imgPath\">.\\Images\\star.png</Item></imageItem></root>");
    PictureLibrary library;
    library.loadAtStartup(dir / "imageconfig.xml", dir / "program" / "DefaultImage.dat",
                          dir / "program");
    ASSERT_EQ(library.records().size(), 2u);
    EXPECT_EQ(library.records()[0].imgPath,
              (dir / "program" / "Images/Pictures/heart.png").u16string());
    EXPECT_EQ(library.records()[1].imgPath, (dir / "program" / "Images/star.png").u16string());
    EXPECT_FALSE(fs::exists(dir / "imageconfig.xml"));  // not written at start-up

    // Once the user has a file it is read as it is.
    PictureLibrary::write(dir / "imageconfig.xml", {picture(55, u"/u/mine.png")});
    library.loadAtStartup(dir / "imageconfig.xml", dir / "program" / "DefaultImage.dat",
                          dir / "program");
    ASSERT_EQ(library.records().size(), 1u);
    EXPECT_EQ(library.records()[0].imgPath, u"/u/mine.png");

    // A damaged user file gives what could be read of it (here nothing), not the default.
    writeFile(dir / "imageconfig.xml", "<root><imageFlag>0</imageFlag>");
    EXPECT_FALSE(library.loadAtStartup(dir / "imageconfig.xml",
                                       dir / "program" / "DefaultImage.dat", dir / "program"));
    EXPECT_TRUE(library.records().empty());
    // One that cannot be read at all (a folder by its name) did not load whole either.
    fs::create_directories(dir / "lib" / "imageconfig.xml");
    EXPECT_FALSE(library.loadAtStartup(dir / "lib" / "imageconfig.xml",
                                       dir / "program" / "DefaultImage.dat", dir / "program"));
}

std::string item(int id, const char* path) {
    return "<imageItem name=\"imageItem\"><Item name=\"imgPath\">" + std::string(path) +
           "</Item><Item name=\"nValueID\">" + std::to_string(id) + "</Item></imageItem>\r\n";
}

// One lost end tag must not cost the user every picture: whole items are taken.
TEST(PictureLibraryFile, ADamagedLibraryGivesEveryWholeItem) {
    testing_support::TempDir dir;
    struct Case {
        const char* what;
        std::string text;
        std::vector<int32_t> ids;
    };
    const std::string head =
        "<!--?xml version=\"1.0\" encoding=\"UTF-8\"?-->\r\n<root>\r\n<imageFlag>0</imageFlag>\r\n";
    const Case cases[] = {
        {"root not ended", head + item(50, "/a.png") + item(51, "/b.png"), {50, 51}},
        {"an item cut short in the middle",
         head + item(50, "/a.png") + "<imageItem><Item name=\"nValueID\">51</Item>\r\n" +
             item(52, "/c.png") + "</root>",
         {50, 52}},
        {"an Item without its end tag",
         head + "<imageItem><Item name=\"nValueID\">51</imageItem>" + item(52, "/c.png") +
             "</root>",
         {52}},
        {"cut off after the second item",
         (head + item(50, "/a.png") + item(51, "/b.png"))
             .substr(0, head.size() + 2 * item(50, "/a.png").size() - 20),
         {50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir / "imageconfig.xml", c.text);
        std::vector<PictureRecord> records;
        bool whole = true;
        ASSERT_TRUE(PictureLibrary::read(dir / "imageconfig.xml", records, &whole));
        EXPECT_FALSE(whole);
        std::vector<int32_t> ids;
        for (const auto& r : records)
            ids.push_back(r.nValueID);
        EXPECT_EQ(ids, c.ids);
    }
    std::vector<PictureRecord> records;
    bool whole = false;
    writeFile(dir / "imageconfig.xml", head + item(50, "/a.png") + "</root>\r\n");
    ASSERT_TRUE(PictureLibrary::read(dir / "imageconfig.xml", records, &whole));
    EXPECT_TRUE(whole);
}

TEST(PictureLibraryRules, HeightsAreCappedInTheRecords) {
    testing_support::TempDir dir;
    writeFile(
        dir / "imageconfig.xml",
        "<root><imageFlag>0</imageFlag><imageItem><Item name=\"nDestHeight\">20</Item></imageItem>"
        "<imageItem><Item name=\"nDestHeight\">12</Item></imageItem>"
        "<imageItem><Item name=\"nDestHeight\">3</Item></imageItem></root>");
    PictureLibrary library;
    ASSERT_TRUE(library.loadAtStartup(dir / "imageconfig.xml", dir / "none.dat", dir.path()));
    ASSERT_EQ(library.records().size(), 3u);
    EXPECT_EQ(library.records()[0].nDestHeight, 12);
    EXPECT_EQ(library.records()[1].nDestHeight, 12);
    EXPECT_EQ(library.records()[2].nDestHeight, 3);
    library.setRecords({picture(50, u"/a.png", 10, 40)});
    EXPECT_EQ(library.records()[0].nDestHeight, 12);
}

TEST(PictureLibraryRules, SizesAndIds) {
    EXPECT_EQ(PictureLibrary::recordForSize(48, 16), (PictureRecord{0, 36, 12, u"", 1}));
    EXPECT_EQ(PictureLibrary::recordForSize(20, 10), (PictureRecord{0, 20, 10, u"", 0}));
    EXPECT_EQ(PictureLibrary::recordForSize(20, 12), (PictureRecord{0, 20, 12, u"", 0}));
    EXPECT_EQ(PictureLibrary::recordForSize(1, 100).nDestWidth, 1);  // never no columns
    EXPECT_EQ(PictureLibrary::nextFreeId({}), 50);
    EXPECT_EQ(PictureLibrary::nextFreeId(
                  {picture(50, u""), picture(51, u""), picture(53, u""), picture(3, u"")}),
              52);
    std::vector<PictureRecord> full;
    for (int id = 50; id <= 99; ++id)
        full.push_back(picture(id, u""));
    EXPECT_EQ(PictureLibrary::nextFreeId(full), 0);
}

// --- the dialog ----------------------------------------------------------------------

struct DialogView : CImgInfoDlg::View {
    void refresh() override { ++refreshes; }
    std::vector<fs::path> chooseFiles(std::u16string_view name,
                                      std::u16string_view pattern) override {
        filterName = name;
        filterPattern = pattern;
        return files;
    }
    void messageBox(std::u16string_view text) override { messages.emplace_back(text); }
    std::vector<fs::path> files;
    std::vector<std::u16string> messages;
    std::u16string filterName, filterPattern;
    int refreshes = 0;
};

class PictureDialog : public ::testing::Test {
protected:
    CImgInfoDlg& open(std::vector<PictureRecord> records) {
        dlg = std::make_unique<CImgInfoDlg>(texts, codec, std::move(records));
        dlg->setView(&view);
        dlg->onInitDialog();
        return *dlg;
    }
    std::vector<int32_t> ids() const {
        std::vector<int32_t> out;
        for (const auto& e : dlg->entries())
            out.push_back(e.id);
        return out;
    }

    struct Texts : platform::TextLookup {
        std::u16string text(std::u16string_view key) const override {
            return u"<" + std::u16string(key) + u">";
        }
        std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
    } texts;
    FakeImageCodec codec;
    DialogView view;
    std::unique_ptr<CImgInfoDlg> dlg;
};

TEST_F(PictureDialog, OpensOnTheFirstEntryWithItsPreview) {
    Bitmap red(4, 3, 0xFFFF0000);
    codec.put("/p/red.png", red);
    CImgInfoDlg& d = open({picture(5, u"/p/red.png", 4, 3), picture(60, u"/p/gone.png", 7, 8, 1)});
    EXPECT_EQ(d.captions().title, u"<ImageSetting>");
    EXPECT_EQ(d.captions().remove, u"<Remove>");
    EXPECT_EQ(d.captions().id, u"ID");
    ASSERT_EQ(d.entries().size(), 2u);
    EXPECT_EQ(d.entries()[0].label, u"IMG05");
    EXPECT_EQ(d.entries()[1].label, u"IMG60");
    EXPECT_EQ(d.selection(), 0);
    EXPECT_EQ(d.path(), u"/p/red.png");
    EXPECT_EQ(d.width(), 4);
    EXPECT_EQ(d.preview().width(), 316);
    EXPECT_EQ(d.preview().height(), 36);
    EXPECT_EQ(d.preview().pixel(3, 2), 0xFFFF0000u);
    EXPECT_EQ(d.preview().pixel(4, 2), platform::kBlack);
    // A record whose file is gone shows a black preview.
    d.selectEntry(1);
    EXPECT_EQ(d.height(), 8);
    EXPECT_TRUE(d.zoom());
    EXPECT_EQ(d.preview().pixel(0, 0), platform::kBlack);
}

TEST_F(PictureDialog, PreviewZoomedOrCropped) {
    // A 4 × 2 picture: left half red, right half green.
    Bitmap pic(4, 2, 0xFF00FF00);
    pic.fillRect({0, 0, 2, 2}, 0xFFFF0000);
    codec.put("/p/two.png", pic);
    CImgInfoDlg& d = open({picture(50, u"/p/two.png", 2, 2, 0)});
    // Unzoomed: the top-left 2 × 2, all red.
    EXPECT_EQ(d.preview().pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(d.preview().pixel(2, 0), platform::kBlack);
    d.setZoom(true);  // the whole picture into 2 × 2: red then green
    EXPECT_EQ(d.records()[0].bZoom, 1);
    EXPECT_EQ(d.preview().pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(d.preview().pixel(1, 0), 0xFF00FF00u);
    d.setWidth(8);
    EXPECT_EQ(d.records()[0].nDestWidth, 8);
    EXPECT_EQ(d.preview().pixel(7, 0), 0xFF00FF00u);
    d.setHeight(20000);  // the spin stops at 10000
    EXPECT_EQ(d.records()[0].nDestHeight, 10000);
    d.setWidth(0);
    EXPECT_EQ(d.records()[0].nDestWidth, 1);
    EXPECT_EQ(codec.loads, 1);  // decoded once for all those redraws
}

TEST_F(PictureDialog, AddFollowsTheSizeAndIdRules) {
    codec.put("/p/tall.png", Bitmap(48, 16));
    codec.put("/p/small.png", Bitmap(20, 10));
    CImgInfoDlg& d = open({picture(50, u""), picture(51, u""), picture(53, u"")});
    view.files = {"/p/tall.png", "/p/broken.png", "/p/small.png"};
    d.add();
    EXPECT_EQ(view.filterName, u"image files(*.bmp;*.jpg;*jpeg;*png)");
    EXPECT_EQ(view.filterPattern, u"*.bmp;*.jpg;*.jpeg;*.png;");
    EXPECT_EQ(ids(), (std::vector<int32_t>{50, 51, 53, 52, 54}));  // the unreadable one is skipped
    EXPECT_EQ(d.records()[3], (PictureRecord{52, 36, 12, u"/p/tall.png", 1}));
    EXPECT_EQ(d.records()[4], (PictureRecord{54, 20, 10, u"/p/small.png", 0}));
    EXPECT_EQ(d.entries()[3].label, u"IMG52");
    EXPECT_EQ(d.selection(), 4);  // the last added is shown
    EXPECT_EQ(d.path(), u"/p/small.png");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(PictureDialog, TheFiftyFirstPictureIsRefused) {
    std::vector<PictureRecord> records;
    for (int i = 0; i < 49; ++i)
        records.push_back(picture(50 + i, u""));
    codec.put("/p/a.png", Bitmap(5, 5));
    CImgInfoDlg& d = open(records);
    view.files = {"/p/a.png", "/p/a.png", "/p/a.png"};
    d.add();
    EXPECT_EQ(d.records().size(), 50u);
    EXPECT_EQ(d.records().back().nValueID, 99);
    EXPECT_EQ(view.messages, std::vector<std::u16string>{u"<MAX50>"});
}

TEST_F(PictureDialog, RemovingTheSelectedAndTheLast) {
    codec.put("/p/a.png", Bitmap(5, 6));
    CImgInfoDlg& d = open(
        {picture(50, u"/p/a.png", 5, 6), picture(51, u"/p/b.png", 9, 9), picture(52, u"/p/c.png")});
    d.selectEntry(1);
    d.remove();
    EXPECT_EQ(ids(), (std::vector<int32_t>{50, 52}));
    EXPECT_EQ(d.selection(), 0);  // the first remaining one
    EXPECT_EQ(d.path(), u"/p/a.png");
    EXPECT_EQ(d.width(), 5);
    d.remove();
    d.remove();
    EXPECT_TRUE(d.entries().empty());
    EXPECT_EQ(d.selection(), -1);
    EXPECT_EQ(d.width(), 1);
    EXPECT_EQ(d.height(), 1);
    EXPECT_EQ(d.path(), u"");
    d.remove();  // nothing left: nothing happens
    d.setWidth(7);
    EXPECT_TRUE(d.records().empty());
}

}  // namespace
