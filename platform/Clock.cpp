#include "platform/Clock.h"

#include <algorithm>
#include <thread>
#include <utility>

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

WaitEvent::Look WaitEvent::look() {
    std::lock_guard lock(m_mutex);
    return {m_set, m_armedAt};
}

void WaitEvent::blockUntilSetOr(const std::atomic<bool>& woken) {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return m_set || woken.load(); });
}

void WaitEvent::wake() {
    std::lock_guard lock(m_mutex);
    m_cv.notify_all();
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

Clock::TimePoint SteadyClock::now() const {
    return std::chrono::steady_clock::now();
}

void SteadyClock::sleepFor(Duration d) {
    std::this_thread::sleep_for(d);
}

WaitResult SteadyClock::wait(WaitEvent& event, Duration timeout) {
    if (event.takeBroken()) return WaitResult::Failed;
    return event.waitUntil(now() + timeout) ? WaitResult::Signalled : WaitResult::TimedOut;
}

namespace {

// `from` + `d`, held at the end of time instead of wrapping round.
Clock::TimePoint later(Clock::TimePoint from, Clock::Duration d) {
    if (d > Clock::TimePoint::max() - from) return Clock::TimePoint::max();
    return from + d;
}

}  // namespace

WaitResult VirtualClock::wait(WaitEvent& event, Duration timeout) {
    if (event.takeBroken()) return WaitResult::Failed;
    const TimePoint deadline = later(now(), std::max(timeout, Duration::zero()));
    for (;;) {
        if (event.tryTake(now())) return WaitResult::Signalled;
        if (now() >= deadline) return WaitResult::TimedOut;
        // Woken before the deadline with nothing to take: the armed action was
        // taken back meanwhile, so wait on.
        Waiter waiter(&event, deadline);
        startWaiting(waiter);
        event.blockUntilSetOr(waiter.woken);
        stopWaiting(waiter);
    }
}

void VirtualClock::sleepFor(Duration d) {
    if (d <= Duration::zero()) return;
    Waiter waiter(nullptr, later(now(), d));
    startWaiting(waiter);
    {
        std::unique_lock lock(m_mutex);
        m_sleepers.wait(lock, [&] { return waiter.woken.load(); });
    }
    stopWaiting(waiter);
}

void VirtualClock::advance(Duration d) {
    if (d <= Duration::zero()) return;
    std::lock_guard lock(m_mutex);
    m_now.store(later(now(), d).time_since_epoch().count());
    settleLocked();
}

void VirtualClock::startWaiting(Waiter& waiter) {
    std::lock_guard lock(m_mutex);
    m_waiters.push_back(&waiter);
    settleLocked();
}

void VirtualClock::stopWaiting(Waiter& waiter) {
    std::lock_guard lock(m_mutex);
    std::erase(m_waiters, &waiter);
    // A waiter that returns may have been all that held time back.
    settleLocked();
}

VirtualClock::Participant VirtualClock::join() {
    return join(std::this_thread::get_id());
}

VirtualClock::Participant VirtualClock::join(std::thread::id thread) {
    std::lock_guard lock(m_mutex);
    const uint64_t id = m_nextParticipant++;
    m_participants.emplace(id, thread);
    return Participant(this, id);
}

void VirtualClock::bindParticipant(uint64_t id) {
    std::lock_guard lock(m_mutex);
    m_participants[id] = std::this_thread::get_id();
    settleLocked();
}

void VirtualClock::dropParticipant(uint64_t id) {
    std::lock_guard lock(m_mutex);
    m_participants.erase(id);
    settleLocked();
}

void VirtualClock::wakeLocked(Waiter& waiter) {
    waiter.woken.store(true);
    if (waiter.event)
        waiter.event->wake();
    else
        m_sleepers.notify_all();
}

void VirtualClock::settleLocked() {
    const TimePoint present = now();
    std::optional<TimePoint> next;
    // Someone who can still act at the present time keeps it from moving.
    bool acting = false;
    std::vector<std::thread::id> blocked;
    for (Waiter* waiter : m_waiters) {
        if (waiter->woken.load()) {
            acting = true;
            continue;
        }
        TimePoint wake = waiter->deadline;
        if (waiter->event) {
            const WaitEvent::Look look = waiter->event->look();
            if (look.set) {
                acting = true;
                continue;
            }
            if (look.armedAt && *look.armedAt < wake) wake = *look.armedAt;
        }
        if (wake <= present) {
            wakeLocked(*waiter);
            acting = true;
            continue;
        }
        waiter->wakeAt = wake;
        blocked.push_back(waiter->thread);
        if (!next || wake < *next) next = wake;
    }
    if (acting || !next) return;
    for (const auto& [id, thread] : m_participants)
        if (std::find(blocked.begin(), blocked.end(), thread) == blocked.end()) return;
    m_now.store(next->time_since_epoch().count());
    for (Waiter* waiter : m_waiters)
        if (waiter->wakeAt <= *next) wakeLocked(*waiter);
}

VirtualClock::Participant& VirtualClock::Participant::operator=(Participant&& other) noexcept {
    if (this != &other) {
        leave();
        m_clock = std::exchange(other.m_clock, nullptr);
        m_id = other.m_id;
    }
    return *this;
}

std::jthread VirtualClock::startThread(std::function<void(std::stop_token)> body) {
    Participant seat = join(std::thread::id());
    return std::jthread(
        [seat = std::move(seat), body = std::move(body)](std::stop_token stop) mutable {
            seat.bindToThisThread();
            body(std::move(stop));
            seat.leave();
        });
}

void VirtualClock::Participant::bindToThisThread() {
    if (m_clock) m_clock->bindParticipant(m_id);
}

void VirtualClock::Participant::leave() {
    if (m_clock) std::exchange(m_clock, nullptr)->dropParticipant(m_id);
}

}  // namespace platform
