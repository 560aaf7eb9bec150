// Arbitrary bytes as a device image and an animation set (the first two bytes
// say how long the image is): play every program on virtual time for a few
// seconds each, run every border kind on the sign's size, then let the whole
// player with its threads run for a while. Nothing may read outside the memory.
#include "platform/Clock.h"
#include "preview/BorderAnimator.h"
#include "preview/DisplayRefresher.h"
#include "preview/EffectsEngine.h"
#include "preview/FrameMemory.h"
#include "preview/PreviewPlayer.h"
#include "preview/SignMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stop_token>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Virtual time that ends the play once it has gone on long enough.
class BoundedClock final : public platform::Clock {
public:
    BoundedClock(std::stop_source& stop, Duration limit) : m_stop(stop), m_limit(limit) {}
    TimePoint now() const override { return m_clock.now(); }
    void sleepFor(Duration d) override {
        m_clock.sleepFor(d);
        if (m_clock.elapsed() >= m_limit) m_stop.request_stop();
    }
    platform::WaitResult wait(platform::WaitEvent& event, Duration timeout) override {
        return m_clock.wait(event, timeout);
    }
    Duration elapsed() const { return m_clock.elapsed(); }

private:
    platform::VirtualClock m_clock;
    std::stop_source& m_stop;
    Duration m_limit;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t imageLength =
        std::min<size_t>(size - 2, static_cast<size_t>(data[0] << 8 | data[1]));
    std::vector<uint8_t> image(data + 2, data + 2 + imageLength);
    const std::vector<uint8_t> set(data + 2 + imageLength, data + size);
    if (image.size() < 100) return 0;

    preview::FrameMemory frame;
    if (!frame.setSize(image[0], image[1])) return 0;
    frame.temperature.store(static_cast<int8_t>(image[44]) + 16);
    const preview::SignMemory memory(image, set);

    // Each program in turn, as the player takes them, for at most 3 s of virtual time.
    const size_t count = image[49];
    for (size_t i = 0; i < count; ++i) {
        const auto record = memory.u32(50 + 4 * i);
        if (!record || *record >= memory.size()) continue;
        std::stop_source stop;
        BoundedClock clock(stop, 3s);
        preview::EffectsEngine engine(frame, memory, clock, stop.get_token(), 1);
        // Twice: the second takes the first's last page as the one leaving.
        engine.playProgram(*record);
        engine.playProgram(*record);
    }

    // Every border kind on this sign, and the refresher's frames.
    preview::BorderAnimator border(frame);
    for (int kind = 0; kind <= 15; ++kind)
        for (int n = 0; n < 3; ++n)
            border.step(kind);
    preview::DisplayRefresher refresher(frame);
    frame.flicker.store(true);
    for (int n = 0; n < 130; ++n)
        refresher.nextFrame();

    // The whole player with its threads, for a short while.
    platform::VirtualClock clock;
    PreviewPlayer player(clock, image, set, {16, 1}, {});
    {
        auto self = clock.join();
        player.start();
        clock.sleepFor(300ms);
    }
    player.stop();
    return 0;
}
