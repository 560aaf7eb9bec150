#include "assets/CBmpEdit.h"
#include "assets/PictureLibrary.h"

#include "support/FakeImageCodec.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

struct KeyTexts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

struct View : CBmpEdit::View {
    void setTitle(const std::u16string& t) override { title = t; }
    void setControlText(int id, const std::u16string& t) override { controls[id] = t; }
    void resizeClient(int w, int h) override { client = {w, h}; }
    void redraw() override { ++redraws; }
    void captureMouse(bool on) override { captured = on; }
    std::optional<fs::path> openFileDialog(std::u16string_view filter) override {
        filters.emplace_back(filter);
        return openPath;
    }
    std::optional<fs::path> saveFileDialog(std::u16string_view name, std::u16string_view ext,
                                           std::u16string_view filter) override {
        saveDefaults = std::u16string(name) + u"." + std::u16string(ext);
        filters.emplace_back(filter);
        return savePath;
    }
    void messageBox(const std::u16string& t) override { messages.push_back(t); }

    std::u16string title;
    std::map<int, std::u16string> controls;
    std::pair<int, int> client{0, 0};
    int redraws = 0;
    bool captured = false;
    std::optional<fs::path> openPath, savePath;
    std::u16string saveDefaults;
    std::vector<std::u16string> filters, messages;
};

class Editor : public ::testing::Test {
protected:
    std::unique_ptr<CBmpEdit> open() {
        auto e = std::make_unique<CBmpEdit>(CBmpEdit::Services{
            codec, texts, m_dir.path(), [this] { return pictures; },
            [this](std::vector<PictureRecord> r) { pictures = std::move(r); },
            [this](std::u16string_view t) { typed.emplace_back(t); }, [this] { return now; }});
        e->setView(&view);
        e->onInitDialog();
        return e;
    }
    // The centre of cell (x, y) in client coordinates.
    static std::pair<int, int> cell(const CBmpEdit& e, int x, int y) {
        return {e.gridLeft() + 20 * x + 10, 30 + 20 * y + 10};
    }

    TempDir m_dir;
    FakeImageCodec codec;
    KeyTexts texts;
    View view;
    std::vector<PictureRecord> pictures;
    std::vector<std::u16string> typed;
    int64_t now = 1700000000;
};

TEST_F(Editor, SizeGridAndArrows) {
    auto e = open();
    EXPECT_EQ(e->width(), 48);
    EXPECT_EQ(e->height(), 12);
    EXPECT_EQ(view.title, u"ImageEdit");
    EXPECT_EQ(view.controls[CBmpEdit::IDC_SAVE], u"Save");
    EXPECT_EQ(view.client, std::make_pair(960, 270));
    EXPECT_EQ(e->gridLeft(), 0);

    for (int i = 0; i < 38; ++i)
        e->onWidthArrow(-5);  // one step per click
    EXPECT_EQ(e->width(), 10);
    EXPECT_EQ(view.controls[CBmpEdit::IDC_WIDTH], u"10");
    EXPECT_EQ(view.client.first, 640);
    EXPECT_EQ(e->gridLeft(), 220);
    for (int i = 0; i < 30; ++i)
        e->onWidthArrow(1);
    EXPECT_EQ(e->width(), 40);
    EXPECT_EQ(view.client.first, 800);
    EXPECT_EQ(e->gridLeft(), 0);
    for (int i = 0; i < 50; ++i)
        e->onWidthArrow(-1);
    EXPECT_EQ(e->width(), 1);
    for (int i = 0; i < 1100; ++i)
        e->onWidthArrow(1);
    EXPECT_EQ(e->width(), 1024);
    e->onHeightArrow(1);
    EXPECT_EQ(e->height(), 12);
    for (int i = 0; i < 20; ++i)
        e->onHeightArrow(-1);
    EXPECT_EQ(e->height(), 1);
    EXPECT_EQ(view.controls[CBmpEdit::IDC_HEIGHT], u"1");
    EXPECT_EQ(view.client.second, 50);
}

TEST_F(Editor, PaintingDraggingErasingAndTheFilesBetweenRuns) {
    auto e = open();
    auto [x, y] = cell(*e, 2, 3);
    e->onMouseDown(x, y);
    EXPECT_TRUE(view.captured);
    EXPECT_TRUE(e->lit(2, 3));
    // A fast drag: every cell on the way is painted.
    auto [x2, y2] = cell(*e, 9, 3);
    e->onMouseMove(x2, y2);
    for (int c = 2; c <= 9; ++c)
        EXPECT_TRUE(e->lit(c, 3)) << c;
    e->onMouseUp();
    EXPECT_FALSE(view.captured);
    // Outside the grid nothing starts; after the button is up nothing paints.
    e->onMouseMove(cell(*e, 5, 5).first, cell(*e, 5, 5).second);
    EXPECT_FALSE(e->lit(5, 5));
    e->onMouseDown(e->gridLeft() + 20 * 48 + 3, 40);
    EXPECT_FALSE(e->drawing());
    // The right button erases; the eraser too.
    e->onMouseDown(cell(*e, 9, 3).first, cell(*e, 9, 3).second, true);
    e->onMouseUp();
    EXPECT_FALSE(e->lit(9, 3));
    e->onButton(CBmpEdit::IDC_ERASER);
    e->onMouseDown(cell(*e, 8, 3).first, cell(*e, 8, 3).second);
    e->onMouseUp();
    EXPECT_FALSE(e->lit(8, 3));
    e->onButton(CBmpEdit::IDC_PEN);
    e->onWidthArrow(-1);

    e->onClose();
    EXPECT_TRUE(view.messages.empty());
    const std::string settings = readFile(m_dir / "ImageEditconfig.xml");
    EXPECT_NE(settings.find("<configFlag>0</configFlag>"), std::string::npos) << settings;
    EXPECT_NE(settings.find("<m_nWidth>47</m_nWidth>"), std::string::npos);
    EXPECT_NE(settings.find("<m_nHeight>12</m_nHeight>"), std::string::npos);
    EXPECT_NE(settings.find("<m_bZoom>0</m_bZoom>"), std::string::npos);
    EXPECT_NE(settings.find("lastImage.bmp</lastImage>"), std::string::npos);

    View again;
    CBmpEdit reopened(CBmpEdit::Services{codec,
                                         texts,
                                         m_dir.path(),
                                         [this] { return pictures; },
                                         {},
                                         {},
                                         [] { return int64_t{0}; }});
    reopened.setView(&again);
    reopened.onInitDialog();
    EXPECT_EQ(reopened.width(), 47);
    for (int c = 2; c <= 7; ++c)
        EXPECT_TRUE(reopened.lit(c, 3)) << c;
    EXPECT_FALSE(reopened.lit(8, 3));
    EXPECT_FALSE(reopened.lit(2, 4));
}

TEST_F(Editor, SettingsWithoutTheFlagAreDefaults) {
    writeFile(m_dir / "ImageEditconfig.xml",
              "<root><m_nWidth>20</m_nWidth><m_nHeight>5</m_nHeight><m_bZoom>1</m_bZoom></root>");
    auto e = open();
    EXPECT_EQ(e->width(), 48);
    EXPECT_EQ(e->height(), 12);
    EXPECT_FALSE(e->zoom());
    writeFile(m_dir / "ImageEditconfig.xml",
              "<root><configFlag>0</configFlag><m_nWidth>0</m_nWidth><m_nHeight>-3</m_nHeight>"
              "<m_bZoom>1</m_bZoom><lastImage>/none.bmp</lastImage></root>");
    auto f = open();
    EXPECT_EQ(f->width(), 48);
    EXPECT_EQ(f->height(), 12);
    EXPECT_TRUE(f->zoom());
}

TEST_F(Editor, OpeningAPictureScaledOrCut) {
    platform::Bitmap big(100, 100, platform::kBlack);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            if (x >= 50) big.setPixel(x, y, 0xFFFF0000);
    codec.put(m_dir / "big.png", big);
    auto e = open();
    view.openPath = m_dir / "big.png";
    e->onButton(CBmpEdit::IDC_OPEN);
    EXPECT_EQ(view.filters.back(), CBmpEdit::kOpenFilter);
    // Unscaled: the top-left 48 × 12, lit from column 50 on, so nothing here.
    for (int x = 0; x < 48; ++x)
        EXPECT_FALSE(e->lit(x, 0)) << x;
    e->setZoom(true);
    e->onButton(CBmpEdit::IDC_OPEN);
    // Scaled to 48 wide: the right half is lit.
    EXPECT_FALSE(e->lit(23, 5));
    EXPECT_TRUE(e->lit(24, 5));
    EXPECT_TRUE(e->lit(47, 11));
    // A file that does not load changes nothing.
    view.openPath = m_dir / "broken.png";
    e->onButton(CBmpEdit::IDC_OPEN);
    EXPECT_TRUE(e->lit(47, 11));
    e->onButton(CBmpEdit::IDC_CLEAR);
    EXPECT_FALSE(e->lit(47, 11));

    view.savePath = m_dir / "out.png";
    e->onMouseDown(cell(*e, 0, 0).first, cell(*e, 0, 0).second);
    e->onMouseUp();
    e->onButton(CBmpEdit::IDC_SAVE_AS);
    EXPECT_EQ(view.saveDefaults, u"New.bmp");
    platform::Bitmap saved;
    ASSERT_TRUE(codec.load(m_dir / "out.png", saved));
    EXPECT_EQ(saved.width(), 48);
    EXPECT_EQ(saved.height(), 12);
    EXPECT_EQ(saved.pixel(0, 0), 0xFFFF0000u);
}

TEST_F(Editor, SavingIntoTheLibrary) {
    auto e = open();
    e->onMouseDown(cell(*e, 1, 1).first, cell(*e, 1, 1).second);
    e->onMouseUp();
    e->onButton(CBmpEdit::IDC_SAVE);
    e->onButton(CBmpEdit::IDC_SAVE);  // the same second: the same file twice
    const fs::path file = m_dir / "EditBmps" / "1700000000.bmp";
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].nValueID, 50);
    EXPECT_EQ(pictures[1].nValueID, 51);
    EXPECT_EQ(pictures[0].imgPath, file.u16string());
    EXPECT_EQ(pictures[1].imgPath, file.u16string());
    EXPECT_EQ(pictures[0].nDestWidth, 48);
    EXPECT_EQ(pictures[0].nDestHeight, 12);
    EXPECT_EQ(pictures[0].bZoom, 0);
    EXPECT_EQ(typed, (std::vector<std::u16string>{u"[50]", u"[51]"}));

    // Full: the file is written, nothing added, "MAX50".
    pictures.resize(PictureLibrary::kMaxPictures);
    now = 1700000001;
    e->onButton(CBmpEdit::IDC_SAVE);
    EXPECT_EQ(pictures.size(), PictureLibrary::kMaxPictures);
    EXPECT_EQ(view.messages, std::vector<std::u16string>{u"MAX50"});
    platform::Bitmap kept;
    EXPECT_TRUE(codec.load(m_dir / "EditBmps" / "1700000001.bmp", kept));
    EXPECT_EQ(typed.size(), 2u);
}

TEST_F(Editor, TheGridAsDrawn) {
    auto e = open();
    e->onMouseDown(cell(*e, 0, 0).first, cell(*e, 0, 0).second);
    e->onMouseUp();
    const platform::Bitmap grid = e->drawGrid();
    EXPECT_EQ(grid.width(), 20 * 48 + 2);
    EXPECT_EQ(grid.height(), 20 * 12 + 2);
    EXPECT_EQ(grid.pixel(0, 5), CBmpEdit::kLineColour);
    EXPECT_EQ(grid.pixel(21, 5), CBmpEdit::kLineColour);
    EXPECT_EQ(grid.pixel(10, 10), CBmpEdit::kLitColour);   // lit cell's centre
    EXPECT_EQ(grid.pixel(30, 10), CBmpEdit::kDarkColour);  // dark cell's centre
    EXPECT_EQ(grid.pixel(3, 3), platform::kBlack);         // the square's corner
}

}  // namespace
