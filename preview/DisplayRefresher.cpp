#include "preview/DisplayRefresher.h"

#include <chrono>

namespace preview {

using namespace std::chrono_literals;

PreviewFrame DisplayRefresher::nextFrame() {
    ++m_counter;
    if ((m_counter & 0x7F) == 0)
        m_frame.blankPhase.store(true);
    else if ((m_counter & 0x3F) == 0)
        m_frame.blankPhase.store(false);
    if (m_frame.flicker.load() && m_frame.blankPhase.load()) return m_frame.darkFrame();
    return m_frame.shownFrame();
}

void DisplayRefresher::run(platform::Clock& clock, std::stop_token stop,
                           const std::function<void(const PreviewFrame&)>& deliver) {
    while (!stop.stop_requested()) {
        const PreviewFrame frame = nextFrame();
        if (deliver) deliver(frame);
        if (stop.stop_requested()) break;
        clock.sleepFor(5ms);
    }
}

}  // namespace preview
