#include "FakeView.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"

#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/Commands.h"
#include "assets/AnimationSet.h"
#include "assets/PictureLibrary.h"
#include "device/sim/SimulatedSign.h"
#include "platform/TextCodec.h"
#include "project/ProjectFile.h"
#include "project/RecentFiles.h"
#include "support/ProjectXml.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Panel = CGlimraDlg::Panel;
using TreeItem = CGlimraDlg::TreeItem;

class Controller : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root / "program");
        fs::create_directories(m_root / "tmp");
    }
    void TearDown() override {
        view.reset();
        dlg.reset();
    }

    AppFolders folders() const {
        return AppFolders(m_root / "data", m_root / "program", m_root / "tmp");
    }

    // A new run of the program up to the end of its start-up.
    void start(bool acceptSize = true) {
        view.reset();
        dlg = std::make_unique<CGlimraDlg>(app, folders());
        view = std::make_unique<FakeView>(*dlg);
        view->acceptScreenSize = acceptSize;
        dlg->onInitDialog();
    }
    // The run ends: the controller goes, writing its recent files.
    void stop() {
        dlg.reset();
        view.reset();
    }

    fs::path data(const char* name) const { return m_root / "data" / name; }
    fs::path file(const char* name) const { return m_root / name; }
    static std::string read(const fs::path& p) { return testing_support::readFile(p); }
    static void writeFile(const fs::path& p, const std::string& text) {
        testing_support::writeFile(p, text);
    }

    std::vector<ProjectFile::LoadedScreen> saved(const fs::path& p) {
        std::vector<ProjectFile::LoadedScreen> screens;
        EXPECT_TRUE(ProjectFile::read(p, screens));
        return screens;
    }
    TreeItem firstScreen() const { return view->roots().at(0); }
    TreeItem program(size_t screen, size_t index) const {
        return view->children(view->roots().at(screen)).at(index);
    }
    ProgramRecord& record(TreeItem item) {
        return *dlg->project().findProgram(view->itemData(item));
    }

    struct RecordingShell : platform::Shell {
        bool open(const fs::path& path) override {
            opened.push_back(path);
            return opens;
        }
        std::vector<fs::path> opened;
        bool opens = true;
    } shell;
    FakeImageCodec images;
    struct Fonts : platform::FontCatalog {
        std::vector<std::u16string> families() const override {
            return {u"DejaVu Sans", u"Arial", u"宋体"};
        }
    } fonts;
    testing_support::TempDir m_root;
    FakeTextRenderer text;
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    CGlimraApp app{{shell, images, fonts, text, signs, clock}};
    std::unique_ptr<CGlimraDlg> dlg;
    std::unique_ptr<FakeView> view;
};

// --- start-up -----------------------------------------------------------------------

TEST_F(Controller, StartWithoutAutosaveAddsOneScreenWithASelectedProgram) {
    start();
    EXPECT_EQ(view->title, u"Zentari");
    EXPECT_EQ(view->screenSizeDialogs, 1);
    ASSERT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(view->labels(0), std::vector<std::u16string>{u"Screen_1"});
    EXPECT_EQ(view->labels(firstScreen()), std::vector<std::u16string>{u"Program_1"});
    EXPECT_EQ(view->selectedItem(), program(0, 0));
    EXPECT_EQ(view->itemData(firstScreen()), 1u);
    EXPECT_EQ(view->itemData(program(0, 0)), 65537u);
    EXPECT_EQ(view->itemImage(program(0, 0)), 2);
    EXPECT_EQ(view->itemImage(firstScreen()), 2);
    // The ask-size flag's default entry: 48 × 12.
    const ScreenRecord* screen = dlg->project().findScreen(1);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->width, 48);
    EXPECT_EQ(screen->height, 12);
    EXPECT_TRUE(view->panels[Panel::ProgramEditor]);
    EXPECT_FALSE(view->panels[Panel::ScreenPanel]);
    EXPECT_EQ(dlg->programEditor().name(), u"Program_1");
    EXPECT_EQ(dlg->programEditor().screenWidth(), 48);
    EXPECT_EQ(view->timers.count(TIMER_START_UPDATE), 1u);
    EXPECT_EQ(view->timers[TIMER_START_UPDATE], 3000);
    EXPECT_EQ(view->timers.count(TIMER_PREVIEW_REFRESH), 0u);  // stopped at the end of start-up
    EXPECT_TRUE(fs::is_directory(data("DownLoads")));
    EXPECT_TRUE(fs::is_directory(data("EditBmps")));
    ASSERT_EQ(view->checkImages.size(), 3u);
    EXPECT_EQ(view->checkImages[2], m_root / "program/Images/Res/checkStatus2.bmp");
    // Labels show their keys until a language is loaded.
    EXPECT_EQ(view->menuTexts[IDM_FILE_OPEN], u"mOpen");
    EXPECT_EQ(view->menuTexts[ID_IMAGE_EDITOR], u"ImageEdit(&P)");
    EXPECT_EQ(view->menuTexts[CGlimraDlg::MENU_FILE], u"mFile");
    EXPECT_EQ(view->controlTexts[IDC_SEND], u"Send");
}

TEST_F(Controller, CancellingTheScreenSizeLeavesTheTreeEmpty) {
    start(false);
    EXPECT_EQ(view->screenSizeDialogs, 1);
    EXPECT_TRUE(view->roots().empty());
    EXPECT_TRUE(dlg->project().screens().empty());
}

TEST_F(Controller, CommandsOnAnEmptyTree) {
    start(false);
    for (int id : {IDM_FILE_SAVE, IDM_FILE_SAVEAS, IDM_FILE_SEND, IDC_SEND, IDM_EDIT_DELETE_LED,
                   IDM_EDIT_DELETE_PROGRAM})
        EXPECT_FALSE(dlg->isCommandEnabled(id)) << id;
    for (int id :
         {IDM_FILE_NEW_LED, IDM_FILE_NEW_PROGRAM, IDM_FILE_OPEN, IDM_FILE_EXIT, IDM_HELP_ABOUT})
        EXPECT_TRUE(dlg->isCommandEnabled(id)) << id;
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(view->saveDialogs, 0);
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);  // nothing selected: nothing happens
    EXPECT_TRUE(view->roots().empty());
    view->acceptScreenSize = true;
    view->selectId = 0;  // no catalogue here: index 0 falls back to 44 × 11
    dlg->onCommand(IDM_FILE_NEW_LED);
    ASSERT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(dlg->project().findScreen(1)->width, 44);
    EXPECT_TRUE(dlg->isCommandEnabled(IDM_FILE_SAVE));
    EXPECT_FALSE(dlg->isCommandEnabled(IDM_FILE_SAVEAS));  // still untitled
}

TEST_F(Controller, SaveOnAnUntitledProjectActsAsSaveAs) {
    start();
    view->savePath = file("show");
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(view->saveDialogs, 1);
    EXPECT_TRUE(fs::exists(file("show.vqd")));
    EXPECT_EQ(dlg->project().currentPath(), file("show.vqd"));
    EXPECT_TRUE(dlg->isCommandEnabled(IDM_FILE_SAVEAS));
    ASSERT_EQ(view->recentMenu.size(), 1u);
    EXPECT_EQ(view->recentMenu[0].id, ID_RECENT_FIRST);
    EXPECT_EQ(view->recentMenu[0].label, u" 1 " + file("show.vqd").u16string());

    // Titled: Save writes without asking, Save As asks again.
    fs::remove(file("show.vqd"));
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(view->saveDialogs, 1);
    EXPECT_TRUE(fs::exists(file("show.vqd")));
    view->savePath = file("OTHER.VQD");
    dlg->onCommand(IDM_FILE_SAVEAS);
    EXPECT_TRUE(fs::exists(file("OTHER.VQD")));
    EXPECT_EQ(dlg->project().recentFiles().paths().front(), file("OTHER.VQD").u16string());
    // A cancelled dialog writes nothing.
    view->savePath.reset();
    dlg->onCommand(IDM_FILE_SAVEAS);
    EXPECT_EQ(dlg->project().currentPath(), file("OTHER.VQD"));
}

// Ours: unsaved work is asked about on Exit and New project, and the title marks it.
TEST_F(Controller, UnsavedChangesAreMarkedAndAskedAbout) {
    start();
    EXPECT_EQ(view->title, u"Zentari");
    EXPECT_FALSE(dlg->modified());
    // Exit without changes: no question.
    dlg->onCommand(IDM_FILE_EXIT);
    EXPECT_TRUE(view->saveQuestions.empty());
    EXPECT_TRUE(view->closed);
    view->closed = false;

    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    EXPECT_TRUE(dlg->modified());
    EXPECT_EQ(view->title, u"Zentari*");
    // Cancel keeps everything.
    view->saveChoice = DialogHost::SaveChoice::cancel;
    dlg->onCommand(IDM_FILE_EXIT);
    ASSERT_EQ(view->saveQuestions.size(), 1u);
    EXPECT_EQ(view->saveQuestions[0], u"QuitWithoutSaving");
    // The buttons say what each does: on Exit the other way out is Exit itself.
    EXPECT_EQ(view->saveLabels, (std::vector<std::u16string>{u"mSave", u"mExit", u"Cancel"}));
    EXPECT_FALSE(view->closed);
    dlg->onCommand(ID_FILE_NEW_PROJECT);
    EXPECT_EQ(view->saveQuestions.back(), u"SaveChangesFirst");
    EXPECT_EQ(view->saveLabels, (std::vector<std::u16string>{u"mSave", u"DontSave", u"Cancel"}));
    ASSERT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(dlg->project().findScreen(1)->programs.size(), 2u);

    // Save: the file, the name in the title, the mark gone; then Exit asks nothing.
    view->saveChoice = DialogHost::SaveChoice::save;
    view->savePath = file("show");
    dlg->onCommand(IDM_FILE_EXIT);
    EXPECT_TRUE(fs::exists(file("show.vqd")));
    EXPECT_TRUE(view->closed);
    EXPECT_EQ(view->title, u"show.vqd \u2014 Zentari");
    view->closed = false;

    // An edit marks it again; Quit leaves without writing.
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    EXPECT_EQ(view->title, u"show.vqd* \u2014 Zentari");
    const std::string saved = testing_support::readFile(file("show.vqd"));
    view->saveChoice = DialogHost::SaveChoice::discard;
    dlg->onCommand(IDM_FILE_EXIT);
    EXPECT_TRUE(view->closed);
    EXPECT_EQ(testing_support::readFile(file("show.vqd")), saved);

    // New project after discarding: one new screen, untitled; the next Save asks for a path.
    dlg->onCommand(ID_FILE_NEW_PROJECT);
    ASSERT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(dlg->project().screens().size(), 1u);
    EXPECT_TRUE(dlg->project().currentPath().empty());
    EXPECT_EQ(view->title, u"Zentari");
    const int dialogs = view->saveDialogs;
    view->savePath = file("fresh");
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(view->saveDialogs, dialogs + 1);
    EXPECT_TRUE(fs::exists(file("fresh.vqd")));
}

// Ours: the keys a desktop user expects, shown in the menus.
TEST_F(Controller, MenuKeysAndTheTreesOwnKeys) {
    std::map<int, std::pair<std::u16string, bool>> keys;
    std::function<void(const std::vector<CGlimraDlg::MenuItem>&)> walk = [&](const auto& items) {
        for (const auto& item : items) {
            if (!item.shortcut.empty())
                keys[item.id] = {std::u16string(item.shortcut), item.treeKey};
            walk(item.children);
        }
    };
    walk(CGlimraDlg::menuBar());
    const std::map<int, std::pair<std::u16string, bool>> expected = {
        {IDM_FILE_OPEN, {u"Ctrl+O", false}},
        {IDM_FILE_SAVE, {u"Ctrl+S", false}},
        {IDM_FILE_SAVEAS, {u"Ctrl+Shift+S", false}},
        {IDM_FILE_EXIT, {u"Ctrl+Q", false}},
        {IDM_TOOL_TEST, {u"F12", false}},
        {ID_TREE_RENAME, {u"F2", true}},
        {ID_TREE_DELETE, {u"Del", true}}};
    EXPECT_EQ(keys, expected);

    start();
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    const TreeItem second = view->children(firstScreen()).back();
    view->select(second);
    EXPECT_TRUE(dlg->onKeyDown(CGlimraDlg::Key::F2));
    EXPECT_EQ(view->editing, second);
    EXPECT_TRUE(dlg->onKeyDown(CGlimraDlg::Key::Delete));
    EXPECT_EQ(view->children(firstScreen()).size(), 1u);
}

TEST_F(Controller, DeletingAScreenDeletesItsProgramsFromTheNextSave) {
    start();
    dlg->onCommand(IDM_FILE_NEW_LED);  // Screen_2 with Program_1, selected
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    ASSERT_EQ(view->roots().size(), 2u);
    view->select(program(0, 0));
    dlg->onCommand(IDM_EDIT_DELETE_LED);  // the selected program's screen
    ASSERT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(view->labels(0), std::vector<std::u16string>{u"Screen_2"});
    EXPECT_EQ(dlg->project().findScreen(1), nullptr);
    // The selection moved on to the deleted screen's next sibling.
    EXPECT_EQ(view->selectedItem(), firstScreen());
    EXPECT_EQ(dlg->screenPanel().name(), u"Screen_2");

    view->savePath = file("after.vqd");
    dlg->onCommand(IDM_FILE_SAVE);
    const auto screens = saved(file("after.vqd"));
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].screen.name, u"Screen_2");
    EXPECT_EQ(screens[0].programs.size(), 2u);
}

// --- what reaches the file ----------------------------------------------------------------

// Edits the selected program in the editor and its screen in the panel, as the
// user would, without a selection change to commit them.
void editWithoutCommitting(CGlimraDlg& dlg, std::u16string_view text,
                           std::u16string_view screenName) {
    dlg.programEditor().setText(std::u16string(text));
    dlg.programEditor().selectEffect(3);
    dlg.programEditor().setOffsetX(-5);
    dlg.screenPanel().setName(std::u16string(screenName));
}

// The selected program and its screen as the file has them, with the values
// the edits above stand for.
void expectEdited(const testing_support::XmlScreen& screen, std::u16string_view text,
                  std::u16string_view screenName) {
    EXPECT_EQ(screen.attributes.at(u"name"), screenName);
    EXPECT_EQ(screen.attributes.at(u"width"), u"48");
    EXPECT_EQ(screen.attributes.at(u"height"), u"12");
    ASSERT_EQ(screen.programs.size(), 1u);
    const auto& program = screen.programs[0];
    EXPECT_EQ(program.attributes.at(u"name"), u"Program_1");
    EXPECT_EQ(program.attributes.at(u"OffsetX"), u"-5");
    EXPECT_EQ(program.items.at(u"TextContent"), text);
    EXPECT_EQ(program.items.at(u"Effect"), u"3");
}

TEST_F(Controller, SaveCommitsTheEditorAndThePanelFirst) {
    start();
    dlg->onCommand(IDM_FILE_NEW_LED);  // Screen_2 with its program, selected
    view->select(program(0, 0));       // back to Screen_1's program
    view->savePath = file("shop.vqd");
    dlg->onCommand(IDM_FILE_SAVE);  // untitled: asks for the name once
    ASSERT_EQ(view->saveDialogs, 1);

    editWithoutCommitting(*dlg, u"Sale today", u"Shop window");
    ASSERT_EQ(dlg->project().findScreen(1)->name, u"Screen_1");  // nothing committed yet
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(view->saveDialogs, 1);
    std::vector<testing_support::XmlScreen> screens;
    ASSERT_TRUE(testing_support::readProjectXml(file("shop.vqd"), screens));
    ASSERT_EQ(screens.size(), 2u);
    expectEdited(screens[0], u"Sale today", u"Shop window");
    // Into the selected program's own screen, not the other one.
    EXPECT_EQ(screens[1].attributes.at(u"name"), u"Screen_2");
    ASSERT_EQ(screens[1].programs.size(), 1u);
    EXPECT_NE(screens[1].programs[0].items[u"TextContent"], u"Sale today");

    // With a screen selected, its panel is committed.
    view->select(view->roots()[1]);
    dlg->screenPanel().setName(u"Back window");
    dlg->onCommand(IDM_FILE_SAVE);
    ASSERT_TRUE(testing_support::readProjectXml(file("shop.vqd"), screens));
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[1].attributes.at(u"name"), u"Back window");
    expectEdited(screens[0], u"Sale today", u"Shop window");
}

TEST_F(Controller, ClosingByTheFrameCommitsIntoTheAutosave) {
    start();
    editWithoutCommitting(*dlg, u"Open late", u"Door");
    dlg->onClose();
    EXPECT_TRUE(view->closed);
    std::vector<testing_support::XmlScreen> screens;
    ASSERT_TRUE(testing_support::readProjectXml(data("lastScreen.xml"), screens));
    ASSERT_EQ(screens.size(), 1u);
    expectEdited(screens[0], u"Open late", u"Door");
}

TEST_F(Controller, DeleteProgramAndTheContextMenuDelete) {
    start();
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    ASSERT_EQ(view->children(firstScreen()).size(), 3u);
    const TreeItem second = program(0, 1);
    view->setItemImage(program(0, 2), 0);
    // Delete Program on a screen does nothing.
    view->select(firstScreen());
    dlg->onCommand(IDM_EDIT_DELETE_PROGRAM);
    EXPECT_EQ(view->children(firstScreen()).size(), 3u);
    // The context menu's Delete on a program that is not selected.
    view->contextChoice = ID_TREE_DELETE;
    dlg->onTreeRightClick(second);
    EXPECT_EQ(view->labels(firstScreen()),
              (std::vector<std::u16string>{u"Program_1", u"Program_3"}));
    EXPECT_EQ(dlg->project().findScreen(1)->programs.size(), 2u);
    EXPECT_EQ(view->selectedItem(), firstScreen());
    EXPECT_EQ(view->itemImage(firstScreen()), 1);  // one checked, one not
    EXPECT_EQ(dlg->contextItem(), 0u);
    // A menu closed without a choice leaves the selection to later commands.
    view->contextChoice = 0;
    dlg->onTreeRightClick(program(0, 0));
    dlg->onCommand(IDM_EDIT_DELETE_PROGRAM);  // the selected screen: nothing
    EXPECT_EQ(view->children(firstScreen()).size(), 2u);
}

TEST_F(Controller, CheckImagesOfAScreenThroughClicks) {
    start();
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    const TreeItem screen = firstScreen();
    auto checks = [&] {
        std::vector<int> v{view->itemImage(screen)};
        for (TreeItem c : view->children(screen))
            v.push_back(record(c).checked);
        return v;
    };
    EXPECT_EQ(checks(), (std::vector<int>{2, 1, 1, 1}));
    view->click(screen, true);  // unchecks all three
    EXPECT_EQ(checks(), (std::vector<int>{0, 0, 0, 0}));
    view->click(program(0, 1), true);
    EXPECT_EQ(checks(), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(view->itemImage(program(0, 1)), 2);
    view->click(screen, true);  // a partly checked screen becomes unchecked
    EXPECT_EQ(checks(), (std::vector<int>{0, 0, 0, 0}));
    view->click(screen, true);
    EXPECT_EQ(checks(), (std::vector<int>{2, 1, 1, 1}));
    // A click beside the image selects instead.
    view->click(program(0, 0), false);
    EXPECT_EQ(view->selectedItem(), program(0, 0));
    EXPECT_EQ(checks(), (std::vector<int>{2, 1, 1, 1}));
}

TEST_F(Controller, ClickingTheSelectedItemsImageRefreshesThePreviewSoon) {
    start();
    view->timers.clear();
    view->click(program(0, 0), true);  // the selected program
    EXPECT_EQ(view->timers[TIMER_PREVIEW_REFRESH], 10);
    view->timers.clear();
    dlg->onCommand(IDM_FILE_NEW_LED);  // Screen_2's program is selected now
    view->timers.clear();
    view->click(program(0, 0), true);  // a program of the other screen
    EXPECT_EQ(view->timers.count(TIMER_PREVIEW_REFRESH), 0u);
    dlg->onTimer(TIMER_PREVIEW_REFRESH);
    EXPECT_TRUE(view->panels[Panel::Preview]);
}

TEST_F(Controller, EscapeAndEnterDoNothingF12IsHandled) {
    start();
    const auto before = ProjectFile::text(dlg->project());
    EXPECT_TRUE(dlg->onKeyDown(CGlimraDlg::Key::Escape));
    EXPECT_TRUE(dlg->onKeyDown(CGlimraDlg::Key::Enter));
    dlg->onCommand(IDOK);
    EXPECT_TRUE(dlg->onKeyDown(CGlimraDlg::Key::F12));
    EXPECT_FALSE(dlg->onKeyDown(CGlimraDlg::Key::Other));
    EXPECT_FALSE(view->closed);
    EXPECT_EQ(ProjectFile::text(dlg->project()), before);
    EXPECT_TRUE(view->messages.empty());
    dlg->onCommand(ID_UNKNOWN_COMMAND);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"UnknownCommand"});
}

TEST_F(Controller, ExitWritesNeitherTheAutosaveNorTheSettings) {
    start();
    dlg->settings().playMode = 1;
    dlg->onCommand(IDM_FILE_EXIT);
    EXPECT_TRUE(view->closed);
    stop();
    EXPECT_FALSE(fs::exists(data("lastScreen.xml")));
    EXPECT_FALSE(fs::exists(data("config.xml")));

    // Closing by the frame writes both; an Exit in the run after leaves them as they were.
    start();
    dlg->settings().playMode = 1;
    dlg->onClose();
    EXPECT_TRUE(view->closed);
    stop();
    ASSERT_TRUE(fs::exists(data("lastScreen.xml")));
    ASSERT_TRUE(fs::exists(data("config.xml")));
    const std::string autosave = read(data("lastScreen.xml"));

    start();
    EXPECT_EQ(view->screenSizeDialogs, 0);  // restored, no New Screen
    EXPECT_EQ(dlg->settings().playMode, 1);
    dlg->onCommand(IDM_FILE_NEW_LED);
    dlg->settings().playMode = 0;
    dlg->onCommand(IDM_FILE_EXIT);
    stop();
    EXPECT_EQ(read(data("lastScreen.xml")), autosave);
    start();
    EXPECT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(dlg->settings().playMode, 1);
}

TEST_F(Controller, AutosaveRestoresTheProjectAndHeadsTheRecentFiles) {
    start();
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    dlg->onClose();
    stop();
    start();
    ASSERT_EQ(view->roots().size(), 1u);
    EXPECT_EQ(view->children(firstScreen()).size(), 2u);
    EXPECT_EQ(dlg->project().currentPath(), data("lastScreen.xml"));
    ASSERT_FALSE(view->recentMenu.empty());
    EXPECT_EQ(view->recentMenu[0].label, u" 1 " + data("lastScreen.xml").u16string());
    EXPECT_EQ(view->selectedItem(), 0u);  // restored screens are not selected
    // Closing again at once keeps the autosave, although nothing is selected.
    dlg->onClose();
    stop();
    EXPECT_EQ(saved(data("lastScreen.xml")).size(), 1u);
}

TEST_F(Controller, AnEmptyProjectRemovesTheAutosave) {
    start();
    dlg->onClose();
    stop();
    ASSERT_TRUE(fs::exists(data("lastScreen.xml")));
    start();
    view->select(firstScreen());
    dlg->onCommand(IDM_EDIT_DELETE_LED);
    dlg->onClose();
    stop();
    EXPECT_FALSE(fs::exists(data("lastScreen.xml")));
}

TEST_F(Controller, TwentyFiveRecentFilesShowTwenty) {
    std::vector<std::u16string> paths;
    for (int i = 0; i < 25; ++i)
        paths.push_back(u"/p/" + std::u16string(1, u'a' + i) + u".vqd");
    start();
    dlg->project().recentFiles().setPaths(paths);
    dlg->rebuildRecentFilesMenu();
    ASSERT_EQ(view->recentMenu.size(), 20u);
    EXPECT_EQ(view->recentMenu[0].id, 5120);
    EXPECT_EQ(view->recentMenu[0].label, u" 1 /p/a.vqd");
    EXPECT_EQ(view->recentMenu[9].label, u"10 /p/j.vqd");
    EXPECT_EQ(view->recentMenu[19].id, 5139);
    EXPECT_EQ(view->recentMenu[19].label, u"20 /p/t.vqd");
    // All 25 survive the run in the list file.
    stop();
    start();
    EXPECT_EQ(dlg->project().recentFiles().paths(), paths);
}

TEST_F(Controller, RecentFileCommandLoadsAndMovesToFront) {
    start();
    view->savePath = file("one.vqd");
    dlg->onCommand(IDM_FILE_SAVEAS);  // disabled while untitled
    EXPECT_EQ(view->saveDialogs, 0);
    dlg->onCommand(IDM_FILE_SAVE);
    dlg->project().recentFiles().setPaths({u"", u"/missing.vqd", file("one.vqd").u16string()});
    dlg->onCommand(ID_RECENT_FIRST);  // an empty entry: nothing
    EXPECT_EQ(view->roots().size(), 1u);
    dlg->onCommand(ID_RECENT_FIRST + 2);
    EXPECT_EQ(view->roots().size(), 2u);  // loading adds to the open project
    EXPECT_EQ(dlg->project().recentFiles().paths().front(), file("one.vqd").u16string());
    EXPECT_EQ(view->recentMenu[0].label, u" 1 " + file("one.vqd").u16string());
    dlg->onCommand(ID_RECENT_FIRST + 7);  // past the end
    EXPECT_EQ(view->roots().size(), 2u);
}

TEST_F(Controller, RenamingAnItemThatIsNotSelected) {
    start();
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);  // Program_2 selected
    const TreeItem first = program(0, 0), second = program(0, 1);
    ASSERT_EQ(view->selectedItem(), second);
    view->contextChoice = ID_TREE_RENAME;
    dlg->onTreeRightClick(first);
    EXPECT_EQ(view->editing, first);
    EXPECT_EQ(view->editLimit, 256);
    dlg->onEndLabelEdit(first, u"Welcome");
    EXPECT_EQ(view->itemLabel(first), u"Welcome");
    EXPECT_EQ(record(first).name, u"Welcome");
    EXPECT_EQ(record(second).name, u"Program_2");
    EXPECT_EQ(dlg->programEditor().name(), u"Program_2");
    // Renaming the selected one reaches the editor too, so a commit keeps it.
    view->contextChoice = 0;
    dlg->onCommand(ID_TREE_RENAME);
    EXPECT_EQ(view->editing, second);
    dlg->onEndLabelEdit(second, std::u16string(300, u'x'));
    EXPECT_EQ(dlg->programEditor().name(), std::u16string(256, u'x'));
    view->select(firstScreen());
    EXPECT_EQ(record(second).name, std::u16string(256, u'x'));
    // A screen renamed while its panel shows it.
    dlg->onCommand(ID_TREE_RENAME);
    dlg->onEndLabelEdit(firstScreen(), u"Front");
    EXPECT_EQ(dlg->screenPanel().name(), u"Front");
    view->select(first);
    EXPECT_EQ(dlg->project().findScreen(1)->name, u"Front");
}

TEST_F(Controller, MovingTheSelectedProgramShowsItAtItsNewPlace) {
    start();
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    const TreeItem top = program(0, 0), bottom = program(0, 1);
    view->select(top);
    record(bottom).settings[u"TextContent"] = u"bbb";
    view->setItemImage(bottom, 0);  // the lower place is unchecked
    dlg->programEditor().setText(u"edited, not committed");
    dlg->onCommand(ID_TREE_MOVE_DOWN);

    EXPECT_EQ(view->labels(firstScreen()),
              (std::vector<std::u16string>{u"Program_2", u"Program_1"}));
    EXPECT_EQ(view->selectedItem(), bottom);
    EXPECT_EQ(view->itemData(bottom), 65537u);  // the moved program
    EXPECT_EQ(dlg->programEditor().name(), u"Program_1");
    EXPECT_EQ(dlg->programEditor().text(), u"edited, not committed");
    // Its text was committed before the move and not copied into the other one.
    const ProgramRecord& moved = *dlg->project().findProgram(65537);
    const ProgramRecord& other = *dlg->project().findProgram(65538);
    EXPECT_EQ(moved.settings.at(u"TextContent"), u"edited, not committed");
    EXPECT_EQ(other.settings.at(u"TextContent"), u"bbb");
    // Check images stay in place: each program takes the state of its new place.
    EXPECT_EQ(view->itemImage(top), 2);
    EXPECT_EQ(moved.checked, 0);
    EXPECT_EQ(other.checked, 1);
    // The file order is the key order, whatever the tree shows.
    view->savePath = file("moved.vqd");
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(saved(file("moved.vqd"))[0].programs[0].name, u"Program_1");
    // Nothing to move past the ends.
    dlg->onCommand(ID_TREE_MOVE_DOWN);
    EXPECT_EQ(view->labels(firstScreen()),
              (std::vector<std::u16string>{u"Program_2", u"Program_1"}));
}

TEST_F(Controller, MovingAScreenTakesItsProgramsAlong) {
    start();
    dlg->onCommand(IDM_FILE_NEW_LED);
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    dlg->onEndLabelEdit(program(1, 1), u"second's");
    view->setItemImage(program(1, 1), 0);
    view->select(firstScreen());
    dlg->onCommand(ID_TREE_MOVE_DOWN);
    EXPECT_EQ(view->labels(0), (std::vector<std::u16string>{u"Screen_2", u"Screen_1"}));
    EXPECT_EQ(view->labels(view->roots()[0]),
              (std::vector<std::u16string>{u"Program_1", u"second's"}));
    EXPECT_EQ(view->labels(view->roots()[1]), std::vector<std::u16string>{u"Program_1"});
    for (TreeItem s : view->roots())
        for (TreeItem c : view->children(s))
            EXPECT_EQ(screenOfKey(view->itemData(c)), view->itemData(s));
    EXPECT_EQ(view->itemImage(view->roots()[0]), 1);
    EXPECT_EQ(view->selectedItem(), view->roots()[1]);
    EXPECT_EQ(dlg->screenPanel().name(), u"Screen_1");
}

TEST_F(Controller, OpenDiscardsUncommittedEditorChanges) {
    start();
    view->savePath = file("p.vqd");
    dlg->onCommand(IDM_FILE_SAVE);
    record(program(0, 0)).settings[u"TextContent"] = u"in the record";
    dlg->programEditor().load(record(program(0, 0)));
    dlg->programEditor().setText(u"typed but not committed");
    view->openPath = file("p.vqd");
    dlg->onCommand(IDM_FILE_OPEN);
    EXPECT_EQ(view->roots().size(), 2u);
    EXPECT_EQ(dlg->programEditor().text(), u"in the record");
    EXPECT_FALSE(view->panels[Panel::ProgramEditor]);
    EXPECT_FALSE(view->panels[Panel::ScreenPanel]);
    // Opening the same file again shows its screens again, with new ids.
    dlg->onCommand(IDM_FILE_OPEN);
    ASSERT_EQ(view->roots().size(), 3u);
    EXPECT_EQ(view->itemData(view->roots()[2]), 3u);
    EXPECT_EQ(view->itemLabel(view->roots()[2]), u"Screen_1");
    // A missing file changes nothing.
    view->openPath = file("missing.vqd");
    dlg->onCommand(IDM_FILE_OPEN);
    EXPECT_EQ(view->roots().size(), 3u);
}

TEST_F(Controller, LoadingGivesCheckImagesAndDropsTheEleventhProgram) {
    std::string programs;
    for (int i = 0; i < 12; ++i)
        programs += "<Program name=\"p" + std::to_string(i) + "\" checked=\"" +
                    (i % 2 ? "FALSE" : "TRUE") + "\"/>";
    writeFile(file("many.vqd"), "<QV><SCREEN width=\"64\" height=\"16\" name=\"\">" + programs +
                                    "</SCREEN><SCREEN name=\"none\"/><SCREEN name=\"off\"><Program "
                                    "checked=\"no\"/></SCREEN></QV>");
    start(false);
    ASSERT_TRUE(dlg->openProject(file("many.vqd")));
    ASSERT_EQ(view->roots().size(), 3u);
    EXPECT_EQ(view->itemLabel(view->roots()[0]), u"Screen_1");
    EXPECT_EQ(view->children(view->roots()[0]).size(), 10u);
    EXPECT_EQ(view->itemImage(view->roots()[0]), 1);
    EXPECT_EQ(view->itemImage(view->roots()[1]), 2);  // no programs
    EXPECT_EQ(view->itemImage(view->roots()[2]), 0);
    EXPECT_EQ(view->itemLabel(program(2, 0)), u"Program_1");  // an empty name is generated
    EXPECT_EQ(view->itemImage(program(0, 1)), 0);
    EXPECT_EQ(dlg->project().findScreen(1)->width, 64);
}

TEST_F(Controller, ATenthProgramIsTheLast) {
    start();
    for (int i = 0; i < 12; ++i)
        dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    EXPECT_EQ(view->children(firstScreen()).size(), 10u);
    EXPECT_TRUE(view->messages.empty());
    EXPECT_EQ(view->itemLabel(program(0, 9)), u"Program_10");
}

TEST_F(Controller, SelectionMovesPanelsAndCommits) {
    start();
    dlg->onCommand(IDM_FILE_NEW_LED);  // Screen_2, its program selected
    dlg->programEditor().setText(u"two");
    view->select(firstScreen());
    EXPECT_TRUE(view->panels[Panel::ScreenPanel]);
    EXPECT_FALSE(view->panels[Panel::ProgramEditor]);
    EXPECT_EQ(dlg->screenPanel().name(), u"Screen_1");
    EXPECT_EQ(dlg->screenPanel().programCountText(), u"  1");
    // From a program to its own screen: the count follows programs added since.
    view->select(program(1, 0));
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    view->select(view->roots()[1]);
    EXPECT_EQ(dlg->screenPanel().programCountText(), u"  2");
    view->select(firstScreen());
    EXPECT_EQ(dlg->project().findProgram(2 * 65536 + 2)->settings.at(u"TextContent"), u"two");
    EXPECT_EQ(view->timers[TIMER_PREVIEW_REFRESH], 100);
    EXPECT_EQ(view->highlighted, firstScreen());
    view->select(program(1, 0));
    EXPECT_TRUE(view->panels[Panel::ProgramEditor]);
    EXPECT_EQ(dlg->programEditor().text(), u"two");
    EXPECT_EQ(dlg->screenPanel().name(), u"Screen_2");
    view->select(0);
    EXPECT_FALSE(view->panels[Panel::ProgramEditor]);
    EXPECT_FALSE(view->panels[Panel::ScreenPanel]);
}

TEST_F(Controller, TheTreeRefusingItemsAddsNothing) {
    start();
    view->refuseInserts = true;
    dlg->onCommand(IDM_FILE_NEW_LED);
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    EXPECT_EQ(dlg->project().screens().size(), 1u);
    EXPECT_EQ(dlg->project().findScreen(1)->programs.size(), 1u);
    view->refuseInserts = false;
    dlg->onCommand(IDM_FILE_NEW_LED);
    EXPECT_EQ(view->itemData(view->roots()[1]), 2u);  // the refused one took no id
}

}  // namespace

namespace {

// --- settings, folders and languages -------------------------------------------------------

class StartupLanguages : public Controller {
protected:
    void SetUp() override {
        Controller::SetUp();
        fs::create_directories(m_root / "program" / "language");
        writeFile(m_root / "program/language/en.dll",
                  "<L n=\"English\"><s k=\"mFile\">&amp;File</s><s k=\"Send\">Send</s>"
                  "<s k=\"Screen\">Screen</s><s k=\"ScreenName\">Name:</s></L>");
        writeFile(m_root / "program/language/es.dll",
                  "<L n=\"Espa\xC3\xB1ol\"><s k=\"mFile\">&amp;Archivo</s><s k=\"Send\">Enviar</s>"
                  "<s k=\"Screen\">Pantalla</s><s k=\"ImageEdit\">Editor</s></L>");
    }
    void startWith(uint16_t languageId) {
        view.reset();
        dlg = std::make_unique<CGlimraDlg>(app, folders());
        view = std::make_unique<FakeView>(*dlg);
        dlg->setSystemLanguageId(languageId);
        dlg->onInitDialog();
    }
};

TEST_F(StartupLanguages, TheFirstStartTakesTheSystemLanguage) {
    startWith(0x0C0A);
    EXPECT_EQ(dlg->language().name(), u"Espa\u00F1ol");
    EXPECT_EQ(dlg->settings().languageName, u"Espa\u00F1ol");
    EXPECT_EQ(view->menuTexts[CGlimraDlg::MENU_FILE], u"&Archivo");
    EXPECT_EQ(view->menuTexts[ID_IMAGE_EDITOR], u"Editor(&P)");
    EXPECT_EQ(view->controlTexts[IDC_SEND], u"Enviar");
    EXPECT_EQ(view->itemLabel(firstScreen()), u"Pantalla_1");
    ASSERT_EQ(view->languageMenu.size(), 2u);
    EXPECT_EQ(view->languageMenu[0].id, 3072);
    EXPECT_EQ(view->languageMenu[0].label, u"English");
    EXPECT_EQ(view->languageMenu[1].label, u"Espa\u00F1ol");
    dlg->onClose();
    stop();

    // The stored name wins over the system's from now on.
    startWith(0x0409);
    EXPECT_EQ(dlg->language().name(), u"Espa\u00F1ol");
    stop();
    // A stored name that no file carries falls back to the system language.
    fs::remove(m_root / "program/language/es.dll");
    startWith(0x0409);
    EXPECT_EQ(dlg->language().name(), u"English");
    EXPECT_EQ(dlg->settings().languageName, u"English");
}

TEST_F(StartupLanguages, WithoutAnyFileEveryTextIsItsKey) {
    fs::remove_all(m_root / "program" / "language");
    startWith(0x0804);
    EXPECT_TRUE(view->languageMenu.empty());
    EXPECT_EQ(view->menuTexts[CGlimraDlg::MENU_FILE], u"mFile");
    EXPECT_EQ(dlg->settings().languageName, u"\u7B80\u4F53\u4E2D\u6587");
}

TEST_F(StartupLanguages, SwitchingRelabelsAtOnceAndIsStored) {
    startWith(0x0409);
    view->select(firstScreen());
    EXPECT_EQ(dlg->screenPanel().nameLabel(), u"Name:");
    // The Language menu marks the language in use, and the mark follows a switch.
    ASSERT_EQ(view->languageMenu.size(), 2u);
    EXPECT_TRUE(view->languageMenu[0].checked);
    EXPECT_FALSE(view->languageMenu[1].checked);
    dlg->onCommand(3073);
    ASSERT_EQ(view->languageMenu.size(), 2u);
    EXPECT_FALSE(view->languageMenu[0].checked);
    EXPECT_TRUE(view->languageMenu[1].checked);
    EXPECT_EQ(view->menuTexts[CGlimraDlg::MENU_FILE], u"&Archivo");
    EXPECT_EQ(view->controlTexts[IDC_SEND], u"Enviar");
    EXPECT_EQ(dlg->screenPanel().nameLabel(), u"ScreenName");  // the Spanish file lacks it
    EXPECT_EQ(dlg->settings().languageName, u"Espa\u00F1ol");
    dlg->onCommand(3090);  // no such language: nothing changes
    EXPECT_EQ(dlg->language().name(), u"Espa\u00F1ol");
    // Written at the next close by the frame, not before.
    EXPECT_FALSE(fs::exists(data("config.xml")));
    dlg->onClose();
    EXPECT_NE(read(data("config.xml")).find("<strLanguageName>Espa\xC3\xB1ol</strLanguageName>"),
              std::string::npos);
}

TEST_F(Controller, ANewUsersFirstStartMakesTheFoldersButNoSettingsFile) {
    EXPECT_FALSE(fs::exists(m_root / "data"));
    start();
    EXPECT_TRUE(fs::is_directory(data("DownLoads")));
    EXPECT_TRUE(fs::is_directory(data("EditBmps")));
    EXPECT_FALSE(fs::exists(data("config.xml")));
    dlg->onClose();
    EXPECT_EQ(read(data("config.xml")),
              "<!--?xml version=\"1.0\" "
              "encoding=\"UTF-8\"?-->\r\n<root>\r\n<configFlag>0</configFlag>\r\n"
              "<strLanguageName>English</strLanguageName>\r\n<nPlayMode>0</nPlayMode>\r\n"
              "<nTempOffset>0</nTempOffset>\r\n<nWidth>48</nWidth>\r\n<nHeight>12</nHeight>\r\n"
              "<autoUpdate>1</autoUpdate>\r\n</root>\r\n");
}

TEST_F(Controller, SystemSettingsDialog) {
    start();
    dlg->settings().tempOffset = -3;
    view->acceptSystemSettings = false;
    view->systemPlayModeChoice = 1;
    view->systemTempChoice = 14;
    dlg->onCommand(ID_SYSTEM_SETTINGS);
    EXPECT_EQ(view->systemTempLabels.front(), u"-7");
    EXPECT_EQ(view->systemTempLabels[7], u"0");
    EXPECT_EQ(view->systemTempLabels[8], u"+1");
    EXPECT_EQ(view->systemTempLabels.back(), u"+7");
    EXPECT_EQ(view->systemTempSelectionShown, 4);  // "-3"
    EXPECT_EQ(dlg->settings().playMode, 0);        // Cancel keeps both
    EXPECT_EQ(dlg->settings().tempOffset, -3);

    view->acceptSystemSettings = true;
    dlg->onCommand(ID_SYSTEM_SETTINGS);
    EXPECT_EQ(dlg->settings().playMode, 1);
    EXPECT_EQ(dlg->settings().tempOffset, 7);

    // An offset from the file outside -7 … +7 shows "-7", and OK stores -7.
    dlg->settings().tempOffset = 12;
    view->systemPlayModeChoice = view->systemTempChoice = -1;
    view->systemTempLabels.clear();
    dlg->onCommand(ID_SYSTEM_SETTINGS);
    EXPECT_EQ(view->systemTempSelectionShown, 0);
    EXPECT_EQ(dlg->settings().tempOffset, -7);
}

TEST_F(Controller, OpenTheDataFolder) {
    start();
    dlg->onCommand(ID_OPEN_DATA_FOLDER);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], m_root / "data");
    EXPECT_TRUE(view->messages.empty());
    // A desktop that cannot open it: the folder's path instead of nothing.
    shell.opens = false;
    dlg->onCommand(ID_OPEN_DATA_FOLDER);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{(m_root / "data").u16string()});
}

}  // namespace

namespace {

TEST_F(Controller, PictureLibraryFromTheDefaultToTheUsersFile) {
    writeFile(
        m_root / "program" / "DefaultImage.dat",
        "<root><imageFlag>0</imageFlag><imageItem name=\"imageItem\"><Item name=\"bZoom\">0</Item>"
        "<Item name=\"imgPath\">\\Images\\heart.png</Item><Item name=\"nDestHeight\">11</Item>"
        "<Item name=\"nDestWidth\">12</Item><Item name=\"nValueID\">0</Item></imageItem></root>");
    start();
    const std::u16string heart = (m_root / "program" / "Images/heart.png").u16string();
    ASSERT_EQ(dlg->pictures().records().size(), 1u);
    EXPECT_EQ(dlg->pictures().records()[0].imgPath, heart);
    EXPECT_EQ(dlg->programEditor().pictures(), dlg->pictures().records());
    EXPECT_EQ(dlg->encoding().snapshot()->inputs.pictures, dlg->pictures().records());

    // Cancel writes nothing.
    view->acceptPictures = false;
    dlg->onCommand(ID_PICTURE_SETTINGS);
    EXPECT_FALSE(fs::exists(data("imageconfig.xml")));

    // OK without a change still writes the file, with the absolute path.
    view->acceptPictures = true;
    dlg->onCommand(ID_PICTURE_SETTINGS);
    std::vector<PictureRecord> written;
    ASSERT_TRUE(PictureLibrary::read(data("imageconfig.xml"), written));
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].imgPath, heart);

    // An added picture reaches both editors and the next run.
    images.put(m_root / "new.png", platform::Bitmap(30, 24));
    view->pictureScript = [&](CImgInfoDlg& d) {
        struct Chooser : CImgInfoDlg::View {
            fs::path file;
            void refresh() override {}
            std::vector<fs::path> chooseFiles(std::u16string_view, std::u16string_view) override {
                return {file};
            }
            void messageBox(std::u16string_view) override {}
        } chooser;
        chooser.file = m_root / "new.png";
        d.setView(&chooser);
        d.add();
        d.setView(nullptr);
    };
    dlg->onCommand(ID_PICTURE_SETTINGS);
    ASSERT_EQ(dlg->programEditor().pictures().size(), 2u);
    EXPECT_EQ(dlg->programEditor().pictures()[1],
              (PictureRecord{50, 15, 12, (m_root / "new.png").u16string(), 1}));
    EXPECT_EQ(dlg->encoding().snapshot()->inputs.pictures.size(), 2u);
    dlg->onCommand(IDM_FILE_EXIT);
    stop();
    start();
    EXPECT_EQ(dlg->pictures().records().size(), 2u);
}

TEST_F(Controller, ClosingByTheFrameWritesThePictureLibrary) {
    start();
    dlg->onClose();
    std::vector<PictureRecord> written;
    EXPECT_TRUE(PictureLibrary::read(data("imageconfig.xml"), written));
    EXPECT_TRUE(written.empty());
}

// --- the sign -------------------------------------------------------------------------

TEST_F(Controller, TransfersReportToTheWindow) {
    SimulatedSign::Config config;
    config.width = 64;
    config.height = 16;
    config.firmware.busyAnswers = 1;
    signs.addSign(config);
    start();

    const uint8_t query[] = {0x30};
    EXPECT_EQ(dlg->transfer(query, signlink::KIND_GEOMETRY_QUERY, nullptr), 0);
    EXPECT_EQ(dlg->signWidth(), 64);
    EXPECT_EQ(dlg->signHeight(), 16);

    std::vector<uint8_t> image(52 * 5 + 1, 0x11);
    EXPECT_EQ(dlg->transfer(image, signlink::KIND_DEVICE_IMAGE, nullptr), 0);
    EXPECT_EQ(view->progressRange, (std::pair<int, int>{0, 5}));
    EXPECT_EQ(view->progressStep, 1);
    EXPECT_EQ(view->progressPositions.back(), 5);

    // The firmware request: status 8 with first value 0 starts the waiting
    // timers; asked again, 0 makes the sign ready.
    const uint8_t request[] = {0x00};
    EXPECT_EQ(dlg->transfer(request, signlink::KIND_FIRMWARE_REQUEST, nullptr), 0);
    EXPECT_EQ(view->timers[102], 100);
    EXPECT_EQ(view->timers[101], 4000);
    EXPECT_EQ(view->progressRange, (std::pair<int, int>{0, 100}));
    EXPECT_FALSE(dlg->firmwareReady());
    EXPECT_EQ(dlg->transfer(request, signlink::KIND_FIRMWARE_REQUEST, nullptr), 0);
    EXPECT_TRUE(dlg->firmwareReady());
    ASSERT_FALSE(view->posted.empty());
    EXPECT_EQ(view->posted.back().message, MSG_FIRMWARE_READY);
}

// Firmware workers run transfers off the user-interface thread: their progress
// reaches the window all the same, and none once the window has let go.
TEST_F(Controller, ProgressFromAWorkerThreadReachesTheWindowUntilItDetaches) {
    const int sign = signs.addSign({});
    start();
    std::vector<uint8_t> image(52 * 5 + 1, 0x11);
    int code = -1;
    std::thread([&] { code = dlg->transfer(image, signlink::KIND_DEVICE_IMAGE, nullptr); }).join();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(view->progressRange, (std::pair<int, int>{0, 5}));
    EXPECT_EQ(view->progressStep, 1);
    ASSERT_FALSE(view->progressPositions.empty());
    EXPECT_EQ(view->progressPositions.back(), 5);

    // The window goes while a long transfer runs on another thread.
    std::vector<uint8_t> longImage(52 * 500, 0x22);
    std::promise<void> firstReport, goOn;
    std::shared_future<void> goingOn = goOn.get_future().share();
    std::atomic<bool> detached{false};
    std::atomic<int> late{0};
    bool told = false;  // the worker's own
    view->onProgress = [&] {
        if (detached) ++late;
        if (!told) {
            // Held at its first report: the window goes with most of the block still to come.
            told = true;
            firstReport.set_value();
            goingOn.wait();
        }
    };
    std::thread worker(
        [&] { code = dlg->transfer(longImage, signlink::KIND_DEVICE_IMAGE, nullptr); });
    firstReport.get_future().wait();
    goOn.set_value();
    dlg->detach();
    detached = true;
    worker.join();
    EXPECT_EQ(code, 0);  // the transfer goes on without a window
    EXPECT_EQ(late, 0);
    EXPECT_EQ(signs.blocks(sign).back().bytes.size(), longImage.size());
}

TEST_F(Controller, AboutStoresTheAutomaticUpdateChoiceOnOk) {
    start();
    dlg->settings().autoUpdate = 1;
    view->aboutAutoUpdateChoice = false;
    dlg->onCommand(IDM_HELP_ABOUT);  // cancelled
    EXPECT_EQ(view->aboutTexts, (std::vector<std::u16string>{u"AboutTitle", u"AutoUpdate", u"1"}));
    EXPECT_EQ(dlg->settings().autoUpdate, 1);
    view->acceptAbout = true;
    dlg->onCommand(IDM_HELP_ABOUT);
    EXPECT_EQ(dlg->settings().autoUpdate, 0);
    view->aboutAutoUpdateChoice = true;
    dlg->onCommand(IDM_HELP_ABOUT);
    EXPECT_EQ(view->aboutTexts.back(), u"0");
    EXPECT_EQ(dlg->settings().autoUpdate, 1);
}

TEST_F(Controller, SendPutsTheCurrentScreenOnASignOfItsSize) {
    start();
    record(program(0, 0)).settings[u"TextContent"] = u"Hello";
    record(program(0, 0)).settings[u"Color1"] = u"255";

    // No sign: the first transfer says so and no image is built.
    text.calls.clear();
    dlg->onCommand(IDM_FILE_SEND);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"CannotFindDevice"});
    EXPECT_TRUE(text.calls.empty());
    EXPECT_EQ(view->focusRequests, 1);

    SimulatedSign::Config matching;  // 48 × 12, like the screen
    const int sign = signs.addSign(matching);
    view->messages.clear();
    dlg->onCommand(IDM_FILE_SEND);
    EXPECT_TRUE(view->messages.empty());
    auto blocks = signs.blocks(sign);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].kind, signlink::KIND_GEOMETRY_QUERY);
    EXPECT_EQ(blocks[0].bytes, std::vector<uint8_t>{0x30});
    EXPECT_EQ(blocks[1].kind, signlink::KIND_DEVICE_IMAGE);
    const std::string image = dlg->deviceImageOfCurrentScreen(true);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(std::string(blocks[1].bytes.begin(), blocks[1].bytes.end()), image);
    // Ours: a status line says it went, and the bar empties a while later.
    EXPECT_EQ(view->statusLines, std::vector<std::u16string>{u"SentStatus"});
    EXPECT_EQ(view->timers[TIMER_CLEAR_PROGRESS], 3000);
    dlg->onTimer(TIMER_CLEAR_PROGRESS);
    EXPECT_EQ(view->timers.count(TIMER_CLEAR_PROGRESS), 0u);
    ASSERT_FALSE(view->progressPositions.empty());
    EXPECT_EQ(view->progressPositions.back(), 0);

    // A sign of another size: "NoSend_msg" and nothing but the query goes out.
    SimulatedSign::Config small;
    small.width = 36;
    small.height = 11;
    signs.setConfig(sign, small);
    signs.clearHistory(sign);
    dlg->onCommand(IDM_FILE_SEND);
    ASSERT_EQ(view->messages.size(), 1u);
    EXPECT_EQ(view->messages[0].substr(0, 11), u"NoSend_msg\n");
    // The second line names both sizes (the test's language table gives the key).
    EXPECT_NE(view->messages[0].find(u"NoSendSizes"), std::u16string::npos);
    EXPECT_EQ(signs.blocks(sign).size(), 1u);

    // Every program unchecked: the query, then nothing visible.
    signs.setConfig(sign, matching);
    signs.clearHistory(sign);
    view->messages.clear();
    record(program(0, 0)).checked = 0;
    dlg->onCommand(IDM_FILE_SEND);
    EXPECT_TRUE(view->messages.empty());
    EXPECT_EQ(signs.blocks(sign).size(), 1u);

    // A sign that refuses every packet: code 3, shown by its key when the
    // language has no text for it.
    record(program(0, 0)).checked = 1;
    SimulatedSign::Config refusing;
    refusing.statusByKind[signlink::KIND_DEVICE_IMAGE] = 2;
    signs.setConfig(sign, refusing);
    dlg->onCommand(IDM_FILE_SEND);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"TimeOut"});
    // With no screen chosen there is no size to name: the line says to choose one.
    view->select(0);
    view->messages.clear();
    dlg->onCommand(IDM_FILE_SEND);
    ASSERT_EQ(view->messages.size(), 1u);
    EXPECT_EQ(view->messages[0], u"NoSend_msg\nNoScreenSelected");
}

TEST_F(Controller, BatchSendOffersEveryScreenAndSendsEachSignItsOwn) {
    start();
    dlg->addScreen(u"Shop", false);
    dlg->addProgram(view->roots().at(1), u"", false);
    for (int k : {0, 1}) {
        const auto id = static_cast<ScreenId>(view->itemData(view->roots().at(k)));
        auto& settings = dlg->project().findScreen(id)->programs.begin()->second.settings;
        settings[u"TextContent"] = k ? u"Open" : u"Sale";
        settings[u"Color1"] = u"255";
    }
    const std::u16string first = view->itemLabel(view->roots().at(0));
    signs.addSign({});
    signs.addSign({});
    signs.addSign({});
    view->onBatchDialog = [&](CClustersSend& batch) {
        EXPECT_EQ(batch.mode(), CClustersSend::MODE_SCREEN);
        EXPECT_EQ(batch.screenChoices(), (std::vector<std::u16string>{u"", first, u"Shop"}));
        ASSERT_EQ(batch.rows().size(), 3u);
        batch.onCellEdited(0, CClustersSend::COL_TARGET, first);
        batch.onCellEdited(1, CClustersSend::COL_TARGET, u"sHOP");
        batch.onSend();
        batch.joinWorkers();
        view->runTasks();
        EXPECT_EQ(batch.imagesBuilt(), 2);
        EXPECT_FALSE(batch.rows()[2][CClustersSend::COL_PROGRESS].empty());
    };
    dlg->onCommand(ID_BATCH_SEND);
    EXPECT_EQ(view->batchDialogs, 1);
    const auto bytesOf = [](const std::string& s) {
        return std::vector<uint8_t>(s.begin(), s.end());
    };
    ASSERT_EQ(signs.blocks(0).size(), 1u);
    EXPECT_EQ(signs.blocks(0)[0].bytes, bytesOf(dlg->deviceImageOfNamedScreen(first)));
    for (int k : {1, 2}) {
        ASSERT_EQ(signs.blocks(k).size(), 1u);
        EXPECT_EQ(signs.blocks(k)[0].kind, signlink::KIND_DEVICE_IMAGE);
        EXPECT_EQ(signs.blocks(k)[0].bytes, bytesOf(dlg->deviceImageOfNamedScreen(u"Shop")));
    }
    EXPECT_TRUE(view->messages.empty());  // everything went into the rows
}

TEST_F(Controller, AnAnimationSetGoesToOneOrEverySignUnlessItIsTooLong) {
    start();
    signs.addSign({});
    signs.addSign({});
    std::vector<uint8_t> set(AnimationSet::kMaxLength, 0x11);
    dlg->setAnimationSetSource([&] { return set; });
    dlg->onMessage(MSG_SEND_ANIMATIONS, 1, 1);
    dlg->onMessage(MSG_SEND_ANIMATIONS, 1, 0);
    EXPECT_EQ(view->batchDialogs, 0);
    EXPECT_EQ(view->messages,
              (std::vector<std::u16string>{u"DataTooLong_gif", u"DataTooLong_gif"}));
    EXPECT_TRUE(signs.reports(0).empty());

    // One byte less goes: to every sign through the batch dialog...
    set.pop_back();
    view->messages.clear();
    view->onBatchDialog = [&](CClustersSend& batch) {
        EXPECT_EQ(batch.columns()[CClustersSend::COL_ID].width, 510);
        batch.onSend();
        batch.joinWorkers();
    };
    dlg->onMessage(MSG_SEND_ANIMATIONS, 1, 1);
    EXPECT_EQ(view->batchDialogs, 1);
    for (int k : {0, 1}) {
        ASSERT_EQ(signs.blocks(k).size(), 1u);
        EXPECT_EQ(signs.blocks(k)[0].kind, signlink::KIND_ANIMATION_SET);
        EXPECT_EQ(signs.blocks(k)[0].bytes, set);
    }
    // ...or to the first sign alone, failures told only when asked for.
    dlg->onMessage(MSG_SEND_ANIMATIONS, 0, 0);
    ASSERT_EQ(signs.blocks(0).size(), 2u);
    EXPECT_EQ(signs.blocks(0)[1].kind, signlink::KIND_ANIMATION_SET);
    EXPECT_EQ(signs.blocks(1).size(), 1u);
    SimulatedSign::Config refusing;
    refusing.statusByKind[signlink::KIND_ANIMATION_SET] = 2;
    signs.setConfig(0, refusing);
    dlg->onMessage(MSG_SEND_ANIMATIONS, 0, 0);
    EXPECT_TRUE(view->messages.empty());
    dlg->onMessage(MSG_SEND_ANIMATIONS, 1, 0);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"TimeOut"});
}

// The library from the shipped default at the first start; the program editor
// offers its animations and gets them again when the library dialog saved it.
TEST_F(Controller, TheAnimationLibraryFeedsTheEditorAndTheSet) {
    writeFile(file("program/DefaultGif.dat"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>"
              "<Item Index=\"00\" Speed=\"200\">.\\Gif\\a.gif</Item></GifFiles>");
    platform::Bitmap lit(12, 12, 0xFFFF0000);
    images.putFrames(m_root / "program/Gif/a.gif", {{lit, 100}, {lit, 100}});
    start();
    const std::u16string a = (m_root / "program/Gif/a.gif").u16string();
    EXPECT_EQ(dlg->programEditor().animations(), std::vector<std::u16string>{a});
    EXPECT_TRUE(fs::exists(data("GifFiles.xml")));

    // 48 × 12: two frames of 24 bytes, all lit, so every byte inverted to 0.
    const std::vector<uint8_t> set = dlg->animationSet();
    ASSERT_EQ(set.size(), 8u + 4 + 5 + 48);
    EXPECT_EQ(std::vector<uint8_t>(set.begin(), set.begin() + 17),
              (std::vector<uint8_t>{1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 12, 0, 48, 2, 0, 0}));

    writeFile(data("GifFiles.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>"
              "<Item Index=\"00\" Speed=\"200\">/x/b.gif</Item>"
              "<Item Index=\"01\" Speed=\"200\">/x/c.gif</Item></GifFiles>");
    dlg->onMessage(MSG_RELOAD_ANIMATIONS, 0, 0);
    EXPECT_EQ(dlg->programEditor().animations(),
              (std::vector<std::u16string>{u"/x/b.gif", u"/x/c.gif"}));

    dlg->onCommand(IDM_TOOL_CUSTOM_IMAGES);
    EXPECT_EQ(view->animationDialogs, 1);
}

TEST_F(Controller, TheDeviceImageOfANamedScreen) {
    start();
    dlg->addScreen(u"Shop", false);
    const ScreenId shop = static_cast<ScreenId>(view->itemData(view->roots().at(1)));
    dlg->addProgram(view->roots().at(1), u"", false);
    dlg->project().findScreen(shop)->programs.begin()->second.settings[u"TextContent"] = u"Open";
    dlg->project().findScreen(shop)->programs.begin()->second.settings[u"Color1"] = u"255";
    text.calls.clear();
    EXPECT_FALSE(dlg->deviceImageOfNamedScreen(u"sHOP").empty());
    ASSERT_FALSE(text.calls.empty());
    EXPECT_EQ(text.calls.front().text.substr(0, 1), u"O");
    EXPECT_TRUE(dlg->deviceImageOfNamedScreen(u"Shop2").empty());
}

TEST_F(Controller, TestPatternsAndCommandBytes) {
    const int sign = signs.addSign({});
    start();
    view->onTestDialog = [](CDialogTest& d) {
        EXPECT_EQ(d.label(1007), u"FullLight");
        EXPECT_TRUE(d.onButton(1007));
        EXPECT_TRUE(d.onButton(1010));
        EXPECT_FALSE(d.onButton(1003));
    };
    dlg->onKeyDown(CGlimraDlg::Key::F12);
    EXPECT_EQ(view->testDialogs, 1);
    ASSERT_EQ(view->posted.size(), 2u);
    for (const auto& p : view->posted)
        dlg->onMessage(p.message, p.w, p.l);
    auto blocks = signs.blocks(sign);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].kind, signlink::KIND_TEST_PATTERN);
    EXPECT_EQ(blocks[0].bytes, std::vector<uint8_t>{2});
    EXPECT_EQ(blocks[0].packets, 1u);
    EXPECT_EQ(blocks[1].bytes, std::vector<uint8_t>{0});

    dlg->onMessage(MSG_SEND_COMMAND_BYTE, 0x1A7, 0);
    blocks = signs.blocks(sign);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[2].kind, signlink::KIND_COMMAND_BYTE);
    EXPECT_EQ(blocks[2].bytes, std::vector<uint8_t>{0xA7});
    EXPECT_TRUE(view->messages.empty());

    signs.unplug(sign);
    dlg->onMessage(MSG_TEST_PATTERN + 1, 0, 0);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"CannotFindDevice"});
}

TEST_F(Controller, TheGeometryQueryOfAnotherWindow) {
    SimulatedSign::Config config;
    config.width = 144;  // packet bytes 9 … 12 = 00 90 00 10
    config.height = 16;
    const int sign = signs.addSign(config);
    start();
    dlg->onMessage(MSG_QUERY_GEOMETRY, 0x5150, 0);
    ASSERT_EQ(view->postedTo.size(), 1u);
    EXPECT_EQ(view->postedTo[0].first, 0x5150u);
    EXPECT_EQ(view->postedTo[0].second.message, MSG_QUERY_GEOMETRY);
    EXPECT_EQ(view->postedTo[0].second.w, 144u);
    EXPECT_EQ(view->postedTo[0].second.l, 16);

    for (auto [w, h] : {std::pair{300, 16}, std::pair{48, 128}, std::pair{48, 0}}) {
        config.width = w;
        config.height = h;
        signs.setConfig(sign, config);
        dlg->onMessage(MSG_QUERY_GEOMETRY, 0x5150, 0);
    }
    signs.unplug(sign);
    dlg->onMessage(MSG_QUERY_GEOMETRY, 0x5150, 0);
    EXPECT_EQ(view->postedTo.size(), 1u);
    EXPECT_TRUE(view->messages.empty());  // no failure is shown
}

// Send's rules with a sign and an image of the test's own.
struct FakeLink : SignCommands::SignLink {
    int width = 48, height = 12;
    std::vector<std::pair<uint8_t, size_t>> sent;
    int answer = 0;
    int transfer(std::span<const uint8_t> block, uint8_t kind, std::vector<uint8_t>*) override {
        sent.push_back({kind, block.size()});
        return kind == signlink::KIND_DEVICE_IMAGE ? answer : 0;
    }
    int signWidth() const override { return width; }
    int signHeight() const override { return height; }
};

TEST(SendRules, TheSizeLimitAndTheResultTexts) {
    ScreenRecord screen;
    screen.width = 48;
    screen.height = 12;
    using Step = SignCommands::SendOutcome::Step;
    FakeLink link;
    auto out = SignCommands::sendScreen(link, &screen, [] {
        return DeviceImage::Built{std::string(30720, 'x'), {}};
    });
    EXPECT_EQ(out.step, Step::Sent);
    EXPECT_EQ(link.sent.back(), (std::pair<uint8_t, size_t>{signlink::KIND_DEVICE_IMAGE, 30720}));
    link.sent.clear();
    out = SignCommands::sendScreen(link, &screen, [] {
        return DeviceImage::Built{std::string(30721, 'x'), {}};
    });
    EXPECT_EQ(out.step, Step::TooLong);
    EXPECT_EQ(out.code, 4);
    EXPECT_EQ(link.sent.size(), 1u);  // the query only
    EXPECT_EQ(SignCommands::sendScreen(link, nullptr, [] { return DeviceImage::Built{}; }).step,
              Step::SizeMismatch);

    LanguageTable none;  // no language loaded: every key shows itself
    EXPECT_EQ(SignCommands::resultText(0, none), u"OK");
    EXPECT_EQ(SignCommands::resultText(2, none), u"CannotOpenDevice");
    EXPECT_EQ(SignCommands::resultText(3, none), u"TimeOut");
    EXPECT_EQ(SignCommands::resultText(4, none), u"DataTooLong_p");
    EXPECT_EQ(SignCommands::resultText(5, none), u"DataTooLong_gif");
    EXPECT_EQ(SignCommands::resultText(6, none), u"Unknow Error.");
    EXPECT_EQ(SignCommands::resultText(-1, none), u"Unknow Error.");
}

// --- screen sizes ------------------------------------------------------------------------

TEST_F(Controller, NewScreenRemembersTheSizeChosenAndScreenSettingsResizes) {
    for (const char* name : {"a.gif", "b.gif", "c.gif"})
        writeFile(m_root / "program" / "img" / name, "GIF89a");
    writeFile(m_root / "program" / "ScreenDefault.dat",
              "<r><A width=\"44\" height=\"11\" FileType=\"MultiFrame\">.\\img\\a.gif</A>"
              "<B width=\"48\" height=\"12\" FileType=\"MultiFrame\">.\\img\\b.gif</B>"
              "<C width=\"64\" height=\"16\" FileType=\"MultiFrame\">.\\img\\c.gif</C></r>");
    start();  // no SelectID: the first screen's dialog starts on button 1
    ASSERT_EQ(view->screenSizeInitial, std::vector<int>{1});
    EXPECT_EQ(view->screenSizeInitialButton, std::vector<int>{1});
    EXPECT_EQ(view->selectId, 1);
    EXPECT_EQ(dlg->project().findScreen(1)->width, 48);

    view->chosenScreenButton = 0;
    dlg->onCommand(IDM_FILE_NEW_LED);
    EXPECT_EQ(view->selectId, 0);
    EXPECT_EQ(dlg->project().findScreen(2)->width, 44);
    EXPECT_EQ(dlg->project().findScreen(2)->height, 11);
    view->chosenScreenButton = -1;
    dlg->onCommand(IDM_FILE_NEW_LED);
    EXPECT_EQ(view->screenSizeInitial.back(), 0);

    // Cancel adds nothing and keeps the remembered choice.
    view->acceptScreenSize = false;
    const size_t screens = view->roots().size();
    dlg->onCommand(IDM_FILE_NEW_LED);
    EXPECT_EQ(view->roots().size(), screens);
    EXPECT_EQ(view->selectId, 0);
    view->acceptScreenSize = true;

    // Screen settings: starts on 0 for a 44-wide screen, 1 otherwise; the registry is not used.
    view->selectItem(view->roots().at(1));  // 44 × 11
    dlg->onCommand(ID_SCREEN_SETTINGS);
    EXPECT_EQ(view->screenSizeInitial.back(), 0);
    view->selectItem(program(0, 0));  // a program of the 48 × 12 screen
    const auto programsBefore = dlg->project().findScreen(1)->programs;
    view->chosenScreenButton = 2;
    dlg->onCommand(ID_SCREEN_SETTINGS);
    EXPECT_EQ(view->screenSizeInitial.back(), 1);
    EXPECT_EQ(view->selectId, 0);
    EXPECT_EQ(dlg->project().findScreen(1)->width, 64);
    EXPECT_EQ(dlg->project().findScreen(1)->height, 16);
    EXPECT_EQ(dlg->project().findScreen(1)->programs.size(), programsBefore.size());
    EXPECT_EQ(dlg->screenPanel().width(), 64);
}

// --- files the user cannot lose ------------------------------------------------------------

TEST_F(Controller, AFailedOpenKeepsTheCurrentFileAndSaysWhy) {
    start();
    view->savePath = file("mine.vqd");
    dlg->onCommand(IDM_FILE_SAVE);
    ASSERT_EQ(dlg->project().currentPath(), file("mine.vqd"));
    const std::string mine = read(file("mine.vqd"));
    writeFile(file("damaged.vqd"), "<QV><SCREEN width=\"48\" height=\"12\" name=\"x\">");
    struct Case {
        fs::path path;
        std::string reason;
    };
    const Case cases[] = {
        {file("missing.vqd"), "missing.vqd: No such file or directory"},
        {file("damaged.vqd"), "damaged.vqd: not a well-formed project file"},
        {m_root.path(), "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        view->messages.clear();
        view->openPath = c.path;
        dlg->onCommand(IDM_FILE_OPEN);
        ASSERT_EQ(view->messages.size(), 1u);
        const std::string message = platform::utf16ToUtf8(view->messages[0]);
        EXPECT_EQ(message.rfind("OpenFailed\n", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_EQ(dlg->project().currentPath(), file("mine.vqd"));
        EXPECT_EQ(view->roots().size(), 1u);  // nothing was added
    }
    // Save goes on writing the file the user had, never the one that failed to open.
    dlg->onCommand(IDM_FILE_SAVE);
    EXPECT_EQ(read(file("damaged.vqd")), "<QV><SCREEN width=\"48\" height=\"12\" name=\"x\">");
    EXPECT_FALSE(fs::exists(file("missing.vqd")));
    EXPECT_EQ(read(file("mine.vqd")), mine);
    // A recent entry that no longer opens says so too, and stays where it was.
    dlg->project().recentFiles().moveToFront(file("missing.vqd").u16string());
    view->messages.clear();
    dlg->onCommand(ID_RECENT_FIRST);
    ASSERT_EQ(view->messages.size(), 1u);
    EXPECT_EQ(dlg->project().currentPath(), file("mine.vqd"));
}

TEST_F(Controller, AFailedSaveSaysWhyAndChangesNothing) {
    start();
    writeFile(file("plain"), "a file, not a folder");
    view->savePath = file("plain") / "show.vqd";
    dlg->onCommand(IDM_FILE_SAVE);  // no file yet: Save asks for one
    ASSERT_EQ(view->messages.size(), 1u);
    const std::string message = platform::utf16ToUtf8(view->messages[0]);
    EXPECT_EQ(message.rfind("SaveFailed\n", 0), 0u) << message;
    EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
    EXPECT_TRUE(dlg->project().currentPath().empty());
    EXPECT_TRUE(dlg->project().recentFiles().paths().empty());
}

TEST_F(Controller, DamagedUserFilesAreKeptBeforeTheyAreReplaced) {
    fs::create_directories(m_root / "data");
    const std::string settings = "<root><configFlag/><nPlayMode>1</nPlayMode>";
    const std::string autosave =
        "<QV><SCREEN width=\"48\" height=\"12\" name=\"Lost\"><Program name=\"p\">";
    const std::string pictures =
        "<root><imageFlag>0</imageFlag><imageItem><Item name=\"nValueID\">50</Item>"
        "<Item name=\"imgPath\">/a.png</Item></imageItem>";
    writeFile(data("config.xml"), settings);
    writeFile(data("lastScreen.xml"), autosave);
    writeFile(data("imageconfig.xml"), pictures);
    start();
    ASSERT_EQ(dlg->pictures().records().size(), 1u);       // the whole item was taken
    EXPECT_FALSE(fs::exists(data("config.xml.damaged")));  // nothing is written before it must be
    dlg->onClose();
    EXPECT_TRUE(view->messages.empty());
    EXPECT_EQ(read(data("config.xml.damaged")), settings);
    EXPECT_EQ(read(data("lastScreen.xml.damaged")), autosave);
    EXPECT_EQ(read(data("imageconfig.xml.damaged")), pictures);
    EXPECT_EQ(saved(data("lastScreen.xml")).size(), 1u);  // the new autosave is sound
    std::vector<PictureRecord> records;
    bool whole = false;
    EXPECT_TRUE(PictureLibrary::read(data("imageconfig.xml"), records, &whole));
    EXPECT_TRUE(whole);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].nValueID, 50);
    stop();

    // The next run reads sound files: the copies stay as they were kept.
    writeFile(data("config.xml.damaged"), "kept");
    start();
    dlg->onClose();
    EXPECT_EQ(read(data("config.xml.damaged")), "kept");
}

TEST_F(Controller, ADamagedAutosaveIsKeptEvenWhenNothingReplacesIt) {
    fs::create_directories(m_root / "data");
    const std::string autosave = "<QV><SCREEN";
    writeFile(data("lastScreen.xml"), autosave);
    start();
    dlg->onCommand(IDM_EDIT_DELETE_LED);  // no program left: the autosave is removed on close
    dlg->onClose();
    EXPECT_FALSE(fs::exists(data("lastScreen.xml")));
    EXPECT_EQ(read(data("lastScreen.xml.damaged")), autosave);
}

TEST_F(Controller, FailedWritesOnClosingAreShownWithTheirReasons) {
    start();
    // The data folder's files cannot be written when a folder stands in their place.
    fs::create_directories(data("config.xml") / "x");
    fs::create_directories(data("imageconfig.xml") / "x");
    dlg->onClose();
    ASSERT_EQ(view->messages.size(), 1u);
    const std::string message = platform::utf16ToUtf8(view->messages[0]);
    EXPECT_NE(message.find("config.xml"), std::string::npos) << message;
    EXPECT_NE(message.find("imageconfig.xml"), std::string::npos) << message;
    EXPECT_TRUE(view->closed);  // the window closes all the same
}

TEST_F(Controller, TheWindowIconIsOurOwn) {
    start();
    EXPECT_EQ(view->windowIcon, m_root / "program/Images/Res/zentari.png");
    EXPECT_TRUE(fs::is_regular_file(fs::path(ZENTARI_SOURCE_DIR) / "data/Images/Res/zentari.png"));
}

TEST(AppFoldersPlace, TheRecentListLivesInAFolderOfTheUsersOwn) {
    testing_support::TempDir dir;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string old = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    const AppFolders folders = AppFolders::fromEnvironment();
    const fs::path temp = folders.tempFolder();
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", old.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(temp, dir / "Zentari");
    struct stat st {};
    ASSERT_EQ(::stat(temp.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(RecentFiles::listFile(temp), dir / "Zentari" / "GLIMRA_TEMP.TMP");
}

TEST_F(Controller, ALineTooLongForTheSignIsRefusedAndNothingIsSent) {
    start();
    const int sign = signs.addSign({});  // 48 × 12, like the screen
    // A short program beside the long one must not go out without it.
    dlg->onCommand(IDM_FILE_NEW_PROGRAM);
    record(program(0, 0)).settings = {{u"TextContent", std::u16string(6000, u'I')},
                                      {u"Font", u"Arial"}};
    record(program(0, 1)).settings = {{u"TextContent", u"ok"}, {u"Font", u"Arial"}};
    view->select(firstScreen());  // nothing open in the editor to commit over the records
    dlg->onCommand(IDC_SEND);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"DataTooLong_p"});
    const auto blocks = signs.blocks(sign);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].kind, signlink::KIND_GEOMETRY_QUERY);
}

}  // namespace

// Labels written the Windows way, "(&X)" after the text, as a desktop shows them.
TEST(InlineMnemonic, MovesTheMarkOntoTheLabel) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"Pixel editor(&P)", u"&Pixel editor"},
        {u"Open picture(&P)", u"Open &picture"},             // a word's first letter first
        {u"Grafik bearbeiten (&G)", u"&Grafik bearbeiten"},  // the space before it goes too
        {u"Export(&P)", u"Ex&port"},                         // else the letter anywhere
        {u"&Editor(&P)", u"&Editor"},                        // a mark of its own wins
        {u"A && B(&B)", u"A && &B"},                         // "&&" is a plain '&'
        {u"编辑(&E)", u"编辑(&E)"},                          // no such letter: kept
        {u"&File", u"&File"},
        {u"(&)", u"(&)"},
        {u"", u""},
    };
    for (const auto& [label, shown] : cases) {
        SCOPED_TRACE(platform::utf16ToUtf8(label));
        EXPECT_EQ(inlineMnemonic(label), shown);
    }
}
