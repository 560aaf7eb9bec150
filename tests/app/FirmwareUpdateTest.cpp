// The firmware update of the first sign: the request on a worker, the
// re-requests of timer 101, the bar of timer 102, the file once ready.
#include "FakeView.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/TestFiles.h"

#include "app/CGlimraApp.h"
#include "app/Commands.h"
#include "device/sim/SimulatedSign.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class Firmware : public ::testing::Test {
protected:
    void start(SimulatedSign::Config sign) {
        fs::create_directories(root / "program");
        signs.addSign(sign);
        dlg = std::make_unique<CGlimraDlg>(
            app, AppFolders(root / "data", root / "program", root / "tmp"));
        view = std::make_unique<FakeView>(*dlg);
        view->acceptScreenSize = true;
        dlg->onInitDialog();
        view->openPath = testing_support::writeFile(root / "NT03.bin", std::string(53, '\x7E'));
    }
    void TearDown() override {
        view.reset();
        dlg.reset();
    }
    std::vector<uint8_t> kinds() const {
        std::vector<uint8_t> out;
        for (const auto& block : signs.blocks(0))
            out.push_back(block.kind);
        return out;
    }
    bool timer(int id) const { return view->timers.count(id) != 0; }

    testing_support::TempDir root;
    struct ScriptShell : platform::Shell {
        bool open(const fs::path&) override { return true; }
        bool startScript(const fs::path& script, const std::vector<std::string>& environment,
                         std::string* error) override {
            started.push_back(script);
            given = environment;
            if (!refuse) return true;
            *error = "cannot run it";
            return false;
        }
        std::vector<fs::path> started;
        std::vector<std::string> given;
        bool refuse = false;
    } shell;
    FakeImageCodec images;
    struct Fonts : platform::FontCatalog {
        std::vector<std::u16string> families() const override { return {u"Arial"}; }
    } fonts;
    FakeTextRenderer text;
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    CGlimraApp app{{shell, images, fonts, text, signs, clock}};
    std::unique_ptr<CGlimraDlg> dlg;
    std::unique_ptr<FakeView> view;
};

TEST_F(Firmware, ASignNotReadyThreeTimesGetsTheFileWhenItIs) {
    SimulatedSign::Config later;
    later.firmware.busyAnswers = 3;
    start(later);
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    EXPECT_EQ(view->timers[signlink::TIMER_FIRMWARE_PROGRESS], 4000);
    EXPECT_EQ(view->timers[signlink::TIMER_FIRMWARE_POLL], 100);
    EXPECT_EQ(view->progressRange, std::make_pair(0, 100));
    dlg->onTimer(signlink::TIMER_FIRMWARE_POLL);
    dlg->onTimer(signlink::TIMER_FIRMWARE_POLL);
    EXPECT_EQ(view->progressSteps, 2);

    // Asked again every 4 s: not yet, not yet, then ready.
    for (int tick = 0; tick < 3; ++tick)
        dlg->onTimer(signlink::TIMER_FIRMWARE_PROGRESS);
    EXPECT_TRUE(dlg->firmwareReady());
    ASSERT_EQ(view->posted.size(), 1u);
    EXPECT_EQ(view->posted[0].message, MSG_FIRMWARE_READY);
    dlg->onTimer(signlink::TIMER_FIRMWARE_POLL);
    EXPECT_FALSE(timer(signlink::TIMER_FIRMWARE_POLL));
    EXPECT_EQ(view->progressPositions.back(), 0);

    dlg->onMessage(MSG_FIRMWARE_READY, 0, 0);
    dlg->joinSignWorker();
    EXPECT_EQ(kinds(), (std::vector<uint8_t>{5, 5, 5, 5, 6}));
    EXPECT_EQ(signs.blocks(0).back().bytes, std::vector<uint8_t>(53, 0x7E));
    EXPECT_EQ(signs.blocks(0).back().packets, 2u);
    EXPECT_TRUE(view->messages.empty());
}

TEST_F(Firmware, ReRequestsToASilentSignStopAtFiveForTheWholeRun) {
    SimulatedSign::Config onceThenSilent;
    onceThenSilent.firmware.busyAnswers = 100;
    onceThenSilent.script = [](const SimulatedSign::PacketInfo& p) {
        SimulatedSign::Answer a;
        a.dropReply = p.kind == signlink::KIND_FIRMWARE_REQUEST && p.packetsSoFar > 0;
        return a;
    };
    start(onceThenSilent);
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    ASSERT_TRUE(timer(signlink::TIMER_FIRMWARE_PROGRESS));
    int ticks = 0;
    while (timer(signlink::TIMER_FIRMWARE_PROGRESS) && ticks < 20) {
        dlg->onTimer(signlink::TIMER_FIRMWARE_PROGRESS);
        ++ticks;
    }
    // Ticks 1 to 5 ask; the sixth stops the timer and asks a last time.
    EXPECT_EQ(ticks, 6);
    EXPECT_EQ(signs.reports(0).size(), 7u);

    // A later update in the same run: the first tick stops at once, asking once.
    signs.clearHistory(0);
    SimulatedSign::Config busyAgain = onceThenSilent;
    busyAgain.script = [answered = false](const SimulatedSign::PacketInfo&) mutable {
        SimulatedSign::Answer a;
        a.dropReply = std::exchange(answered, true);
        return a;
    };
    signs.setConfig(0, busyAgain);
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    ASSERT_TRUE(timer(signlink::TIMER_FIRMWARE_PROGRESS));
    dlg->onTimer(signlink::TIMER_FIRMWARE_PROGRESS);
    EXPECT_FALSE(timer(signlink::TIMER_FIRMWARE_PROGRESS));
    EXPECT_EQ(signs.reports(0).size(), 2u);
    EXPECT_EQ(dlg->firmwareReRequests(), 7);
}

TEST_F(Firmware, TheFlashToolAnswerStartsItsTimerAndSendsNoData) {
    SimulatedSign::Config flashTool;
    flashTool.firmware.busyAnswers = 100;
    flashTool.firmware.viaFlashTool = true;
    start(flashTool);
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    EXPECT_EQ(view->timers[signlink::TIMER_FLASH_TOOL], 4000);
    EXPECT_FALSE(timer(signlink::TIMER_FIRMWARE_PROGRESS));
    // The program has no chip folder: nothing more happens, nothing is shown.
    dlg->onTimer(signlink::TIMER_FLASH_TOOL);
    EXPECT_FALSE(timer(signlink::TIMER_FLASH_TOOL));
    EXPECT_EQ(kinds(), std::vector<uint8_t>{5});
    EXPECT_TRUE(shell.started.empty());
    EXPECT_TRUE(view->messages.empty());

    // With one, the firmware goes in as sdram.app and the script is started there.
    testing_support::writeFile(root / "program" / "QK510" / "r_makebin.sh", "exit 0\n");
    dlg->onTimer(signlink::TIMER_FLASH_TOOL);
    const fs::path chip = root / "data" / "QK510";
    ASSERT_EQ(shell.started, std::vector<fs::path>{chip / "r_makebin.sh"});
    EXPECT_EQ(testing_support::readFile(chip / "sdram.app"), std::string(53, '\x7E'));
    EXPECT_EQ(testing_support::readFile(chip / "r_makebin.sh"), "exit 0\n");
    EXPECT_TRUE(view->messages.empty());
    // The progress bar keeps the range the request set.
    EXPECT_EQ(view->progressRange, std::make_pair(0, 100));

    // A start that fails is shown, naming why.
    shell.refuse = true;
    dlg->onTimer(signlink::TIMER_FLASH_TOOL);
    ASSERT_EQ(view->messages.size(), 1u);
    EXPECT_NE(view->messages[0].find(u"cannot run it"), std::u16string::npos);
}

TEST_F(Firmware, OnlyNT03BinGoesToTheFlashTool) {
    SimulatedSign::Config flashTool;
    flashTool.firmware.viaFlashTool = true;
    start(flashTool);
    testing_support::writeFile(root / "program" / "QK510" / "r_makebin.sh", "exit 0\n");
    view->openPath = testing_support::writeFile(root / "x" / "NT03.bin.bak", "fw");
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    dlg->onTimer(signlink::TIMER_FLASH_TOOL);
    EXPECT_EQ(view->messages, std::vector<std::u16string>{dlg->language().text(u"InvalidFile")});
    EXPECT_TRUE(shell.started.empty());
    EXPECT_FALSE(fs::exists(root / "data" / "QK510"));
}

TEST_F(Firmware, NoSignAndACancelledChoice) {
    start({});
    signs.unplug(0);
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    view->runTasks();
    EXPECT_EQ(view->messages, std::vector<std::u16string>{u"CannotFindDevice"});
    view->openPath.reset();
    dlg->onCommand(ID_UPDATE_FIRMWARE);
    dlg->joinSignWorker();
    EXPECT_EQ(view->messages.size(), 1u);
}

}  // namespace
