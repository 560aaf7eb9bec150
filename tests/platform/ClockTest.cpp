#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using platform::VirtualClock;
using platform::WaitEvent;
using platform::WaitResult;

namespace {

// What the threads did, in the order they did it, each with its virtual time in ms.
class Timeline {
public:
    explicit Timeline(const VirtualClock& clock) : m_clock(clock) {}
    void note(std::string what) {
        auto at = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.elapsed()).count();
        std::lock_guard lock(m_mutex);
        m_entries.emplace_back(std::move(what), at);
    }
    std::vector<std::pair<std::string, long long>> entries() {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    const VirtualClock& m_clock;
    std::mutex m_mutex;
    std::vector<std::pair<std::string, long long>> m_entries;
};

using Entries = std::vector<std::pair<std::string, long long>>;

TEST(VirtualClockAlone, AWaitEndsAtOnceAtWhatEndsIt) {
    VirtualClock clock;
    WaitEvent event;
    bool ran = false;
    event.armAt(clock.now() + 300ms, [&] { ran = true; });
    EXPECT_EQ(clock.wait(event, 500ms), WaitResult::Signalled);
    EXPECT_TRUE(ran);
    EXPECT_EQ(clock.elapsed(), 300ms);
    EXPECT_EQ(clock.wait(event, 500ms), WaitResult::TimedOut);
    EXPECT_EQ(clock.elapsed(), 800ms);
    event.set();
    EXPECT_EQ(clock.wait(event, 500ms), WaitResult::Signalled);
    clock.sleepFor(5ms);
    EXPECT_EQ(clock.elapsed(), 805ms);
    // Time never runs backwards.
    EXPECT_EQ(clock.wait(event, -5ms), WaitResult::TimedOut);
    clock.sleepFor(-5ms);
    clock.advance(-5ms);
    EXPECT_EQ(clock.elapsed(), 805ms);
    event.breakNextWait();
    EXPECT_EQ(clock.wait(event, 500ms), WaitResult::Failed);
    EXPECT_EQ(clock.elapsed(), 805ms);
}

TEST(VirtualClockParticipants, SleepersWakeInTurnAtTheirOwnTimes) {
    VirtualClock clock;
    Timeline timeline(clock);
    clock.startThreads(
        [&] {
            clock.sleepFor(30ms);
            timeline.note("a");
        },
        [&] {
            // However late this thread starts, time has waited for it.
            timeline.note("b starts");
            clock.sleepFor(10ms);
            timeline.note("b");
            clock.sleepFor(10ms);
            timeline.note("b");
        });
    EXPECT_EQ(timeline.entries(), (Entries{{"b starts", 0}, {"b", 10}, {"b", 20}, {"a", 30}}));
    EXPECT_EQ(clock.elapsed(), 30ms);
}

TEST(VirtualClockParticipants, AnEventSetByAnotherThreadWakesItsWaiterAtThatTime) {
    VirtualClock clock;
    Timeline timeline(clock);
    WaitEvent ready;
    WaitResult result = WaitResult::Failed;
    clock.startThreads(
        [&] {
            result = clock.wait(ready, 500ms);
            timeline.note("a wakes");
            clock.sleepFor(1ms);
            timeline.note("a");
        },
        [&] {
            clock.sleepFor(5ms);
            timeline.note("b sets");
            ready.set();
            clock.sleepFor(100ms);
            timeline.note("b");
        });
    EXPECT_EQ(result, WaitResult::Signalled);
    EXPECT_EQ(timeline.entries(), (Entries{{"b sets", 5}, {"a wakes", 5}, {"a", 6}, {"b", 105}}));
}

TEST(VirtualClockParticipants, AnEventArmedByAnotherThreadCompletesOnItsWaiter) {
    // As a simulated device answers a read that was waiting when another thread wrote.
    VirtualClock clock;
    Timeline timeline(clock);
    WaitEvent reply;
    WaitResult result = WaitResult::Failed;
    std::thread::id waiter, ranOn;
    clock.startThreads(
        [&] {
            waiter = std::this_thread::get_id();
            result = clock.wait(reply, 500ms);
            timeline.note("a");
        },
        [&] {
            clock.sleepFor(5ms);
            reply.armAt(clock.now() + 2ms, [&] {
                ranOn = std::this_thread::get_id();
                timeline.note("reply");
            });
            clock.sleepFor(100ms);
            timeline.note("b");
        });
    EXPECT_EQ(result, WaitResult::Signalled);
    EXPECT_EQ(ranOn, waiter);
    EXPECT_EQ(timeline.entries(), (Entries{{"reply", 7}, {"a", 7}, {"b", 105}}));
}

TEST(VirtualClockParticipants, OneThatLeavesNoLongerHoldsTimeBack) {
    VirtualClock clock;
    Timeline timeline(clock);
    std::latch aDone(1);
    clock.startThreads(
        [&] {
            clock.sleepFor(10ms);
            timeline.note("a");
            aDone.count_down();
        },
        // b then blocks where the clock cannot see it, which it may only do
        // once it has left.
        [&](VirtualClock::Participant& self) {
            clock.sleepFor(3ms);
            timeline.note("b leaves");
            self.leave();
            aDone.wait();
            timeline.note("b");
        });
    EXPECT_EQ(timeline.entries(), (Entries{{"b leaves", 3}, {"a", 10}, {"b", 10}}));
}

TEST(VirtualClockParticipants, TheTestsOwnThreadTakesPartThroughJoin) {
    VirtualClock clock;
    Timeline timeline(clock);
    WaitEvent never;
    auto self = clock.join();
    auto threads = clock.startThreads([&] {
        clock.sleepFor(10ms);
        timeline.note("a");
        clock.sleepFor(30ms);
        timeline.note("a");
    });
    EXPECT_EQ(clock.wait(never, 25ms), WaitResult::TimedOut);
    timeline.note("main");
    // Waiting for the thread to end is a block the clock cannot see.
    self.leave();
    threads[0].join();
    EXPECT_EQ(timeline.entries(), (Entries{{"a", 10}, {"main", 25}, {"a", 40}}));
}

}  // namespace
