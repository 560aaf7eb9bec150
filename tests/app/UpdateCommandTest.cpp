// The update check as the main window starts it: timer 1234 and Help > Update,
// its questions asked on the window's thread while the worker waits.
#include "FakeView.h"
#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/TestFiles.h"

#include "app/CGlimraApp.h"
#include "app/Commands.h"
#include "device/sim/SimulatedSign.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

// Serves one manifest from memory.
struct ManifestHttp : platform::Http {
    bool fetch(const std::string& url, const HeadersSink& headers, const BodySink& body,
               const std::atomic<bool>*, std::string*) override {
        {
            const std::lock_guard lock(mutex);
            asked.push_back(url);
        }
        if (!headers(200, manifest.size())) return false;
        return body(reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size());
    }
    std::string manifest;
    std::mutex mutex;
    std::vector<std::string> asked;
};

class Update : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZENTARI_UPDATE_URL", "http://127.0.0.1:9/download/Update/GlimraUpdate.xml", 1);
    }
    void start(bool withHttp) {
        fs::create_directories(root / "program");
        app = std::make_unique<CGlimraApp>(
            AppServices{shell, images, fonts, text, signs, clock, withHttp ? &http : nullptr});
        dlg = std::make_unique<CGlimraDlg>(
            *app, AppFolders(root / "data", root / "program", root / "tmp"));
        view = std::make_unique<FakeView>(*dlg);
        view->acceptScreenSize = true;
        dlg->onInitDialog();
        view->messages.clear();
    }
    // Runs what the worker posts until the check is over.
    void finishCheck() {
        while (dlg->updateCheckRunning())
            view->runTasks();
        dlg->joinUpdateCheck();
        view->runTasks();
    }
    void TearDown() override {
        view.reset();
        dlg.reset();
    }

    testing_support::TempDir root;
    struct NoShell : platform::Shell {
        bool open(const fs::path&) override { return true; }
    } shell;
    FakeImageCodec images;
    struct Fonts : platform::FontCatalog {
        std::vector<std::u16string> families() const override { return {u"Arial"}; }
    } fonts;
    FakeTextRenderer text;
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    ManifestHttp http;
    std::unique_ptr<CGlimraApp> app;
    std::unique_ptr<CGlimraDlg> dlg;
    std::unique_ptr<FakeView> view;
};

TEST_F(Update, OnDemandTheLatestVersionIsSaid) {
    http.manifest = "<U><configFlag/><appVersion>Zentari V3.9</appVersion></U>";
    start(true);
    dlg->onCommand(IDM_HELP_UPDATA);
    finishCheck();
    EXPECT_EQ(view->messages,
              std::vector<std::u16string>{dlg->language().text(u"IsTheLatestVersion")});
    EXPECT_EQ(http.asked,
              std::vector<std::string>{"http://127.0.0.1:9/download/Update/GlimraUpdate.xml"});
    EXPECT_FALSE(fs::exists(root / "data" / "DownLoads" / "GlimraUpdate.xml"));
}

TEST_F(Update, TheAutomaticCheckOnlyWithAutoUpdate) {
    http.manifest = "<U><configFlag/><appVersion>Zentari V3.9</appVersion></U>";
    start(true);
    dlg->context().settings().autoUpdate = 0;
    dlg->onTimer(TIMER_START_UPDATE);
    EXPECT_FALSE(dlg->updateCheckRunning());
    dlg->joinUpdateCheck();
    EXPECT_TRUE(http.asked.empty());
    // Help > Update still checks.
    dlg->onCommand(IDM_HELP_UPDATA);
    finishCheck();
    EXPECT_EQ(http.asked.size(), 1u);
}

TEST_F(Update, WithoutAServiceTheCheckFailsOnDemand) {
    start(false);
    dlg->onCommand(IDM_HELP_UPDATA);
    finishCheck();
    EXPECT_EQ(view->messages, std::vector<std::u16string>{dlg->language().text(u"UpdateFailed")});
}

TEST_F(Update, AWindowThatGoesStopsTheWaitingCheck) {
    http.manifest = "<U><configFlag/><appVersion>V4</appVersion></U>";
    start(true);
    dlg->onCommand(IDM_HELP_UPDATA);
    // The question is posted and never answered: the window goes first.
    while (true) {
        const std::lock_guard lock(view->tasksMutex);
        if (!view->tasks.empty()) break;
    }
    view.reset();
    dlg.reset();  // stops the worker's wait and joins it
    EXPECT_FALSE(fs::exists(root / "data" / "DownLoads" / "GlimraUpdate.xml"));
}

}  // namespace
