#pragma once

#include "platform/Clock.h"
#include "preview/FrameMemory.h"
#include "preview/PreviewFrame.h"

#include <cstdint>
#include <functional>
#include <stop_token>

namespace preview {

// Shows the shown plane on the LEDs every 5 ms and keeps the flicker phase: of
// every 128 frames 64 are blank, and a program with flicker shows them dark.
class DisplayRefresher {
public:
    explicit DisplayRefresher(FrameMemory& frame) : m_frame(frame) {}

    // The next frame: counts it, moves the flicker phase on, takes the picture.
    PreviewFrame nextFrame();
    // Frames until `stop`, each handed to `deliver`, 5 ms apart.
    void run(platform::Clock& clock, std::stop_token stop,
             const std::function<void(const PreviewFrame&)>& deliver);

private:
    FrameMemory& m_frame;
    uint8_t m_counter = 0;
};

}  // namespace preview
