#include "preview/PreviewPlayer.h"

#include "content/DeviceImageLayout.h"
#include "preview/BorderAnimator.h"
#include "preview/DisplayRefresher.h"
#include "preview/EffectsEngine.h"
#include "preview/FrameMemory.h"
#include "preview/SignMemory.h"

#include <chrono>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

using namespace std::chrono_literals;

struct PreviewPlayer::Impl {
    Impl(platform::Clock& c, std::vector<uint8_t> image, const std::vector<uint8_t>& set, Options o,
         Callbacks cb)
        : clock(c), options(o), callbacks(std::move(cb)) {
        playable = image.size() >= ImageLayout::kHeaderSize &&
                   frame.setSize(image[ImageLayout::kWidthCode], image[ImageLayout::kHeightCode]);
        memory = preview::SignMemory(std::move(image), set);
        frame.temperature.store(options.temperature);
    }

    void play(std::stop_token stop);

    platform::Clock& clock;
    Options options;
    Callbacks callbacks;
    preview::SignMemory memory;
    preview::FrameMemory frame;
    bool playable = false;
    bool running = false;
    std::stop_source stopSource;
    std::jthread player;
    // Started by the player thread before its first wait, joined by stop() after it.
    std::jthread refresher;
    std::jthread border;
};

void PreviewPlayer::Impl::play(std::stop_token stop) {
    using Plane = preview::FrameMemory::Plane;
    frame.fill(Plane::Work, 0xFF);
    frame.fill(Plane::Load, 0xFF);
    {
        std::lock_guard lock(frame.shownLock());
        frame.fill(Plane::Shown, 0xFF);
    }
    // Started from here, a participant of the clock, so that virtual time cannot
    // move before both of them take part.
    refresher = clock.startThread([this, stop](std::stop_token) {
        preview::DisplayRefresher(frame).run(clock, stop, callbacks.frame);
    });
    border = clock.startThread(
        [this, stop](std::stop_token) { preview::BorderAnimator(frame).run(clock, stop); });

    const uint32_t seed = options.seed != 0
                              ? options.seed
                              : static_cast<uint32_t>(clock.now().time_since_epoch().count());
    int program = 0;
    preview::EffectsEngine::Hooks hooks;
    if (callbacks.committed)
        hooks.committed = [this, &program](int page) {
            callbacks.committed(program, page, frame.shownFrame());
        };
    preview::EffectsEngine engine(frame, memory, clock, stop, seed, std::move(hooks));

    while (!stop.stop_requested()) {
        const uint64_t ticksBefore = engine.ticks();
        const int count = memory.u8(ImageLayout::kProgramCount).value_or(0);
        for (int i = 0; i < count && !stop.stop_requested(); ++i) {
            program = i;
            if (callbacks.programStarted) callbacks.programStarted(i);
            const auto record = memory.u32(ImageLayout::kProgramTable + 4 * static_cast<size_t>(i));
            if (!record || *record >= memory.size()) continue;
            if (engine.playProgram(*record) == preview::EffectsEngine::Outcome::Stopped) return;
        }
        // Nothing to show in the whole round: rest instead of spinning.
        if (engine.ticks() == ticksBefore && !stop.stop_requested()) clock.sleepFor(20ms);
    }
}

PreviewPlayer::PreviewPlayer(platform::Clock& clock, std::vector<uint8_t> image,
                             std::vector<uint8_t> animationSet, Options options,
                             Callbacks callbacks)
    : m_impl(std::make_unique<Impl>(clock, std::move(image), animationSet, options,
                                    std::move(callbacks))) {}

PreviewPlayer::~PreviewPlayer() {
    stop();
}

int PreviewPlayer::width() const {
    return m_impl->frame.visibleWidth();
}

int PreviewPlayer::height() const {
    return m_impl->frame.height();
}

bool PreviewPlayer::playable() const {
    return m_impl->playable;
}

void PreviewPlayer::start() {
    Impl& impl = *m_impl;
    if (!impl.playable || impl.running) return;
    impl.stopSource = std::stop_source();
    impl.running = true;
    impl.player = impl.clock.startThread(
        [&impl, stop = impl.stopSource.get_token()](std::stop_token) { impl.play(stop); });
}

void PreviewPlayer::stop() {
    Impl& impl = *m_impl;
    if (!impl.running) return;
    impl.stopSource.request_stop();
    if (impl.player.joinable()) impl.player.join();
    if (impl.refresher.joinable()) impl.refresher.join();
    if (impl.border.joinable()) impl.border.join();
    impl.running = false;
}
