#include "preview/ui/FrameMailbox.h"

#include <utility>

void FrameMailbox::reset(PreviewFrame shown) {
    const std::lock_guard lock(m_mutex);
    m_newest = shown;
    m_shown = std::move(shown);
    m_told = false;
}

bool FrameMailbox::put(const PreviewFrame& frame) {
    const std::lock_guard lock(m_mutex);
    if (m_told) {
        // The window takes the newest when the word arrives.
        m_newest = frame;
        return false;
    }
    if (frame == m_shown) return false;
    m_newest = frame;
    m_told = true;
    return true;
}

std::optional<PreviewFrame> FrameMailbox::take() {
    const std::lock_guard lock(m_mutex);
    m_told = false;
    if (m_newest == m_shown) return std::nullopt;
    m_shown = m_newest;
    return m_shown;
}
