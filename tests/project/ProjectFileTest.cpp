#include "project/Project.h"
#include "project/ProjectFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class ProjectFiles : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& text) {
        return testing_support::writeFile(m_dir / name, text);
    }
    static std::string read(const fs::path& p) { return testing_support::readFile(p); }

    testing_support::TempDir m_dir;
};

TEST_F(ProjectFiles, SmallProjectIsWrittenByteForByte) {
    Project project;
    ScreenRecord first;
    first.width = 48;
    first.height = 12;
    first.name = u"Screen_1";
    const ScreenId s1 = project.addScreen(first);
    ProgramRecord p1;
    p1.name = u"Program_1";
    p1.OffsetX = -3;
    p1.AutoAdjust = 5;  // any non-zero value is written as 1
    p1.settings[u"TextContent"] = u"Hi & <you>";
    p1.settings[u"Font"] = u"";
    project.addProgram(s1, p1);
    ProgramRecord p2;
    p2.name = u"P \"2\"";
    p2.checked = 0;
    project.addProgram(s1, p2);
    ScreenRecord empty;
    empty.name = u"Empty";
    empty.baseColor = 2;
    project.addScreen(empty);

    const fs::path file = m_dir / "small.vqd";
    ASSERT_TRUE(ProjectFile::write(project, file));
    EXPECT_EQ(
        read(file),
        "<!--?xml version=\"1.0\" encoding=\"UTF-8\"?-->\r\n"
        "<QV>\r\n"
        "<SCREEN width=\"48\" height=\"12\" baseColor=\"0\" name=\"Screen_1\">\r\n"
        "<Program name=\"Program_1\" checked=\"TRUE\" OffsetX=\"-3\" OffsetY=\"0\" StretchH=\"0\" "
        "StretchV=\"0\" PitchOffSet=\"0\" AutoAdjust=\"1\">\r\n"
        "<Item name=\"Font\"/>\r\n"
        "<Item name=\"TextContent\">Hi &amp; &lt;you&gt;</Item>\r\n"
        "</Program>\r\n"
        "<Program name=\"P &quot;2&quot;\" checked=\"FALSE\" OffsetX=\"0\" OffsetY=\"0\" "
        "StretchH=\"0\" StretchV=\"0\" PitchOffSet=\"0\" AutoAdjust=\"0\"/>\r\n"
        "</SCREEN>\r\n"
        "<SCREEN width=\"44\" height=\"11\" baseColor=\"2\" name=\"Empty\"/>\r\n"
        "</QV>\r\n");

    std::vector<ProjectFile::LoadedScreen> screens;
    ASSERT_TRUE(ProjectFile::read(file, screens));
    ASSERT_EQ(screens.size(), 2u);
    ASSERT_EQ(screens[0].programs.size(), 2u);
    EXPECT_EQ(screens[0].programs[0].settings, p1.settings);
    EXPECT_EQ(screens[0].programs[0].OffsetX, -3);
    EXPECT_EQ(screens[0].programs[1].name, u"P \"2\"");
    EXPECT_EQ(screens[0].programs[1].checked, 0);
    EXPECT_EQ(screens[1].screen.baseColor, 2);
}

TEST_F(ProjectFiles, LoadingCorrectsSizesAndReadsChecked) {
    const fs::path file =
        write("odd.vqd",
              "<QV>"
              "<SCREEN width=\"0\" height=\"\" baseColor=\"7\" name=\"\">"
              "<Program name=\"a\" checked=\"true\" OffsetX=\"x\" PitchOffSet=\"-2\"/>"
              "<Program name=\"b\" checked=\"True\"/>"
              "<Program name=\"c\" checked=\"TRUE\"/>"
              "<Program name=\"d\" checked=\"1\"/>"
              "<Program name=\"e\"/>"
              "</SCREEN>"
              "<SCREEN width=\"-5\" height=\"96\" baseColor=\"-1\"/>"
              "</QV>");
    std::vector<ProjectFile::LoadedScreen> screens;
    ASSERT_TRUE(ProjectFile::read(file, screens));
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].screen.width, 48);
    EXPECT_EQ(screens[0].screen.height, 12);
    EXPECT_EQ(screens[0].screen.baseColor, 0);
    EXPECT_EQ(screens[0].screen.name, u"");
    ASSERT_EQ(screens[0].programs.size(), 5u);
    const int expected[] = {1, 1, 1, 0, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(screens[0].programs[i].checked, expected[i]) << i;
    EXPECT_EQ(screens[0].programs[0].OffsetX, 0);
    EXPECT_EQ(screens[0].programs[0].PitchOffSet, -2);
    EXPECT_EQ(screens[1].screen.width, 48);
    EXPECT_EQ(screens[1].screen.height, 96);
    EXPECT_EQ(screens[1].screen.baseColor, 0);
}

TEST_F(ProjectFiles, LaterItemsReplaceEarlierOnesAndOtherElementsAreIgnored) {
    const fs::path file =
        write("items.vqd",
              "<QV><SCREEN width=\"48\" height=\"12\" name=\"s\">"
              "<Program name=\"p\"><Item name=\"Font\">A</Item><Other/><Item name=\"Font\">B</Item>"
              "<Item name=\"TextContent\">line 1\r\nline 2</Item></Program>"
              "<NotAProgram/></SCREEN><NotAScreen/></QV>");
    std::vector<ProjectFile::LoadedScreen> screens;
    ASSERT_TRUE(ProjectFile::read(file, screens));
    ASSERT_EQ(screens.size(), 1u);
    ASSERT_EQ(screens[0].programs.size(), 1u);
    EXPECT_EQ(screens[0].programs[0].settings.at(u"Font"), u"B");
    EXPECT_EQ(screens[0].programs[0].settings.at(u"TextContent"), u"line 1\r\nline 2");
}

TEST_F(ProjectFiles, RootOtherThanQvAndUnreadableFiles) {
    std::vector<ProjectFile::LoadedScreen> screens;
    EXPECT_TRUE(ProjectFile::read(write("other.vqd", "<root><SCREEN/></root>"), screens));
    EXPECT_TRUE(screens.empty());
    EXPECT_FALSE(ProjectFile::read(write("broken.vqd", "<QV><SCREEN></QV>"), screens));
    EXPECT_FALSE(ProjectFile::read(m_dir / "missing.vqd", screens));
    EXPECT_TRUE(screens.empty());
}

TEST_F(ProjectFiles, FailedWriteKeepsTheOldFile) {
    Project project;
    EXPECT_FALSE(ProjectFile::write(project, m_dir / "no" / "such" / "folder.vqd"));
    const fs::path file = write("keep.vqd", "<QV/>");
    EXPECT_FALSE(ProjectFile::write(project, m_dir.path()));  // a folder
    EXPECT_EQ(read(file), "<QV/>");
}

}  // namespace
