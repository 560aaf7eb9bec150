// The download window's logic on virtual time, with a transfer of the test's own.
#include "update/CDownLoadDlg.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;
using update::CDownLoadDlg;

// Delivers `body` in chunks of 1024; with `hold`, waits (on the clock) until cancelled.
struct FakeHttp : platform::Http {
    FakeHttp(platform::Clock& c, std::string b) : clock(c), body(std::move(b)) {}
    bool fetch(const std::string&, const HeadersSink& headers, const BodySink& sink,
               const std::atomic<bool>* cancel, std::string* error) override {
        if (!headers(status, announce ? std::optional<int64_t>(body.size()) : std::nullopt))
            return false;
        for (size_t at = 0; at < body.size(); at += kHttpChunk) {
            const size_t n = std::min(kHttpChunk, body.size() - at);
            if (!sink(reinterpret_cast<const uint8_t*>(body.data() + at), n)) return false;
        }
        while (hold && !(cancel && *cancel))
            clock.sleepFor(std::chrono::milliseconds(50));
        if (cancel && *cancel) {
            if (error) *error = "cancelled";
            return false;
        }
        return true;
    }
    platform::Clock& clock;
    std::string body;
    int status = 200;
    bool announce = true;
    bool hold = false;
};

struct View : CDownLoadDlg::View {
    void setLabels(const update::DownloadTexts& t, const std::u16string& u,
                   const fs::path& d) override {
        texts = t;
        url = u;
        destination = d;
    }
    void setSizeText(const std::u16string& t) override { size = t; }
    void setPercentText(const std::u16string& t) override { percent = t; }
    void setSpeedText(const std::u16string& t) override { speed = t; }
    void setProgressRange(int low, int high) override { range = {low, high}; }
    void setProgressPos(int p) override { pos = p; }
    void startTimer(int id, int ms) override { timers[id] = ms; }
    void stopTimer(int id) override { timers.erase(id); }
    bool askYesNo(const std::u16string& t) override {
        asked.push_back(t);
        return yes;
    }
    void message(const std::u16string& t) override { messages.push_back(t); }
    bool openFile(const fs::path& f) override {
        opened.push_back(f);
        return true;
    }
    void endDialog(bool ok) override { ended = ok; }

    update::DownloadTexts texts;
    std::u16string url, size, percent, speed;
    fs::path destination;
    std::pair<int, int> range{0, 0};
    int pos = -1;
    std::map<int, int> timers;
    std::vector<std::u16string> asked, messages;
    std::vector<fs::path> opened;
    std::optional<bool> ended;
    bool yes = true;
};

const update::DownloadTexts texts{u"src",   u"dest",   u"size", u"speed",
                                  u"done?", u"failed", u"stop?"};

class Window : public ::testing::Test {
protected:
    std::unique_ptr<CDownLoadDlg> open(FakeHttp& http) {
        auto dlg = std::make_unique<CDownLoadDlg>(
            http, clock,
            [this](std::function<void()> task) {
                const std::lock_guard lock(mutex);
                tasks.push_back(std::move(task));
            },
            "http://h/f/release.deb", m_dir / "release.deb", texts);
        dlg->attach(view);
        dlg->onInitDialog();
        return dlg;
    }
    void runTasks() {
        std::vector<std::function<void()>> now;
        {
            const std::lock_guard lock(mutex);
            now.swap(tasks);
        }
        for (auto& t : now)
            t();
    }

    testing_support::TempDir m_dir;
    platform::VirtualClock clock;
    View view;
    std::mutex mutex;
    std::vector<std::function<void()>> tasks;
};

TEST_F(Window, FiguresEverySecondThenTheQuestion) {
    FakeHttp http(clock, std::string(3 << 20, 'r'));
    auto dlg = open(http);
    EXPECT_EQ(view.texts.exitQuestion, u"stop?");
    EXPECT_EQ(view.url, u"http://h/f/release.deb");
    EXPECT_EQ(view.destination, m_dir / "release.deb");
    dlg->joinWorker();
    runTasks();
    EXPECT_EQ(view.timers, (std::map<int, int>{{1, 1000}, {2, 1000}}));

    clock.sleepFor(std::chrono::seconds(2));
    dlg->onTimer(CDownLoadDlg::TIMER_FIGURES);
    EXPECT_EQ(view.size, u"3.00 MB");
    EXPECT_EQ(view.range, std::make_pair(1, 100));
    EXPECT_EQ(view.percent, u"100%");
    EXPECT_EQ(view.pos, 100);
    // 3072 KiB over 2 s.
    EXPECT_EQ(view.speed, u"1536 Kb/s");
    // Nothing more came: 0 Kb/s, the size is not set again.
    view.size.clear();
    clock.sleepFor(std::chrono::milliseconds(500));
    dlg->onTimer(CDownLoadDlg::TIMER_FIGURES);
    EXPECT_EQ(view.speed, u"0 Kb/s");
    EXPECT_EQ(view.size, u"");

    dlg->onTimer(CDownLoadDlg::TIMER_SUCCESS);
    EXPECT_TRUE(view.timers.empty());
    EXPECT_EQ(view.asked, std::vector<std::u16string>{u"done?"});
    EXPECT_EQ(view.opened, std::vector<fs::path>{m_dir / "release.deb"});
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(fs::file_size(m_dir / "release.deb"), 3u << 20);
}

TEST_F(Window, NoLengthNoFiguresAndNoMeansKeepIt) {
    FakeHttp http(clock, std::string(5000, 'r'));
    http.announce = false;
    view.yes = false;
    auto dlg = open(http);
    dlg->joinWorker();
    runTasks();
    dlg->onTimer(CDownLoadDlg::TIMER_FIGURES);
    EXPECT_EQ(view.size, u"");
    EXPECT_EQ(view.percent, u"");
    EXPECT_EQ(view.speed, u"");
    dlg->onTimer(CDownLoadDlg::TIMER_SUCCESS);
    EXPECT_TRUE(view.opened.empty());
    EXPECT_EQ(view.ended, false);
    EXPECT_TRUE(fs::exists(m_dir / "release.deb"));
}

TEST_F(Window, AFailureSaysSo) {
    FakeHttp http(clock, "x");
    http.status = 500;
    auto dlg = open(http);
    dlg->joinWorker();
    runTasks();
    EXPECT_EQ(view.timers.count(CDownLoadDlg::TIMER_FAILURE), 1u);
    EXPECT_EQ(view.timers[CDownLoadDlg::TIMER_FAILURE], 1);
    dlg->onTimer(CDownLoadDlg::TIMER_FAILURE);
    EXPECT_EQ(view.messages, std::vector<std::u16string>{u"failed"});
    EXPECT_EQ(view.ended, false);
}

TEST_F(Window, ClosingAsksWhileItRunsAndCancels) {
    FakeHttp http(clock, std::string(4096, 'r'));
    http.hold = true;
    auto dlg = open(http);
    view.yes = false;
    EXPECT_FALSE(dlg->onClose());
    EXPECT_EQ(view.asked, std::vector<std::u16string>{u"stop?"});
    EXPECT_FALSE(view.ended);
    view.yes = true;
    EXPECT_TRUE(dlg->onClose());
    EXPECT_EQ(view.ended, false);
    dlg->joinWorker();
    runTasks();
    // Cancelled: no timer 2 or 3, and no file.
    EXPECT_EQ(view.timers.count(CDownLoadDlg::TIMER_SUCCESS), 0u);
    EXPECT_EQ(view.timers.count(CDownLoadDlg::TIMER_FAILURE), 0u);
    EXPECT_FALSE(fs::exists(m_dir / "release.deb"));

    // Once the worker is done, the close box closes at once.
    FakeHttp quick(clock, "q");
    View other;
    auto second = std::make_unique<CDownLoadDlg>(
        quick, clock, [](std::function<void()>) {}, "http://h/q", m_dir / "q", texts);
    second->attach(other);
    second->onInitDialog();
    second->joinWorker();
    EXPECT_TRUE(second->onClose());
    EXPECT_TRUE(other.asked.empty());
}

TEST_F(Window, TasksPostedForAClosedWindowFindItGone) {
    FakeHttp http(clock, std::string(2048, 'r'));
    auto dlg = open(http);
    dlg->joinWorker();
    dlg.reset();
    runTasks();  // the start of timers 1 and 2 reaches no window
    EXPECT_TRUE(view.timers.empty());
}

}  // namespace
