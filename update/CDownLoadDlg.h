#pragma once

#include "platform/Clock.h"
#include "platform/Http.h"
#include "update/Download.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace update {

// The seven texts the download window shows, in the order they are set.
struct DownloadTexts {
    std::u16string source;        // "SRCFile" (its row is hidden)
    std::u16string destination;   // "DestFile"
    std::u16string size;          // "FileSize"
    std::u16string speed;         // "DownloadSpeed"
    std::u16string success;       // "UpdatedSuccessfully"
    std::u16string failure;       // "UpdateFailed"
    std::u16string exitQuestion;  // "ExitDownloading"
};

// The download window: the release file fetched on a worker, its size,
// percentage and speed shown every second, the user asked to open it at the end.
class CDownLoadDlg {
public:
    static constexpr int TIMER_FIGURES = 1;
    static constexpr int TIMER_SUCCESS = 2;
    static constexpr int TIMER_FAILURE = 3;

    class View {
    public:
        virtual ~View() = default;
        virtual void setLabels(const DownloadTexts& texts, const std::u16string& url,
                               const std::filesystem::path& destination) = 0;
        virtual void setSizeText(const std::u16string& text) = 0;
        virtual void setPercentText(const std::u16string& text) = 0;
        virtual void setSpeedText(const std::u16string& text) = 0;
        virtual void setProgressRange(int low, int high) = 0;
        virtual void setProgressPos(int pos) = 0;
        virtual void startTimer(int id, int ms) = 0;
        virtual void stopTimer(int id) = 0;
        // Yes/No with the question icon.
        virtual bool askYesNo(const std::u16string& text) = 0;
        // OK only.
        virtual void message(const std::u16string& text) = 0;
        // The shell's "open" of the downloaded file.
        virtual bool openFile(const std::filesystem::path& file) = 0;
        virtual void endDialog(bool ok) = 0;
    };

    // Runs a task on the window's thread, later; callable from any thread.
    using Poster = std::function<void(std::function<void()>)>;

    CDownLoadDlg(platform::Http& http, platform::Clock& clock, Poster post, std::string url,
                 std::filesystem::path destination, DownloadTexts texts);
    ~CDownLoadDlg();
    CDownLoadDlg(const CDownLoadDlg&) = delete;
    CDownLoadDlg& operator=(const CDownLoadDlg&) = delete;

    void attach(View& view) { m_view = &view; }
    void onInitDialog();
    void onTimer(int id);
    // The close box: true when the window closes (it then ended with Cancel).
    bool onClose();

    bool workerRunning() const;
    const DownloadState& state() const { return m_shared->state; }
    // Waits for the worker (tests).
    void joinWorker();

private:
    struct Shared {
        DownloadState state;
        std::mutex mutex;
        Poster post;
        // The window while it is open; tasks the worker posted find it gone afterwards.
        CDownLoadDlg* dialog = nullptr;
        bool running = false;
        platform::WaitEvent finished;
    };

    // Runs `what` on the window's thread if the window is still there by then.
    static void postToWindow(const std::shared_ptr<Shared>& shared,
                             std::function<void(CDownLoadDlg&)> what);
    void figures();

    platform::Http& m_http;
    platform::Clock& m_clock;
    std::string m_url;
    std::filesystem::path m_destination;
    DownloadTexts m_texts;
    View* m_view = nullptr;
    std::shared_ptr<Shared> m_shared;
    std::jthread m_worker;
    // Read only by the figures timer, on the window's thread.
    platform::Clock::TimePoint m_lastTick{};
    int64_t m_downloadedAtLastTick = 0;
};

}  // namespace update
