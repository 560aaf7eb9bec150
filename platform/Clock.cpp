#include "platform/Clock.h"

#include <thread>

namespace platform {

// Notified under the lock: a waiter that wakes may destroy the event at once.
void WaitEvent::set() {
    std::lock_guard lock(m_mutex);
    m_set = true;
    m_cv.notify_all();
}

void WaitEvent::reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

void WaitEvent::armAt(TimePoint when, std::function<void()> onComplete) {
    std::lock_guard lock(m_mutex);
    m_armedAt = when;
    m_onComplete = std::move(onComplete);
    m_cv.notify_all();
}

void WaitEvent::disarm() {
    std::lock_guard lock(m_mutex);
    m_armedAt.reset();
    m_onComplete = nullptr;
}

void WaitEvent::breakNextWait() {
    std::lock_guard lock(m_mutex);
    m_broken = true;
}

bool WaitEvent::takeBroken() {
    std::lock_guard lock(m_mutex);
    bool broken = m_broken;
    m_broken = false;
    return broken;
}

void WaitEvent::fireIfDue(TimePoint now, std::unique_lock<std::mutex>& lock) {
    if (!m_armedAt || *m_armedAt > now) return;
    m_armedAt.reset();
    auto action = std::move(m_onComplete);
    m_onComplete = nullptr;
    if (action) {
        // The action may touch the I/O's own state, which may in turn ask this event.
        lock.unlock();
        action();
        lock.lock();
    }
    m_set = true;
}

bool WaitEvent::tryTake(TimePoint now) {
    std::unique_lock lock(m_mutex);
    fireIfDue(now, lock);
    bool was = m_set;
    m_set = false;
    return was;
}

std::optional<WaitEvent::TimePoint> WaitEvent::armedAt() {
    std::lock_guard lock(m_mutex);
    return m_armedAt;
}

bool WaitEvent::waitUntil(TimePoint deadline) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        fireIfDue(now, lock);
        if (m_set) {
            m_set = false;
            return true;
        }
        if (now >= deadline) return false;
        TimePoint wake = deadline;
        if (m_armedAt && *m_armedAt < wake) wake = *m_armedAt;
        m_cv.wait_until(lock, wake);
    }
}

Clock::TimePoint SteadyClock::now() const { return std::chrono::steady_clock::now(); }

void SteadyClock::sleepFor(Duration d) { std::this_thread::sleep_for(d); }

WaitResult SteadyClock::wait(WaitEvent& event, Duration timeout) {
    if (event.takeBroken()) return WaitResult::Failed;
    return event.waitUntil(now() + timeout) ? WaitResult::Signalled : WaitResult::TimedOut;
}

WaitResult VirtualClock::wait(WaitEvent& event, Duration timeout) {
    if (event.takeBroken()) return WaitResult::Failed;
    TimePoint deadline = now() + timeout;
    if (event.tryTake(now())) return WaitResult::Signalled;
    if (auto armed = event.armedAt(); armed && *armed <= deadline) {
        if (*armed > now()) m_now = armed->time_since_epoch().count();
        if (event.tryTake(now())) return WaitResult::Signalled;
    }
    m_now = deadline.time_since_epoch().count();
    return WaitResult::TimedOut;
}

}  // namespace platform
