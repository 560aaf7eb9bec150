#pragma once

#include "platform/WaitEvent.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <vector>

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
    // Runs `body` on a thread of its own that takes part in this clock's time:
    // a virtual clock does not move past it until it waits or sleeps here. The
    // body gets the thread's stop token; dropping the result stops and joins.
    virtual std::jthread startThread(std::function<void(std::stop_token)> body) {
        return std::jthread(std::move(body));
    }
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override;
    void sleepFor(Duration d) override;
    WaitResult wait(WaitEvent& event, Duration timeout) override;
};

// Time moves only when someone waits or sleeps, and then jumps straight to the
// next moment at which a waiter wakes: when an armed event completes, a wait's
// deadline or a sleep's end.
//
// Threads that run side by side take part through a Participant, so that the
// order of what they do on virtual time is always the same:
// - Time moves only when the thread of every participant is blocked in wait()
//   or sleepFor() on this clock, and no waiter that was woken or whose event was
//   set has returned yet. It then jumps to the earliest wake-up among all
//   waiters, and every waiter due then wakes (together, in no set order).
// - An event set by another thread wakes its waiter at the present time.
// - A participant counts from join() on. startThreads makes the participants
//   of all its threads before it starts any, so time cannot run ahead of a
//   thread that is not running yet.
// - A participant that leaves (leave(), or its handle destroyed) no longer holds
//   time back. Its thread must leave before it ends, and before it blocks on
//   anything but this clock (a plain mutex, a join): a participant that is not
//   blocked here holds time back for ever.
// - A thread without a participant holds time back only while it waits here.
//   With no participants at all, a lone thread's waits and sleeps end at once.
// - Threads that set or arm a waiter's event should take part, so that time
//   cannot pass while they are on their way to doing it.
// A participant must not outlive its clock.
class VirtualClock final : public Clock {
public:
    class Participant {
    public:
        Participant() = default;
        Participant(Participant&& other) noexcept : m_clock(other.m_clock), m_id(other.m_id) {
            other.m_clock = nullptr;
        }
        Participant& operator=(Participant&& other) noexcept;
        ~Participant() { leave(); }

        void leave();

    private:
        friend class VirtualClock;
        // From now on the calling thread is the one this participant stands for.
        void bindToThisThread();
        Participant(VirtualClock* clock, uint64_t id) : m_clock(clock), m_id(id) {}
        VirtualClock* m_clock = nullptr;
        uint64_t m_id = 0;
    };

    VirtualClock() = default;
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    TimePoint now() const override { return TimePoint(Duration(m_now.load())); }
    void sleepFor(Duration d) override;
    WaitResult wait(WaitEvent& event, Duration timeout) override;
    // Moves time on by `d` at once and wakes whoever is due.
    void advance(Duration d);
    // Time passed since the clock was made.
    Duration elapsed() const { return Duration(m_now.load()) - Duration(kStart); }

    // A participant standing for the calling thread.
    [[nodiscard]] Participant join();
    // Its participant exists before the thread runs and leaves when the body
    // returns. Whoever joins the thread must not be a participant itself.
    std::jthread startThread(std::function<void(std::stop_token)> body) override;
    // Runs each body on a thread of its own that takes part from this call on
    // and leaves when its body returns; a body may take its Participant&. All
    // participants exist before any of the threads runs, so none of them can
    // run ahead of one that has not started yet. Dropping the result waits
    // for them all to end.
    template <class... Bodies>
    std::array<std::jthread, sizeof...(Bodies)> startThreads(Bodies... bodies) {
        // They stand for no thread until theirs runs: a wait of the calling
        // thread must not count as one of theirs.
        std::array<Participant, sizeof...(Bodies)> seats{
            (static_cast<void>(sizeof(Bodies)), join(std::thread::id()))...};
        std::size_t next = 0;
        // A braced list runs left to right.
        return {startThread(std::move(seats[next++]), std::move(bodies))...};
    }

private:
    struct Waiter {
        Waiter(WaitEvent* e, TimePoint d) : event(e), deadline(d) {}
        const std::thread::id thread = std::this_thread::get_id();
        WaitEvent* const event;  // none for a sleep
        const TimePoint deadline;
        TimePoint wakeAt;
        std::atomic<bool> woken{false};
    };

    template <class Body>
    static std::jthread startThread(Participant seat, Body body) {
        return std::jthread([seat = std::move(seat), body = std::move(body)]() mutable {
            seat.bindToThisThread();
            if constexpr (std::is_invocable_v<Body&, Participant&>)
                body(seat);
            else
                body();
            seat.leave();
        });
    }
    void startWaiting(Waiter& waiter);
    void stopWaiting(Waiter& waiter);
    Participant join(std::thread::id thread);
    void bindParticipant(uint64_t id);
    void dropParticipant(uint64_t id);
    // Wakes the waiters that are due and moves time when no one can act any more.
    void settleLocked();
    void wakeLocked(Waiter& waiter);

    // Away from zero so that "no time" and "the start" never look alike.
    static constexpr Duration::rep kStart =
        std::chrono::duration_cast<Duration>(std::chrono::hours(1)).count();
    // Written under m_mutex; read without it by now().
    std::atomic<Duration::rep> m_now{kStart};
    std::mutex m_mutex;
    std::condition_variable m_sleepers;
    std::vector<Waiter*> m_waiters;
    std::map<uint64_t, std::thread::id> m_participants;
    uint64_t m_nextParticipant = 1;
};

}  // namespace platform
