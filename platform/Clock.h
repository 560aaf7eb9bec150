#pragma once

#include "platform/WaitEvent.h"

#include <atomic>
#include <chrono>

namespace platform {

enum class WaitResult { Signalled, TimedOut, Failed };

// Time for everything that waits or sleeps, so tests can run on virtual time.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    virtual void sleepFor(Duration d) = 0;
    // Waits for the event for at most `timeout`; a set event is consumed (auto-reset).
    virtual WaitResult wait(WaitEvent& event, Duration timeout) = 0;
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override;
    void sleepFor(Duration d) override;
    WaitResult wait(WaitEvent& event, Duration timeout) override;
};

// Time moves only when someone waits or sleeps: a wait that an armed event
// would end jumps to that point, any other wait jumps to its deadline.
class VirtualClock final : public Clock {
public:
    TimePoint now() const override { return TimePoint(Duration(m_now.load())); }
    void sleepFor(Duration d) override { m_now += d.count(); }
    WaitResult wait(WaitEvent& event, Duration timeout) override;
    void advance(Duration d) { m_now += d.count(); }
    // Time passed since the clock was made.
    Duration elapsed() const { return Duration(m_now.load()) - Duration(kStart); }

private:
    // Away from zero so that "no time" and "the start" never look alike.
    static constexpr Duration::rep kStart = std::chrono::duration_cast<Duration>(std::chrono::hours(1)).count();
    std::atomic<Duration::rep> m_now{kStart};
};

}  // namespace platform
