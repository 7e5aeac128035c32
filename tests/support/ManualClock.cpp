#include "ManualClock.h"

#include <algorithm>

ManualClock::ManualClock()
    : m_now(std::chrono::steady_clock::time_point{} + std::chrono::hours(1000))
    , m_wallClockStart(QDateTime::currentDateTime())
    , m_wallClockAnchor(m_now) {}

QDateTime ManualClock::currentDateTime() const {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_now - m_wallClockAnchor);
    return m_wallClockStart.addMSecs(elapsed.count());
}

void ManualClock::setCurrentDateTime(const QDateTime& dateTime) {
    m_wallClockStart = dateTime;
    m_wallClockAnchor = m_now;
}

void ManualClock::schedule(Duration delay, QObject* context, std::function<void()> callback) {
    m_pending.push_back({m_now + delay, m_nextOrder++, context, std::move(callback)});
}

void ManualClock::advance(Duration duration) {
    const TimePoint target = m_now + duration;
    for (;;) {
        auto next =
            std::min_element(m_pending.begin(), m_pending.end(), [](const auto& a, const auto& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
        if (next == m_pending.end() || next->due > target) {
            break;
        }
        Pending due = std::move(*next);
        m_pending.erase(next);
        m_now = std::max(m_now, due.due);
        if (due.context) {
            due.callback();
        }
    }
    m_now = target;
}
