#include "update/CDownLoadDlg.h"

#include "platform/TextCodec.h"

#include <cstdio>
#include <stop_token>

namespace update {

namespace {

std::u16string printed(const char* format, auto value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return platform::utf8ToUtf16(buffer);
}

}  // namespace

CDownLoadDlg::CDownLoadDlg(platform::Http& http, platform::Clock& clock, Poster post,
                           std::string url, std::filesystem::path destination, DownloadTexts texts)
    : m_http(http),
      m_clock(clock),
      m_url(std::move(url)),
      m_destination(std::move(destination)),
      m_texts(std::move(texts)),
      m_shared(std::make_shared<Shared>()) {
    m_shared->post = std::move(post);
    m_shared->dialog = this;
}

CDownLoadDlg::~CDownLoadDlg() {
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->dialog = nullptr;
    }
    // The transfer watches the flag between chunks and while it waits for data,
    // so the worker that the jthread joins here ends within a second or so.
    m_shared->state.cancel = true;
}

void CDownLoadDlg::postToWindow(const std::shared_ptr<Shared>& shared,
                                std::function<void(CDownLoadDlg&)> what) {
    const std::lock_guard lock(shared->mutex);
    if (!shared->dialog || !shared->post) return;
    shared->post([shared, what = std::move(what)] {
        CDownLoadDlg* dialog = nullptr;
        {
            const std::lock_guard again(shared->mutex);
            dialog = shared->dialog;
        }
        if (dialog) what(*dialog);
    });
}

void CDownLoadDlg::onInitDialog() {
    m_view->setLabels(m_texts, platform::utf8ToUtf16(m_url), m_destination);
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->running = true;
    }
    m_worker =
        m_clock.startThread([shared = m_shared, &http = m_http, &clock = m_clock, url = m_url,
                             destination = m_destination](std::stop_token stop) {
            DownloadState& state = shared->state;
            state.totalSize = 0;
            state.downloaded = 0;
            const std::stop_callback onStop(stop, [shared] { shared->state.cancel = true; });
            const platform::Clock::TimePoint started = clock.now();
            postToWindow(shared, [started](CDownLoadDlg& dialog) {
                dialog.m_lastTick = started;
                dialog.m_downloadedAtLastTick = 0;
                dialog.m_view->startTimer(TIMER_FIGURES, 1000);
            });
            const bool ok = download(http, url, destination, state);
            const bool cancelled = state.cancel;
            {
                const std::lock_guard lock(shared->mutex);
                shared->running = false;
            }
            // The window learns the end only through its timers.
            if (ok)
                postToWindow(shared, [](CDownLoadDlg& dialog) {
                    dialog.m_view->startTimer(TIMER_SUCCESS, 1000);
                });
            else if (!cancelled)
                postToWindow(shared, [](CDownLoadDlg& dialog) {
                    dialog.m_view->startTimer(TIMER_FAILURE, 1);
                });
            shared->finished.set();
        });
}

bool CDownLoadDlg::workerRunning() const {
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->running;
}

void CDownLoadDlg::joinWorker() {
    if (m_worker.joinable()) m_worker.join();
}

void CDownLoadDlg::figures() {
    const int64_t total = m_shared->state.totalSize;
    if (total <= 0) return;
    const int64_t downloaded = m_shared->state.downloaded;
    if (m_downloadedAtLastTick == 0) {
        m_view->setSizeText(printed("%.2lf MB", static_cast<double>(total) / 1024.0 / 1024.0));
        m_view->setProgressRange(1, 100);
        m_view->setProgressPos(1);
    }
    const int64_t percent = downloaded * 100 / total;
    m_view->setPercentText(printed("%d", static_cast<int>(percent)) + u"%");
    m_view->setProgressPos(static_cast<int>(percent));
    const platform::Clock::TimePoint now = m_clock.now();
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastTick).count();
    const int64_t seconds = elapsedMs / 1000 == 0 ? 1 : elapsedMs / 1000;
    const int64_t kilobytes = (downloaded - m_downloadedAtLastTick) / 1024;
    m_view->setSpeedText(printed("%d Kb/s", static_cast<int>(kilobytes / seconds)));
    m_downloadedAtLastTick = downloaded;
    m_lastTick = now;
}

void CDownLoadDlg::onTimer(int id) {
    switch (id) {
        case TIMER_FIGURES:
            figures();
            break;
        case TIMER_SUCCESS:
            m_view->stopTimer(TIMER_FIGURES);
            m_view->stopTimer(TIMER_SUCCESS);
            if (m_view->askYesNo(m_texts.success)) {
                m_view->openFile(m_destination);
                m_view->endDialog(true);
            } else {
                m_view->endDialog(false);
            }
            break;
        case TIMER_FAILURE:
            m_view->stopTimer(TIMER_FAILURE);
            m_view->message(m_texts.failure);
            m_view->endDialog(false);
            break;
        default:
            break;
    }
}

bool CDownLoadDlg::onClose() {
    if (workerRunning()) {
        if (!m_view->askYesNo(m_texts.exitQuestion)) return false;
        m_shared->state.cancel = true;
        m_clock.wait(m_shared->finished, std::chrono::milliseconds(1000));
    }
    m_view->stopTimer(TIMER_FIGURES);
    m_view->endDialog(false);
    return true;
}

}  // namespace update
