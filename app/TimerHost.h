#pragma once

#include <cstdint>
#include <functional>

// What arrives later on the user-interface thread: the main window's timers
// and the messages posted to it. Every call is safe from any thread (a
// firmware worker's transfer starts timers too).
class TimerHost {
public:
    virtual ~TimerHost() = default;

    // Reported through CGlimraDlg::onTimer; starting a running timer restarts it.
    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    // Delivered through CGlimraDlg::onMessage.
    virtual void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    // The same to another window, named as the message named it; unknown windows get nothing.
    virtual void postMessageTo(uintptr_t window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) = 0;
    // Runs `task` on the window's thread later, also while a modal dialog is open.
    virtual void postTask(std::function<void()> task) = 0;
};
