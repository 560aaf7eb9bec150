#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace platform {

// An auto-reset event that a caller hands to an I/O operation and then waits on
// through a Clock. Besides being set at once by whoever completes the I/O, it can
// be armed to complete at a point in time with an action that runs first (a
// simulated device fills the reply buffer there), so the same code runs on real
// and on virtual time.
class WaitEvent {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    void set();
    void reset();
    // Completes at `when`: `onComplete` runs once, then the event is set.
    void armAt(TimePoint when, std::function<void()> onComplete = {});
    void disarm();
    // The next wait on this event fails (a broken handle, say) instead of waiting.
    void breakNextWait();

    // For clocks. True once when a broken wait was asked for.
    bool takeBroken();
    // Runs a due armed action and consumes a set state; true when the event was set.
    bool tryTake(TimePoint now);
    // Blocks on real time until the event is set (then consumed) or `deadline` passes.
    bool waitUntil(TimePoint deadline);

    // For a clock that keeps its own time. One consistent look at the event.
    struct Look {
        bool set = false;
        std::optional<TimePoint> armedAt;
    };
    Look look();
    // Blocks until the event is set (not consumed) or `woken` is true. Whoever
    // stores `woken` calls wake() afterwards, so the store cannot be missed;
    // wake() itself sets nothing.
    void blockUntilSetOr(const std::atomic<bool>& woken);
    void wake();

private:
    void fireIfDue(TimePoint now, std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
    bool m_broken = false;
    std::optional<TimePoint> m_armedAt;
    std::function<void()> m_onComplete;
};

}  // namespace platform
