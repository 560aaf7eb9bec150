#pragma once

#include "platform/Clock.h"
#include "platform/WaitEvent.h"

#include <chrono>
#include <functional>
#include <mutex>

namespace platform {

// A lock whose waiters wait through a Clock: a virtual clock sees them waiting,
// and a waiter can keep its window painting, or give up, between tries.
class ClockLock {
public:
    // Takes the lock. While it is held elsewhere, `whileWaiting` runs after
    // every `poll` and on every release; when it returns false the caller gives
    // up and lock() returns false without the lock.
    bool lock(Clock& clock, const std::function<bool()>& whileWaiting = {},
              Clock::Duration poll = std::chrono::milliseconds(50)) {
        for (;;) {
            if (tryLock()) return true;
            if (whileWaiting && !whileWaiting()) return false;
            clock.wait(m_released, poll);
        }
    }

    bool tryLock() {
        std::lock_guard guard(m_mutex);
        if (m_held) return false;
        m_held = true;
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(m_mutex);
            m_held = false;
        }
        m_released.set();
    }

private:
    std::mutex m_mutex;
    bool m_held = false;
    WaitEvent m_released;
};

}  // namespace platform
