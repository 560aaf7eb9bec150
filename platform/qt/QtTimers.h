#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

namespace platform {

// Timers known by the numbers a window's logic gives them, as native window
// timers are: starting a running one restarts it with the new period, and each
// goes on firing until it is stopped. They belong to the owner's thread and
// go with the owner; the one named `timerN` is the timer of id N.
class QtTimers {
public:
    using Expired = std::function<void(int id)>;

    QtTimers(QObject* owner, Expired expired) : m_owner(owner), m_expired(std::move(expired)) {}
    QtTimers(const QtTimers&) = delete;
    QtTimers& operator=(const QtTimers&) = delete;
    ~QtTimers() { stopAll(); }

    void start(int id, int milliseconds) {
        QTimer*& timer = m_timers[id];
        if (!timer) {
            timer = new QTimer(m_owner);
            timer->setObjectName(QStringLiteral("timer%1").arg(id));
            QObject::connect(timer, &QTimer::timeout, m_owner, [this, id] { m_expired(id); });
        }
        timer->start(std::max(milliseconds, 0));
    }

    void stop(int id) {
        if (auto found = m_timers.find(id); found != m_timers.end()) found->second->stop();
    }

    // Before the owner's parts go: nothing fires into them any more.
    void stopAll() {
        for (auto& [id, timer] : m_timers)
            timer->stop();
    }

private:
    QObject* m_owner;
    Expired m_expired;
    std::map<int, QTimer*> m_timers;
};

}  // namespace platform
