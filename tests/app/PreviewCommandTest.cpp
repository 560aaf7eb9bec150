#include "FakeView.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"

#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/Commands.h"
#include "device/sim/SimulatedSign.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Panel = CGlimraDlg::Panel;
using TreeItem = CGlimraDlg::TreeItem;

// The program editor's window as far as the preview goes: its timers.
struct EditorWindow : CDlgProgram::View {
    void refresh() override {}
    void typeText(std::u16string_view) override {}
    void startTimer(int id, int milliseconds) override { timers[id] = milliseconds; }
    void stopTimer(int id) override { timers.erase(id); }
    std::map<int, int> timers;
};

// One screen of 48 × 12 with three programs, "Sale", "Open" and "Closed", the
// first of them selected after start-up.
class PreviewCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root / "program");
        fs::create_directories(m_root / "tmp");
        dlg = std::make_unique<CGlimraDlg>(
            app, AppFolders(m_root / "data", m_root / "program", m_root / "tmp"));
        view = std::make_unique<FakeView>(*dlg);
        dlg->setAnimationSetSource([this] { return animationSet; });
        dlg->onInitDialog();
        screen = view->roots().at(0);
        dlg->addProgram(screen, u"", false);
        dlg->addProgram(screen, u"", false);
        // The first is in the editor, which a commit writes back.
        dlg->programEditor().setText(u"Sale");
        const char16_t* texts[] = {u"Open", u"Closed"};
        for (size_t k = 1; k < 3; ++k) {
            ProgramRecord& record = *dlg->project().findProgram(view->itemData(program(k)));
            record.settings[u"TextContent"] = texts[k - 1];
            record.settings[u"Color1"] = u"255";
        }
        dlg->programEditor().setView(&editor);
        view->restarts.clear();
        view->timers.clear();
    }
    void TearDown() override {
        dlg->programEditor().setView(nullptr);
        view.reset();
        dlg.reset();
    }

    TreeItem program(size_t index) const { return view->children(screen).at(index); }
    std::u16string name(size_t index) const { return view->itemLabel(program(index)); }
    const ProgramRecord& record(size_t index) const {
        return *dlg->project().findProgram(view->itemData(program(index)));
    }
    bool drew(std::u16string_view t) const {
        return std::any_of(text.calls.begin(), text.calls.end(),
                           [&](const FakeTextRenderer::Call& c) { return c.text == t; });
    }

    // The header fields of the device image.
    static int programCount(const std::vector<uint8_t>& image) { return image.at(49); }

    struct NoShell : platform::Shell {
        bool open(const fs::path&) override { return true; }
    } shell;
    FakeImageCodec images;
    struct Fonts : platform::FontCatalog {
        std::vector<std::u16string> families() const override { return {u"Arial"}; }
    } fonts;
    testing_support::TempDir m_root;
    FakeTextRenderer text;
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    CGlimraApp app{{shell, images, fonts, text, signs, clock}};
    std::unique_ptr<CGlimraDlg> dlg;
    std::unique_ptr<FakeView> view;
    EditorWindow editor;
    TreeItem screen = 0;
    std::vector<uint8_t> animationSet{0x00, 0x02, 0x0C};
};

class PreviewCommandIds : public PreviewCommand, public ::testing::WithParamInterface<int> {};

// The menu command and the button alike: the editor is committed first, and
// only its program plays, at 16 degrees corrected by the settings.
TEST_P(PreviewCommandIds, PlaysTheEditorsProgramCommittedWithTheCorrectedTemperature) {
    view->select(program(1));
    dlg->settings().tempOffset = -3;
    dlg->programEditor().setText(u"Edited");
    view->panels[Panel::Preview] = false;
    text.calls.clear();

    dlg->onCommand(GetParam());

    EXPECT_TRUE(view->panels[Panel::Preview]);
    EXPECT_EQ(record(1).settings.at(u"TextContent"), u"Edited");
    ASSERT_EQ(view->restarts.size(), 1u);
    const FakeView::Restart& r = view->restarts[0];
    EXPECT_EQ(r.temperature, 13);
    EXPECT_EQ(r.names, std::vector<std::u16string>{name(1)});
    EXPECT_EQ(r.animationSet, animationSet);
    ASSERT_GE(r.image.size(), 100u);
    EXPECT_EQ(r.image[0], 1);      // 48 columns
    EXPECT_EQ(r.image[1], 1);      // 12 rows
    EXPECT_EQ(r.image[44], 0xFD);  // −3
    EXPECT_EQ(programCount(r.image), 1);
    EXPECT_TRUE(drew(u"Edited"));
    EXPECT_FALSE(drew(u"Sale"));
    EXPECT_FALSE(drew(u"Closed"));
}

INSTANTIATE_TEST_SUITE_P(MenuAndButton, PreviewCommandIds,
                         ::testing::Values(IDM_TOOL_PREVIEW, IDC_PREVIEW));

// With the screen selected every checked program plays, in key order; the
// refresh timer that the selection started does it.
TEST_F(PreviewCommand, TheSelectedScreenPlaysEveryCheckedProgramWhenTheTimerRuns) {
    view->click(program(1), true);  // "Open" unchecked
    ASSERT_EQ(record(1).checked, 0);
    view->select(screen);
    EXPECT_EQ(view->timers[TIMER_PREVIEW_REFRESH], 100);
    EXPECT_TRUE(view->restarts.empty());

    text.calls.clear();
    dlg->onTimer(TIMER_PREVIEW_REFRESH);
    EXPECT_EQ(view->timers.count(TIMER_PREVIEW_REFRESH), 0u);
    EXPECT_TRUE(view->panels[Panel::Preview]);
    ASSERT_EQ(view->restarts.size(), 1u);
    const FakeView::Restart& r = view->restarts[0];
    EXPECT_EQ(r.names, (std::vector<std::u16string>{name(0), name(2)}));
    EXPECT_EQ(r.temperature, 16);
    ASSERT_GE(r.image.size(), 100u);
    EXPECT_EQ(programCount(r.image), 2);
    EXPECT_TRUE(drew(u"Sale"));
    EXPECT_TRUE(drew(u"Closed"));
    EXPECT_FALSE(drew(u"Open"));
}

// Nothing checked: the sign gets no image and shows its unlit 48 × 12.
TEST_F(PreviewCommand, AScreenWithoutCheckedProgramsPlaysNothing) {
    view->click(screen, true);  // every program unchecked
    view->select(screen);
    dlg->onTimer(TIMER_PREVIEW_REFRESH);
    ASSERT_EQ(view->restarts.size(), 1u);
    EXPECT_TRUE(view->restarts[0].image.empty());
    EXPECT_TRUE(view->restarts[0].names.empty());
}

// A check click on the selected program refreshes sooner, and the refresh plays
// the program whether or not it is checked.
TEST_F(PreviewCommand, ACheckClickOnTheSelectedProgramRefreshesIt) {
    view->click(program(0), true);
    EXPECT_EQ(view->timers[TIMER_PREVIEW_REFRESH], 10);
    dlg->onTimer(TIMER_PREVIEW_REFRESH);
    ASSERT_EQ(view->restarts.size(), 1u);
    EXPECT_EQ(view->restarts[0].names, std::vector<std::u16string>{name(0)});
}

// Every change in the editor ends in a refresh through the editor's timers:
// typing after half a second, the other controls sooner. What plays is then
// in the record, so Send sends what the preview shows.
TEST_F(PreviewCommand, EditorChangesRefreshThroughTheEditorsTimers) {
    dlg->programEditor().setText(u"Typed");
    EXPECT_EQ(editor.timers[CDlgProgram::kTypingTimer], 500);
    EXPECT_TRUE(view->restarts.empty());
    text.calls.clear();
    dlg->programEditor().onTimer(CDlgProgram::kTypingTimer);
    ASSERT_EQ(view->restarts.size(), 1u);
    EXPECT_EQ(record(0).settings.at(u"TextContent"), u"Typed");
    EXPECT_TRUE(drew(u"Typed"));
    EXPECT_EQ(view->restarts[0].names, std::vector<std::u16string>{name(0)});

    struct Change {
        const char* what;
        std::function<void(CDlgProgram&)> make;
        int milliseconds;
    };
    const std::vector<Change> changes = {
        {"effect", [](CDlgProgram& e) { e.selectEffect(2); }, 10},
        {"flicker", [](CDlgProgram& e) { e.setFlicker(true); }, 100},
        {"offset", [](CDlgProgram& e) { e.setOffsetX(3); }, 400},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        view->restarts.clear();
        change.make(dlg->programEditor());
        EXPECT_EQ(editor.timers[CDlgProgram::kRefreshTimer], change.milliseconds);
        dlg->programEditor().onTimer(CDlgProgram::kRefreshTimer);
        EXPECT_EQ(view->restarts.size(), 1u);
    }
    EXPECT_EQ(record(0).settings.at(u"Effect"), u"2");
    EXPECT_EQ(record(0).settings.at(u"Flicker"), u"1");
    EXPECT_EQ(record(0).OffsetX, 3);
}

// Loading another program cancels a refresh the last one's edit had asked for.
TEST_F(PreviewCommand, SelectingAnotherProgramCancelsTheEditorsRefresh) {
    dlg->programEditor().setText(u"Typed");
    view->select(program(2));
    EXPECT_EQ(editor.timers.count(CDlgProgram::kTypingTimer), 0u);
    dlg->onTimer(TIMER_PREVIEW_REFRESH);
    ASSERT_EQ(view->restarts.size(), 1u);
    EXPECT_EQ(view->restarts[0].names, std::vector<std::u16string>{name(2)});
    EXPECT_EQ(record(0).settings.at(u"TextContent"), u"Typed");
}

}  // namespace
