#include "assets/CCustomToolBar.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view key) const override {
        if (key != u"MenuItem") return {};
        return {{u"Open", u"32784"}, {u"Send", u"32787"}, {u"Preview", u"32840"}};
    }
};

struct View : CCustomToolBar::View {
    void setControlText(int id, const std::u16string& t) override { controls[id] = t; }
    void setColumnTitles(const std::u16string (&t)[CCustomToolBar::COLUMN_COUNT]) override {
        titles.assign(std::begin(t), std::end(t));
    }
    void showRows() override { ++shows; }
    void selectRow(int row) override { selected = row; }
    void showPreview(const fs::path& image) override { previews.push_back(image); }
    std::optional<fs::path> chooseImage() override { return chosen; }

    std::map<int, std::u16string> controls;
    std::vector<std::u16string> titles;
    int shows = 0;
    int selected = -1;
    std::vector<fs::path> previews;
    std::optional<fs::path> chosen;
};

const char* const kDefault =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ToolBar Width=\"40\" Height=\"36\" cx=\"0\" "
    "cy=\"0\" Spacing=\"3\">\n"
    "<Item Id=\"32784\" Title=\"Open\">.\\icons\\172.png</Item>\n"
    "<Item Id=\"32787\" Title=\"Send\">.\\icons\\174.png</Item>\n"
    "</ToolBar>\n";

class Toolbar : public ::testing::Test {
protected:
    Toolbar() { writeFile(m_program / "Toolbar.dat", kDefault); }
    std::unique_ptr<CCustomToolBar> open() {
        auto dlg = std::make_unique<CCustomToolBar>(texts, m_data, m_program);
        dlg->setView(&view);
        dlg->onInitDialog();
        return dlg;
    }
    std::vector<std::u16string> column(const CCustomToolBar& dlg, int c) const {
        std::vector<std::u16string> out;
        for (const auto& r : dlg.rows())
            out.push_back(r.cells[c]);
        return out;
    }

    TempDir m_dir;
    fs::path m_program = m_dir / "program";
    fs::path m_data = m_dir / "data";
    Texts texts;
    View view;
};

TEST_F(Toolbar, TheDefaultSeedsTheFileWithAbsolutePaths) {
    fs::create_directories(m_data);
    auto dlg = open();
    EXPECT_EQ(view.titles,
              (std::vector<std::u16string>{u"Index", u"MenuID", u"MenuItem", u"Path"}));
    EXPECT_EQ(view.controls[CCustomToolBar::IDC_WIDTH], u"40");
    EXPECT_EQ(view.controls[CCustomToolBar::IDC_HEIGHT], u"36");
    EXPECT_EQ(view.controls[CCustomToolBar::IDC_SPACING], u"3");
    EXPECT_EQ(view.controls[CCustomToolBar::IDC_SPACING_LABEL], u"ButtonSpacing");
    EXPECT_EQ(column(*dlg, CCustomToolBar::COL_INDEX),
              (std::vector<std::u16string>{u"  0", u"  1"}));
    EXPECT_EQ(column(*dlg, CCustomToolBar::COL_MENU_ID),
              (std::vector<std::u16string>{u"32784", u"32787"}));
    const std::u16string openIcon = (m_program / "icons" / "172.png").u16string();
    EXPECT_EQ(dlg->rows()[0].cells[CCustomToolBar::COL_PATH], openIcon);
    EXPECT_EQ(view.previews, std::vector<fs::path>{fs::path(openIcon)});
    const std::string saved = readFile(m_data / "Toolbar.xml");
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << saved;
    EXPECT_NE(saved.find((m_program / "icons" / "174.png").string()), std::string::npos);

    // A damaged file is kept aside and replaced from the default.
    writeFile(m_data / "Toolbar.xml", "<ToolBar Width=\"1\"><Item");
    auto again = open();
    EXPECT_EQ(again->rows().size(), 2u);
    EXPECT_TRUE(fs::exists(m_data / "Toolbar.xml.damaged"));
}

TEST_F(Toolbar, EditingRowsAndNumbering) {
    fs::create_directories(m_data);
    auto dlg = open();
    dlg->onAdd();
    dlg->onAdd();
    EXPECT_EQ(column(*dlg, CCustomToolBar::COL_INDEX),
              (std::vector<std::u16string>{u"  0", u"  1", u" 2", u" 3"}));
    EXPECT_EQ(dlg->selection(), 3);
    EXPECT_EQ(view.selected, 3);
    dlg->onMenuItemChosen(3, u"Preview");
    EXPECT_EQ(dlg->rows()[3].cells[CCustomToolBar::COL_MENU_ID], u"32840");
    EXPECT_EQ(dlg->rows()[3].cells[CCustomToolBar::COL_MENU_ITEM], u"Preview");
    dlg->onMenuItemChosen(3, u"");  // an empty choice changes nothing
    dlg->onMenuItemChosen(2, u"Nothing like it");
    EXPECT_EQ(dlg->rows()[2].cells[CCustomToolBar::COL_MENU_ID], u"");
    view.chosen = m_dir / "p.png";
    dlg->onChoosePath(3);
    EXPECT_EQ(dlg->rows()[3].cells[CCustomToolBar::COL_PATH], (m_dir / "p.png").u16string());

    // Up and down swap everything but the index; nothing at the ends.
    dlg->onUp();
    EXPECT_EQ(dlg->selection(), 2);
    EXPECT_EQ(dlg->rows()[2].cells[CCustomToolBar::COL_MENU_ITEM], u"Preview");
    EXPECT_EQ(dlg->rows()[2].cells[CCustomToolBar::COL_INDEX], u" 2");
    dlg->onDown();
    dlg->onDown();
    EXPECT_EQ(dlg->selection(), 3);
    dlg->onSelect(0);
    dlg->onUp();
    EXPECT_EQ(dlg->selection(), 0);

    // Remove: the row at the last deleted position, renumbered "% 2d".
    dlg->onRemove({0, 2});
    EXPECT_EQ(column(*dlg, CCustomToolBar::COL_INDEX), (std::vector<std::u16string>{u" 0", u" 1"}));
    EXPECT_EQ(column(*dlg, CCustomToolBar::COL_MENU_ID),
              (std::vector<std::u16string>{u"32787", u"32840"}));
    EXPECT_EQ(dlg->selection(), 1);
    dlg->onRemove({0, 1});
    EXPECT_TRUE(dlg->rows().empty());
    EXPECT_EQ(view.previews.back(), fs::path());
    // An empty list writes nothing.
    const std::string before = readFile(m_data / "Toolbar.xml");
    EXPECT_TRUE(dlg->onOK(u"10", u"10", u"2"));
    EXPECT_EQ(readFile(m_data / "Toolbar.xml"), before);
}

TEST_F(Toolbar, OkWritesTheListWithItsSizes) {
    fs::create_directories(m_data);
    auto dlg = open();
    dlg->onCellEdited(1, CCustomToolBar::COL_PATH, u"/icons/send.png");
    dlg->onCellEdited(1, CCustomToolBar::COL_INDEX, u"ignored");
    std::string error;
    ASSERT_TRUE(dlg->onOK(u"-5", u"24", u"-1", &error)) << error;
    const ToolbarDescription::Description d = ToolbarDescription::read(m_data / "Toolbar.xml");
    EXPECT_EQ(d.width, 32u);
    EXPECT_EQ(d.height, 24u);
    EXPECT_EQ(d.spacing, 1u);
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[1], (ToolbarDescription::Item{u"32787", u"Send", u"/icons/send.png"}));
    const std::string saved = readFile(m_data / "Toolbar.xml");
    EXPECT_NE(saved.find("Width=\"32\" Height=\"24\" cx=\"0\" cy=\"0\" Spacing=\"1\""),
              std::string::npos)
        << saved;

    // Read back: negative numbers in a file are taken as the dialog takes them.
    writeFile(m_data / "Toolbar.xml",
              "<?xml version=\"1.0\"?><ToolBar Width=\"-1\" Height=\"-7\" Spacing=\"-2\"/>");
    const ToolbarDescription::Description n = ToolbarDescription::read(m_data / "Toolbar.xml");
    EXPECT_EQ(n.width, 32u);
    EXPECT_EQ(n.height, 32u);
    EXPECT_EQ(n.spacing, 1u);
}

TEST_F(Toolbar, WithoutADefaultTheListIsEmpty) {
    fs::remove(m_program / "Toolbar.dat");
    fs::create_directories(m_data);
    auto dlg = open();
    EXPECT_TRUE(dlg->rows().empty());
    EXPECT_EQ(view.controls[CCustomToolBar::IDC_WIDTH], u"0");
}

}  // namespace
