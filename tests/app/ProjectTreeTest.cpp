// The tree-and-project bookkeeping on its own, on the test window's tree and
// without a controller.
#include "FakeView.h"

#include "app/LanguageTable.h"
#include "app/ProjectTree.h"

#include <gtest/gtest.h>

namespace {

using TreeItem = TreeView::TreeItem;

class ProjectTreeTest : public ::testing::Test {
protected:
    void SetUp() override { tree.setTree(&view); }

    // Screen_1 (Program_1, Program_2), Screen_2 (Program_1), with no language: the keys name them.
    void twoScreens() {
        s1 = tree.addScreen(u"");
        p1 = tree.addProgram(s1, u"");
        p2 = tree.addProgram(s1, u"");
        s2 = tree.addScreen(u"");
        q1 = tree.addProgram(s2, u"");
        ASSERT_TRUE(s1 && p1 && p2 && s2 && q1);
    }

    LanguageTable none;
    Project project;
    FakeView view;
    ProjectTree tree{project, none};
    TreeItem s1 = 0, p1 = 0, p2 = 0, s2 = 0, q1 = 0;
};

TEST_F(ProjectTreeTest, ItemsCarryTheIdsOfTheirRecords) {
    twoScreens();
    EXPECT_EQ(view.labels(0), (std::vector<std::u16string>{u"Screen_1", u"Screen_2"}));
    EXPECT_EQ(view.labels(s1), (std::vector<std::u16string>{u"Program_1", u"Program_2"}));
    // Screen ids count from 1; a program key is screen id × 65536 + program id, program ids
    // counting from 1 across the project.
    EXPECT_EQ(view.itemData(s1), 1u);
    EXPECT_EQ(view.itemData(p2), 0x10002u);
    EXPECT_EQ(view.itemData(q1), 0x20003u);
    EXPECT_EQ(view.itemImage(q1), 2);  // new programs are checked
    EXPECT_EQ(project.findProgram(0x20003)->name, u"Program_1");
    EXPECT_EQ(tree.findItem(0x10002), p2);
    EXPECT_EQ(tree.findItem(0x10009), TreeView::kNoItem);
    EXPECT_EQ(tree.screenNamed(u"sCREEN_2"), 2);
    EXPECT_EQ(tree.screenNamed(u"Screen"), 0);
    // Nothing is selected by adding; a program is no screen to add to.
    EXPECT_EQ(view.selectedItem(), TreeView::kNoItem);
    EXPECT_EQ(tree.addProgram(p1, u"x"), TreeView::kNoItem);
    EXPECT_EQ(view.itemCount(), 5);
}

TEST_F(ProjectTreeTest, ACancelledSizeAddsNothing) {
    EXPECT_EQ(tree.addScreen(u"A", [](ScreenRecord&) { return false; }), TreeView::kNoItem);
    EXPECT_TRUE(tree.empty());
    EXPECT_TRUE(project.screens().empty());
    const TreeItem b = tree.addScreen(u"B", [](ScreenRecord& s) {
        s.width = 64;
        s.height = 16;
        return true;
    });
    ASSERT_NE(b, TreeView::kNoItem);
    EXPECT_EQ(view.selectedItem(), b);  // a sized screen is selected
    EXPECT_EQ(project.findScreen(1)->width, 64);
}

TEST_F(ProjectTreeTest, ExchangedScreensTakeTheirProgramsAndTheSelectionAlong) {
    twoScreens();
    view.selectItem(q1);
    tree.exchange(s1, s2);
    EXPECT_EQ(view.labels(0), (std::vector<std::u16string>{u"Screen_2", u"Screen_1"}));
    EXPECT_EQ(view.itemData(s1), 2u);
    ASSERT_EQ(view.children(s1).size(), 1u);
    ASSERT_EQ(view.children(s2).size(), 2u);
    EXPECT_EQ(view.itemData(view.children(s1)[0]), 0x20003u);
    EXPECT_EQ(view.itemData(view.children(s2)[1]), 0x10002u);
    EXPECT_EQ(view.itemData(view.selectedItem()), 0x20003u);
    // The records keep their order.
    EXPECT_EQ(project.screens().begin()->second.name, u"Screen_1");
}

TEST_F(ProjectTreeTest, ExchangedProgramsLeaveTheirCheckImagesInPlace) {
    twoScreens();
    view.setItemImage(p2, 0);
    tree.exchange(p1, p2);
    EXPECT_EQ(view.labels(s1), (std::vector<std::u16string>{u"Program_2", u"Program_1"}));
    tree.deriveCheckState();
    EXPECT_EQ(project.findProgram(0x10002)->checked, 1);  // now in the checked place
    EXPECT_EQ(project.findProgram(0x10001)->checked, 0);
    EXPECT_EQ(view.itemImage(s1), 1);
}

TEST_F(ProjectTreeTest, DeletingGoesByWhatTheItemIs) {
    twoScreens();
    EXPECT_FALSE(tree.deleteProgram(s2));
    EXPECT_EQ(view.itemCount(), 5);
    EXPECT_TRUE(tree.deleteProgram(p1));
    EXPECT_EQ(project.findProgram(0x10001), nullptr);
    EXPECT_EQ(view.itemCount(), 4);
    tree.deleteScreen(q1);  // a program's screen goes with it
    EXPECT_EQ(project.findScreen(2), nullptr);
    EXPECT_EQ(project.findProgram(0x20003), nullptr);
    EXPECT_EQ(view.labels(0), std::vector<std::u16string>{u"Screen_1"});
    EXPECT_EQ(tree.rename(p2, u"Sale"), 0x10002u);
    EXPECT_EQ(project.findProgram(0x10002)->name, u"Sale");
    EXPECT_EQ(view.itemLabel(p2), u"Sale");
}

}  // namespace
