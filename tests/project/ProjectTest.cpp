#include "project/CDlgScreen.h"
#include "project/Project.h"
#include "project/RecentFiles.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

ProgramRecord named(std::u16string name) {
    ProgramRecord p;
    p.name = std::move(name);
    return p;
}

TEST(Project, IdsAndKeysComeFromTwoCountersSharedByAllScreens) {
    Project project;
    EXPECT_EQ(project.generatedScreenName(u"Screen"), u"Screen_1");
    const ScreenId a = project.addScreen({});
    const ScreenId b = project.addScreen({});
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(project.generatedScreenName(u"Bildschirm"), u"Bildschirm_3");
    EXPECT_EQ(project.addProgram(a, named(u"x")), 65536u + 1);
    EXPECT_EQ(project.addProgram(b, named(u"y")), 2 * 65536u + 2);
    EXPECT_EQ(project.addProgram(a, named(u"z")), 65536u + 3);
    // Removed records leave gaps; ids are never reused.
    project.removeScreen(b);
    EXPECT_EQ(project.addScreen({}), 3);
    EXPECT_EQ(project.findProgram(2 * 65536u + 2), nullptr);
    EXPECT_EQ(project.findProgram(1), nullptr);  // a screen id is no program key
    ASSERT_NE(project.findProgram(65537), nullptr);
    EXPECT_EQ(project.findProgram(65537)->name, u"x");
}

TEST(Project, GeneratedProgramNamesTakeTheSmallestFreeNumberWithoutCase) {
    Project project;
    const ScreenId s = project.addScreen({});
    project.addProgram(s, named(u"Program_1"));
    project.addProgram(s, named(u"PROGRAM_3"));
    EXPECT_EQ(project.generatedProgramName(s, u"Program"), u"Program_2");
    project.addProgram(s, named(u"program_2"));
    EXPECT_EQ(project.generatedProgramName(s, u"Program"), u"Program_4");
    // Other screens do not count.
    const ScreenId t = project.addScreen({});
    EXPECT_EQ(project.generatedProgramName(t, u"Program"), u"Program_1");
    // Case folding beyond ASCII.
    project.addProgram(t, named(u"\u00C9CRAN_1"));
    EXPECT_EQ(project.generatedProgramName(t, u"\u00E9cran"), u"\u00E9cran_2");
}

TEST(Project, TheEleventhProgramIsRefused) {
    Project project;
    const ScreenId s = project.addScreen({});
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(project.addProgram(s, named(u"p")), 0u);
    EXPECT_FALSE(project.canAddProgram(s));
    EXPECT_EQ(project.addProgram(s, named(u"p")), 0u);
    EXPECT_EQ(project.findScreen(s)->programs.size(), 10u);
    EXPECT_FALSE(project.canAddProgram(99));  // no such screen
}

TEST(Project, AutoAdjustForChineseOnElevenRows) {
    EXPECT_EQ(Project::autoAdjustFor(u"\u7B80\u4F53\u4E2D\u6587", 11), 1);
    EXPECT_EQ(Project::autoAdjustFor(u"\u7E41\u9AD4\u4E2D\u6587", 11), 1);
    EXPECT_EQ(Project::autoAdjustFor(u"\u7B80\u4F53\u4E2D\u6587", 12), 0);
    EXPECT_EQ(Project::autoAdjustFor(u"English", 11), 0);
    EXPECT_EQ(Project::autoAdjustFor(u"", 11), 0);
}

TEST(Project, SaveAsExtensionRule) {
    struct Case {
        const char* chosen;
        const char* saved;
    };
    const Case cases[] = {
        {"/home/u/show", "/home/u/show.vqd"},
        {"/home/u/SHOW.VQD", "/home/u/SHOW.VQD"},
        {"/home/u/show.Vqd", "/home/u/show.Vqd"},
        {"a.vqd", "a.vqd"},
        {".vqd", ".vqd.vqd"},  // no character before the point
        {"x.vqdx", "x.vqdx.vqd"},
        {"x.vq", "x.vq.vqd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        EXPECT_EQ(Project::withProjectExtension(c.chosen), fs::path(c.saved));
    }
}

TEST(RecentFiles, MoveToFrontComparesWithoutCase) {
    RecentFiles recent;
    recent.setPaths({u"/a.vqd", u"/B.vqd", u"/c.vqd", u"/b.VQD"});
    recent.moveToFront(u"/b.vqd");
    EXPECT_EQ(recent.paths(),
              (std::vector<std::u16string>{u"/b.vqd", u"/a.vqd", u"/c.vqd", u"/b.VQD"}));
    recent.moveToFront(u"/new.vqd");
    EXPECT_EQ(recent.paths().front(), u"/new.vqd");
    EXPECT_EQ(recent.paths().size(), 5u);
}

TEST(RecentFiles, ListFileIsWrittenWithTheDeclarationHeader) {
    testing_support::TempDir dir;
    const fs::path file = RecentFiles::listFile(dir.path().string() + "///");
    EXPECT_EQ(file, dir / "GLIMRA_TEMP.TMP");
    RecentFiles recent;
    recent.setPaths({u"/home/u/a.vqd", u"/home/u/b&c.vqd"});
    recent.write(file);
    EXPECT_EQ(testing_support::readFile(file),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><temp>\r\n<Item>/home/u/a.vqd</Item>\r\n"
              "<Item>/home/u/b&amp;c.vqd</Item>\r\n</temp>\r\n");

    // Every child's text counts, whatever its name.
    testing_support::writeFile(file, "<temp><Item>/x</Item><Other>/y</Other><Item/></temp>");
    RecentFiles back;
    back.read(file);
    EXPECT_EQ(back.paths(), (std::vector<std::u16string>{u"/x", u"/y", u""}));

    EXPECT_TRUE(RecentFiles::listFile("").empty());
    EXPECT_TRUE(RecentFiles::listFile("/" + std::string(259, 't')).empty());
    EXPECT_FALSE(RecentFiles::listFile("/" + std::string(258, 't')).empty());
}

TEST(CDlgScreen, LoadShowsValuesAndCommitWritesThemBack) {
    ScreenRecord screen;
    screen.width = 96;
    screen.height = 12;
    screen.baseColor = 1;
    screen.name = u"Front";
    for (ProgramKey k = 65537; k < 65537 + 10; ++k)
        screen.programs[k] = {};
    CDlgScreen panel;
    panel.load(screen);
    EXPECT_EQ(panel.widthText(), u" 96");
    EXPECT_EQ(panel.heightText(), u" 12");
    EXPECT_EQ(panel.programCountText(), u" 10");
    panel.setName(u"Renamed");
    ScreenRecord other;
    panel.commit(other);
    EXPECT_EQ(other.width, 96);
    EXPECT_EQ(other.height, 12);
    EXPECT_EQ(other.baseColor, 1);
    EXPECT_EQ(other.name, u"Renamed");
    EXPECT_TRUE(other.programs.empty());  // the panel never touches programs
}

}  // namespace
