#include "batch/CClustersSend.h"
#include "batch/MessageQueue.h"
#include "batch/SignTransfer.h"
#include "device/LinkProtocol.h"
#include "device/sim/SimulatedSign.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override {
        return u"<" + std::u16string(key) + u">";
    }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

struct FakeView : CClustersSend::View {
    int refreshes = 0;
    std::function<void()> onRefresh;
    int closed = 0;
    std::vector<std::u16string> filters;
    std::optional<std::u16string> nextFile;
    void refresh() override {
        ++refreshes;
        if (onRefresh) onRefresh();
    }
    std::optional<std::u16string> openFile(const std::u16string& filter,
                                           const std::u16string&) override {
        filters.push_back(filter);
        return nextFile;
    }
    void closeDialog() override { ++closed; }
    std::map<int, int> timers;
    void startTimer(int id, int ms) override { timers[id] = ms; }
};

std::vector<uint8_t> imageOf(const std::u16string& name, size_t length) {
    std::vector<uint8_t> image(length);
    for (size_t k = 0; k < length; ++k)
        image[k] = static_cast<uint8_t>(k * 13 + name.size());
    return image;
}

// The dialog on virtual time, its messages queued for the test thread, which
// stands for the window's thread and takes no part in the clock's time unless
// a test makes it.
class Batch : public ::testing::Test {
protected:
    void addSigns(int count, SimulatedSign::Config config = {}) {
        for (int k = 0; k < count; ++k)
            sim.addSign(config);
    }

    void open(CClustersSend::Mode mode = CClustersSend::MODE_SCREEN,
              std::vector<uint8_t> prepared = {}) {
        dlg = std::make_unique<CClustersSend>(
            CClustersSend::Services{table, clock, texts,
                                    [this](std::function<void()> m) { queue.post(std::move(m)); }},
            mode, std::vector<std::u16string>{u"Front", u"Back"},
            [this](const std::u16string& name) {
                ++builds[name];
                if (name == u"front" || name == u"Front") return imageOf(u"Front", kFrontLength);
                if (name == u"Back") return imageOf(u"Back", 100);
                return std::vector<uint8_t>();
            },
            std::move(prepared));
        dlg->setView(&view);
        dlg->onInitDialog();
    }

    // Lets every worker end, then delivers what they posted.
    void settle() {
        dlg->joinWorkers();
        queue.runPending();
    }

    // Signs come and go on the simulator's own thread; their messages arrive
    // when they arrive.
    void waitForRows(size_t count) {
        for (int k = 0; k < 200 && dlg->rows().size() != count; ++k)
            queue.waitAndRun(std::chrono::milliseconds(25));
        ASSERT_EQ(dlg->rows().size(), count);
    }

    std::vector<std::u16string> column(int c) const {
        std::vector<std::u16string> out;
        for (const auto& row : dlg->rows())
            out.push_back(row[c]);
        return out;
    }

    static constexpr size_t kFrontLength = 52 * 6 + 10;  // 7 packets
    platform::VirtualClock clock;
    SimulatedSign sim{clock};
    DeviceTable table{sim};
    Texts texts;
    batch::MessageQueue queue;
    FakeView view;
    std::map<std::u16string, int> builds;
    std::unique_ptr<CClustersSend> dlg;
};

using Row = std::vector<std::u16string>;

TEST_F(Batch, NoSignMeansNoRowsAndSendDoesNothing) {
    open();
    EXPECT_TRUE(dlg->rows().empty());
    dlg->onSend();
    EXPECT_EQ(dlg->runningWorkers(), 0);
    EXPECT_TRUE(builds.empty());
}

TEST_F(Batch, ColumnsCaptionsAndWidthsOfEachMode) {
    auto widths = [this] {
        std::vector<int> out;
        for (const auto& c : dlg->columns())
            out.push_back(c.width);
        return out;
    };
    open();
    EXPECT_EQ(dlg->title(), u"<BatchTx>");
    EXPECT_EQ(dlg->controlText(CClustersSend::IDC_SEND), u"<Send>");
    EXPECT_EQ(dlg->controlText(CClustersSend::IDC_CLOSE), u"<Close>");
    EXPECT_FALSE(dlg->checkBoxesVisible());
    EXPECT_EQ(widths(), (std::vector<int>{0, 50, 250, 0, 260, 100, 0}));
    EXPECT_EQ(dlg->columns()[4].caption, u"<Screen>");
    EXPECT_EQ(dlg->screenChoices(), (Row{u"", u"Front", u"Back"}));

    open(CClustersSend::MODE_SCREEN, {1, 2, 3});
    EXPECT_EQ(widths(), (std::vector<int>{0, 50, 510, 0, 0, 100, 0}));

    open(CClustersSend::MODE_FIRMWARE);
    EXPECT_TRUE(dlg->checkBoxesVisible());
    EXPECT_EQ(widths(), (std::vector<int>{0, 50, 150, 100, 160, 100, 100}));
    Row captions;
    for (const auto& c : dlg->columns())
        captions.push_back(c.caption);
    EXPECT_EQ(captions, (Row{u"", u"<Index>", u"<Id>", u"<SoftName>", u"<Firmware>", u"<Progress>",
                             u"<Progress>2"}));
}

TEST_F(Batch, RowsNumberTheSignsWithTheirPorts) {
    SimulatedSign::Config noPort;
    noPort.portAddress = -1;
    addSigns(2);
    sim.addSign(noPort);
    open();
    EXPECT_EQ(column(CClustersSend::COL_KEY), (Row{u"1", u"2", u"3"}));
    EXPECT_EQ(column(CClustersSend::COL_INDEX), (Row{u"  1", u"  2", u"  3"}));
    EXPECT_EQ(column(CClustersSend::COL_ID), (Row{u"USB[1]", u"USB[2]", u"USB[FF]"}));
}

TEST_F(Batch, SignsComingAndGoingAddRenumberAndNeverReuseKeys) {
    SimulatedSign::Config noPort;
    noPort.portAddress = -1;
    addSigns(2);
    sim.addSign(noPort);
    sim.unplug(2);
    open();
    ASSERT_EQ(dlg->rows().size(), 2u);

    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Back");
    sim.unplug(0);
    waitForRows(1);
    EXPECT_EQ(column(CClustersSend::COL_KEY), (Row{u"2"}));
    EXPECT_EQ(column(CClustersSend::COL_INDEX), (Row{u"  1"}));
    EXPECT_FALSE(table.contains(1));

    // Arrivals append, the screen filled down from the row above.
    sim.plugIn(2);
    waitForRows(2);
    sim.plugIn(0);
    waitForRows(3);
    EXPECT_EQ(column(CClustersSend::COL_KEY), (Row{u"2", u"3", u"4"}));
    EXPECT_EQ(column(CClustersSend::COL_INDEX), (Row{u"  1", u"  2", u"  3"}));
    EXPECT_EQ(column(CClustersSend::COL_ID), (Row{u"USB[2]", u"USB[FF]", u"USB[1]"}));
    EXPECT_EQ(column(CClustersSend::COL_TARGET), (Row{u"Back", u"Back", u"Back"}));
    EXPECT_TRUE(table.contains(0));
}

TEST_F(Batch, ChoosingAScreenFillsTheRowsBelow) {
    addSigns(4);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    EXPECT_EQ(column(CClustersSend::COL_TARGET), (Row{u"Front", u"Front", u"Front", u"Front"}));
    dlg->onCellEdited(2, CClustersSend::COL_TARGET, u"Back");
    EXPECT_EQ(column(CClustersSend::COL_TARGET), (Row{u"Front", u"Front", u"Back", u"Back"}));
    dlg->onCellEdited(1, CClustersSend::COL_TARGET, u"");
    EXPECT_EQ(column(CClustersSend::COL_TARGET), (Row{u"Front", u"", u"Back", u"Back"}));
    // Read-only columns stay as they are.
    dlg->onCellEdited(0, CClustersSend::COL_ID, u"x");
    EXPECT_EQ(dlg->rows()[0][CClustersSend::COL_ID], u"USB[1]");
}

TEST_F(Batch, FirmwareColumnsChooseFilesThroughTheirDialogs) {
    addSigns(2);
    open(CClustersSend::MODE_FIRMWARE);
    view.nextFile = u"/fw/NT03.bin";
    dlg->onEditCell(0, CClustersSend::COL_TARGET);
    view.nextFile = u"/fw/soft.dat";
    dlg->onEditCell(1, CClustersSend::COL_SOFTWARE);
    view.nextFile.reset();
    dlg->onEditCell(0, CClustersSend::COL_SOFTWARE);  // cancelled
    EXPECT_EQ(view.filters, (Row{u"firmware files(*.bin)|*.bin||", u"firmware files(*.*)|*.*||",
                                 u"firmware files(*.*)|*.*||"}));
    EXPECT_EQ(column(CClustersSend::COL_TARGET), (Row{u"/fw/NT03.bin", u"/fw/NT03.bin"}));
    EXPECT_EQ(column(CClustersSend::COL_SOFTWARE), (Row{u"", u"/fw/soft.dat"}));
}

TEST_F(Batch, EveryRowGetsItsScreenAndEqualScreensAreBuiltOnce) {
    addSigns(4);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    dlg->onCellEdited(1, CClustersSend::COL_TARGET, u"");
    dlg->onCellEdited(3, CClustersSend::COL_TARGET, u"Back");
    dlg->onSend();
    settle();
    EXPECT_EQ(builds, (std::map<std::u16string, int>{{u"Front", 1}, {u"Back", 1}}));
    EXPECT_EQ(dlg->imagesBuilt(), 2);
    ASSERT_EQ(sim.blocks(0).size(), 1u);
    EXPECT_EQ(sim.blocks(0)[0].kind, signlink::KIND_DEVICE_IMAGE);
    EXPECT_EQ(sim.blocks(0)[0].bytes, imageOf(u"Front", kFrontLength));
    EXPECT_TRUE(sim.reports(1).empty());  // its Screen cell is empty
    EXPECT_EQ(sim.blocks(2)[0].bytes, imageOf(u"Front", kFrontLength));
    EXPECT_EQ(sim.blocks(3)[0].bytes, imageOf(u"Back", 100));
    EXPECT_EQ(column(CClustersSend::COL_PROGRESS), (Row{u"7/7", u"", u"7/7", u"2/2"}));
}

class BatchOfSigns : public Batch, public ::testing::WithParamInterface<int> {};

TEST_P(BatchOfSigns, EverySignGetsTheImageWhileOneRefusingStopsAlone) {
    const int signs = GetParam();
    SimulatedSign::Config refusing;
    refusing.statusByKind[signlink::KIND_DEVICE_IMAGE] = 2;
    addSigns(signs - 1);
    sim.addSign(refusing);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    dlg->onSend();
    settle();
    const auto results = dlg->results();
    ASSERT_EQ(results.size(), static_cast<size_t>(signs));
    for (int k = 0; k < signs - 1; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(sim.blocks(k).size(), 1u);
        EXPECT_EQ(sim.blocks(k)[0].bytes, imageOf(u"Front", kFrontLength));
        EXPECT_EQ(sim.stats(k).packetsTaken, 7);
        EXPECT_EQ(results.at(k + 1).code, signlink::TRANSFER_OK);
        EXPECT_EQ(dlg->rows()[k][CClustersSend::COL_PROGRESS], u"7/7");
    }
    // The refused first packet went once more, then the sign was given up.
    EXPECT_EQ(sim.stats(signs - 1).packetsTaken, 2);
    EXPECT_EQ(results.at(signs).code, signlink::TRANSFER_PACKET_FAILED);
    EXPECT_EQ(dlg->rows()[signs - 1][CClustersSend::COL_PROGRESS], u"0/7");
}

INSTANTIATE_TEST_SUITE_P(Signs, BatchOfSigns, ::testing::Range(2, 6));

TEST_F(Batch, AFailedReplyWaitEndsOnlyThatSign) {
    SimulatedSign::Config breaking;
    breaking.script = [](const SimulatedSign::PacketInfo& p) {
        SimulatedSign::Answer a;
        a.breakReadWait = p.number == 3;
        return a;
    };
    addSigns(1);
    sim.addSign(breaking);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    dlg->onSend();
    settle();
    EXPECT_EQ(dlg->results().at(1).code, signlink::TRANSFER_OK);
    EXPECT_EQ(dlg->results().at(2).code, signlink::TRANSFER_PACKET_FAILED);
    EXPECT_EQ(sim.stats(1).packetsTaken, 3);  // no fourth packet, no resend
    EXPECT_EQ(column(CClustersSend::COL_PROGRESS), (Row{u"7/7", u"2/7"}));
}

TEST_F(Batch, ASignPulledMidTransferLosesItsRowAndTheOthersFinish) {
    SimulatedSign::Config pulled;
    pulled.script = [](const SimulatedSign::PacketInfo& p) {
        SimulatedSign::Answer a;
        a.unplugAfter = p.number == 4;
        return a;
    };
    addSigns(1);
    sim.addSign(pulled);
    addSigns(1);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    dlg->onSend();
    settle();
    waitForRows(2);
    // Its writes fail from then on.
    EXPECT_EQ(dlg->results().at(2).code, signlink::TRANSFER_PACKET_FAILED);
    EXPECT_EQ(sim.stats(1).packetsTaken, 4);
    EXPECT_EQ(column(CClustersSend::COL_KEY), (Row{u"1", u"3"}));
    EXPECT_EQ(column(CClustersSend::COL_INDEX), (Row{u"  1", u"  2"}));
    EXPECT_EQ(column(CClustersSend::COL_PROGRESS), (Row{u"7/7", u"7/7"}));
    EXPECT_EQ(sim.blocks(2)[0].bytes, imageOf(u"Front", kFrontLength));
}

TEST_F(Batch, CloseEndsEveryWorkerWithinOneWaitAndSilencesThem) {
    SimulatedSign::Config slow;
    slow.replyDelay = 10ms;
    addSigns(3, slow);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    {
        auto self = clock.join();
        dlg->onSend();
        clock.sleepFor(25ms);
        queue.runPending();
        dlg->onClose();
        EXPECT_EQ(view.closed, 1);
    }
    const auto rowsAtClose = dlg->rows();
    const int refreshesAtClose = view.refreshes;
    const auto closedAt = clock.elapsed();
    settle();
    EXPECT_LE(clock.elapsed(), closedAt + 500ms);
    EXPECT_EQ(dlg->runningWorkers(), 0);
    EXPECT_EQ(dlg->rows(), rowsAtClose);
    EXPECT_EQ(view.refreshes, refreshesAtClose);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(sim.blocks(k).empty());
        EXPECT_LT(sim.stats(k).packetsTaken, 7);
        EXPECT_EQ(dlg->results().at(k + 1).code, batch::kTransferStopped);
    }
    dlg->onSend();  // a closed dialog sends nothing
    EXPECT_EQ(dlg->runningWorkers(), 0);
}

TEST_F(Batch, ClosingByTheFrameEmptiesTheSignTable) {
    addSigns(2);
    open();
    EXPECT_EQ(table.size(), 3);
    dlg->onCloseByFrame();
    EXPECT_EQ(table.size(), 0);
    EXPECT_EQ(view.closed, 1);
}

TEST_F(Batch, APreparedImageGoesToEverySignAsKindTwo) {
    addSigns(2);
    const auto prepared = imageOf(u"animations", 200);
    open(CClustersSend::MODE_SCREEN, prepared);
    dlg->onSend();
    settle();
    EXPECT_TRUE(builds.empty());
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(sim.blocks(k).size(), 1u);
        EXPECT_EQ(sim.blocks(k)[0].kind, signlink::KIND_ANIMATION_SET);
        EXPECT_EQ(sim.blocks(k)[0].bytes, prepared);
    }
}

TEST_F(Batch, ASecondSendWaitsForTheFirstOnTheSameSign) {
    addSigns(2);
    open();
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    {
        auto self = clock.join();
        dlg->onSend();
        clock.sleepFor(3ms);
        dlg->onSend();
    }
    settle();
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const auto blocks = sim.blocks(k);
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[0].bytes, imageOf(u"Front", kFrontLength));
        EXPECT_EQ(blocks[1].bytes, imageOf(u"Front", kFrontLength));
        EXPECT_EQ(sim.stats(k).packetsRejected, 0);
        EXPECT_LE(blocks[0].finished, blocks[1].started);
    }
}

// --- firmware mode ---------------------------------------------------------------------

class BatchFirmware : public Batch {
protected:
    void SetUp() override {
        firmware = writeFile(dir / "NT03.bin", std::string(53, '\x5A')).u16string();
    }
    std::vector<uint8_t> kinds(int sign) const {
        std::vector<uint8_t> out;
        for (const auto& block : sim.blocks(sign))
            out.push_back(block.kind);
        return out;
    }
    testing_support::TempDir dir;
    std::u16string firmware;
};

TEST_F(BatchFirmware, EachSignIsAskedThenTakesTheFileWhole) {
    SimulatedSign::Config notReadyOnce;
    notReadyOnce.firmware.busyAnswers = 1;
    sim.addSign(notReadyOnce);
    sim.addSign({});
    open(CClustersSend::MODE_FIRMWARE);
    dlg->onCellEdited(0, CClustersSend::COL_TARGET, firmware);
    dlg->onSend();
    settle();
    // Asked (once more after a "not yet" and a second), asked again after 500 ms, then the file.
    EXPECT_EQ(kinds(0), (std::vector<uint8_t>{5, 5, 5, 6}));
    EXPECT_EQ(kinds(1), (std::vector<uint8_t>{5, 5, 6}));
    for (int k : {0, 1}) {
        EXPECT_EQ(sim.blocks(k).back().bytes, std::vector<uint8_t>(53, 0x5A));
        EXPECT_EQ(sim.blocks(k).back().packets, 2u);
    }
    EXPECT_EQ(column(CClustersSend::COL_PROGRESS), (Row{u"2/2", u"2/2"}));
}

TEST_F(BatchFirmware, AutoUpdateTakesSignsAsTheyComeAndNeverTwice) {
    addSigns(2);
    sim.unplug(1);
    open(CClustersSend::MODE_FIRMWARE);
    dlg->setDefaultFirmware(firmware);
    dlg->onAutoUpdate(true);
    EXPECT_EQ(view.timers, (std::map<int, int>{{10001, 3000}}));
    EXPECT_FALSE(dlg->sendEnabled());
    EXPECT_EQ(column(CClustersSend::COL_TARGET), (Row{firmware}));
    dlg->onSend();  // disabled while AutoUpdate is ticked
    EXPECT_EQ(dlg->runningWorkers(), 0);

    dlg->onTimer(10001);
    sim.plugIn(1);
    waitForRows(2);
    EXPECT_EQ(dlg->rows()[1][CClustersSend::COL_TARGET], firmware);  // from the field
    settle();
    dlg->onTimer(10001);
    settle();
    dlg->onTimer(10001);
    settle();
    EXPECT_EQ(kinds(0), (std::vector<uint8_t>{5, 5, 6}));
    EXPECT_EQ(kinds(1), (std::vector<uint8_t>{5, 5, 6}));
}

TEST_F(BatchFirmware, CancellingTheSoftwareChoiceUnticksCopySoft) {
    addSigns(1);
    open(CClustersSend::MODE_FIRMWARE);
    view.nextFile.reset();
    dlg->onCopySoftware(true);
    EXPECT_FALSE(dlg->copySoftware());
    EXPECT_EQ(view.filters, (Row{u"firmware files(*.*)|*.*||"}));
    view.nextFile = u"/sw/app.dat";
    dlg->onCopySoftware(true);
    EXPECT_TRUE(dlg->copySoftware());
    EXPECT_TRUE(dlg->fieldVisible(CClustersSend::IDC_DEFAULT_SOFTWARE));
    EXPECT_EQ(column(CClustersSend::COL_SOFTWARE), (Row{u"/sw/app.dat"}));
}

TEST_F(BatchFirmware, TheSoftwareGoesOnlyToTheSignsOwnDiskEmptiedFirst) {
    const fs::path disk = dir / "disk", other = dir / "other";
    fs::create_directories(disk / "old");
    writeFile(disk / "old" / "stale.bin", "stale");
    writeFile(disk / "top.txt", "top");
    fs::create_directories(other);
    writeFile(other / "keep.txt", "keep");
    const std::string software(200000, 'S');
    const fs::path from = writeFile(dir / "app.dat", software);
    SimulatedSign::Config own, notOwn;
    own.disk = platform::HidDiskInfo{"sim:disk", 1, "sim:volume", disk.string(), true};
    notOwn.disk = platform::HidDiskInfo{"sim:disk2", 2, "sim:volume2", other.string(), true};
    notOwn.ownDisk = false;
    sim.addSign(own);
    sim.addSign(notOwn);
    open(CClustersSend::MODE_FIRMWARE);
    view.nextFile = from.u16string();
    dlg->onCopySoftware(true);
    std::vector<std::u16string> shown;
    // What the first sign's column 6 went through.
    view.onRefresh = [&] {
        if (dlg->rows().empty()) return;
        const std::u16string& now = dlg->rows()[0][CClustersSend::COL_COPY];
        if (!now.empty() && (shown.empty() || shown.back() != now)) shown.push_back(now);
    };
    dlg->onSend();  // no firmware file: copies only
    settle();
    EXPECT_EQ(readFile(disk / "app.dat"), software);
    EXPECT_FALSE(fs::exists(disk / "old"));
    EXPECT_FALSE(fs::exists(disk / "top.txt"));
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown.front(), u"0/1");
    EXPECT_EQ(shown.back(), u"OK");
    EXPECT_NE(std::find(shown.begin(), shown.end(), u"200000/200000"), shown.end());
    // The other sign's "disk" is not its own: nothing deleted, nothing copied, and it says so.
    EXPECT_EQ(readFile(other / "keep.txt"), "keep");
    EXPECT_FALSE(fs::exists(other / "app.dat"));
    EXPECT_EQ(dlg->rows()[1][CClustersSend::COL_COPY], u"not the sign's own disk: nothing copied");
}

}  // namespace
