#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace batch {

// Messages for a thread without a window system (zentari-cli, tests): any
// thread posts, the owning thread runs them in order.
class MessageQueue {
public:
    void post(std::function<void()> message) {
        {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(std::move(message));
        }
        m_posted.notify_all();
    }

    // Runs what has been posted, including what those messages post; the count run.
    int runPending() {
        int ran = 0;
        for (;;) {
            std::function<void()> message;
            {
                std::lock_guard lock(m_mutex);
                if (m_messages.empty()) return ran;
                message = std::move(m_messages.front());
                m_messages.pop_front();
            }
            message();
            ++ran;
        }
    }

    // Waits on real time until something is posted or `timeout` passes, then runs it all.
    int waitAndRun(std::chrono::milliseconds timeout) {
        {
            std::unique_lock lock(m_mutex);
            m_posted.wait_for(lock, timeout, [this] { return !m_messages.empty(); });
        }
        return runPending();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_messages;
};

}  // namespace batch
