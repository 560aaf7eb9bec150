#include "app/AppFolders.h"
#include "app/AppSettings.h"
#include "app/CSystemSettingDlg.h"
#include "app/LanguageTable.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class Settings : public ::testing::Test {
protected:
    fs::path put(const std::string& text) {
        return testing_support::writeFile(m_dir / "config.xml", text);
    }
    testing_support::TempDir m_dir;
};

TEST_F(Settings, WrittenWithTheCommentHeaderInTableOrder) {
    AppSettings s;
    s.languageName = u"English";
    s.tempOffset = -3;
    s.write(m_dir / "config.xml");
    EXPECT_EQ(testing_support::readFile(m_dir / "config.xml"),
              "<!--?xml version=\"1.0\" "
              "encoding=\"UTF-8\"?-->\r\n<root>\r\n<configFlag>0</configFlag>\r\n"
              "<strLanguageName>English</strLanguageName>\r\n<nPlayMode>0</nPlayMode>\r\n"
              "<nTempOffset>-3</nTempOffset>\r\n<nWidth>48</nWidth>\r\n<nHeight>12</nHeight>\r\n"
              "<autoUpdate>1</autoUpdate>\r\n</root>\r\n");
    AppSettings back;
    back.languageName = u"x";
    back.read(m_dir / "config.xml");
    EXPECT_EQ(back, s);
}

TEST_F(Settings, ReadingRules) {
    AppSettings s;
    s.read(
        put("<root><configFlag/><nPlayMode>1</nPlayMode><nWidth>36</nWidth><nHeight>16</nHeight>"
            "<autoUpdate>0</autoUpdate></root>"));
    EXPECT_EQ(s.playMode, 1);
    EXPECT_EQ(s.width, 36);
    EXPECT_EQ(s.height, 12);
    EXPECT_EQ(s.autoUpdate, 0);
    EXPECT_EQ(s.languageName, u"");  // missing: kept

    AppSettings t;
    t.width = 36;
    t.read(
        put("<root><configFlag/><nTempOffset>5</nTempOffset><nPlayMode>1</nPlayMode>"
            "<nWidth>40</nWidth></root>"));
    EXPECT_EQ(t.width, 48);
    EXPECT_EQ(t.playMode, 1);
    // The search only goes forward: nTempOffset comes after nPlayMode in the table,
    // so the one before it in the file is not found.
    EXPECT_EQ(t.tempOffset, 0);

    AppSettings u;
    u.playMode = 1;
    u.read(put("<root><nPlayMode>0</nPlayMode></root>"));  // no configFlag: nothing is read
    EXPECT_EQ(u.playMode, 1);
    u.read(put("<root><configFlag/><nPlayMode>0</nPlayMode>"));  // not well-formed
    EXPECT_EQ(u.playMode, 1);
    u.read(m_dir / "missing.xml");
    EXPECT_EQ(u.playMode, 1);
}

TEST_F(Settings, FoldersAreMadeWhenAskedFor) {
    const AppFolders folders(m_dir / "data" / "Zentari", m_dir / "program", m_dir / "tmp");
    EXPECT_FALSE(fs::exists(m_dir / "data"));
    EXPECT_EQ(folders.dataFile("config.xml"), m_dir / "data" / "Zentari" / "config.xml");
    EXPECT_TRUE(fs::is_directory(m_dir / "data" / "Zentari"));
    folders.createDataSubFolders();
    EXPECT_TRUE(fs::is_directory(m_dir / "data" / "Zentari" / "DownLoads"));
    EXPECT_TRUE(fs::is_directory(m_dir / "data" / "Zentari" / "EditBmps"));
    const AppFolders none({}, m_dir / "program", m_dir / "tmp");
    EXPECT_TRUE(none.dataFile("config.xml").empty());
    none.createDataSubFolders();  // nothing to make, nothing made
}

}  // namespace

namespace {

TEST(CSystemSettingDlg, EntriesSelectionAndResult) {
    LanguageTable language;
    CSystemSettingDlg dlg(language, 1, 3);
    EXPECT_EQ(dlg.title(), u"SystemSetting");
    ASSERT_EQ(dlg.playModes().size(), 2u);
    EXPECT_EQ(dlg.playModes()[1].label, u"ButtonSwitch");
    EXPECT_EQ(dlg.playModes()[1].value, 1);
    ASSERT_EQ(dlg.tempOffsets().size(), 15u);
    EXPECT_EQ(dlg.tempOffsetSelection(), 10);
    EXPECT_EQ(dlg.tempOffsets()[10].label, u"+3");
    EXPECT_EQ(dlg.playModeSelection(), 1);
    dlg.selectTempOffset(99);  // no such entry: nothing selected, OK takes 0
    dlg.onOK();
    EXPECT_EQ(dlg.tempOffset(), 0);
    EXPECT_EQ(dlg.playMode(), 1);

    CSystemSettingDlg odd(language, 5, -9);  // neither value is in its list
    EXPECT_EQ(odd.playModeSelection(), 0);
    EXPECT_EQ(odd.tempOffsetSelection(), 0);
    EXPECT_EQ(odd.playMode(), 0);
    EXPECT_EQ(odd.tempOffset(), 0);
    odd.onOK();
    EXPECT_EQ(odd.tempOffset(), -7);
}

}  // namespace
