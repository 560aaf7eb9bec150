#pragma once

#include "platform/Clock.h"
#include "preview/PreviewFrame.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The emulated sign: a player that interprets a device image and an animation
// set as the sign's firmware does, a display refresher and a border animator,
// each on a thread of its own on the given clock. Stopping (stop() or the
// destructor) cancels every wait and joins the threads; nothing is killed.
class PreviewPlayer {
public:
    struct Callbacks {
        // Program `index` starts (the window's caption follows it). Player thread.
        std::function<void(int index)> programStarted;
        // The player committed a step: program and page index, the shown plane
        // afterwards. Player thread. For tracing; may be empty.
        std::function<void(int program, int page, const PreviewFrame& shown)> committed;
        // The refresher's frame, every 5 ms whether or not it changed. Refresher thread.
        std::function<void(const PreviewFrame& frame)> frame;
    };

    struct Options {
        int temperature = 16;  // degrees Celsius: 16 + the temperature correction
        uint32_t seed = 0;     // of the random border; 0 takes one from the clock
    };

    PreviewPlayer(platform::Clock& clock, std::vector<uint8_t> image,
                  std::vector<uint8_t> animationSet, Options options, Callbacks callbacks);
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // The sign's size from the image header; 48 × 12 for an image too short to play.
    int width() const;
    int height() const;
    // False for an image of fewer than 100 bytes (or sizes the frame memory cannot
    // hold): start() then starts nothing.
    bool playable() const;

    void start();
    // Returns once every thread has ended; each notices within one of its waits.
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};
