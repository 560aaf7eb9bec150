#pragma once

#include "preview/PreviewFrame.h"

#include <mutex>
#include <optional>

// Hands the refresher's frames to the window's thread. The refresher offers a
// frame every 5 ms whether or not it changed; the mailbox keeps the newest
// under a lock and asks for one word to the window only when the frame differs
// from the last one shown and no word is on its way already.
class FrameMailbox {
public:
    // A new player: `shown` is what the window shows now, nothing is waiting.
    void reset(PreviewFrame shown);
    // The refresher's frame. True when the window must be told (once, posted).
    bool put(const PreviewFrame& frame);
    // The window's thread: the newest frame, when it differs from the last one taken.
    std::optional<PreviewFrame> take();

private:
    std::mutex m_mutex;
    PreviewFrame m_newest;
    PreviewFrame m_shown;
    bool m_told = false;
};
