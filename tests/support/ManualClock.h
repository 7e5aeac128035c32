#pragma once

#include "platform/Clock.h"

#include <QPointer>

#include <vector>

// A clock that only moves when the test advances it; delayed calls run
// during advance() once their time has come, in order.
class ManualClock final : public Clock {
public:
    ManualClock();

    TimePoint now() const override { return m_now; }
    QDateTime currentDateTime() const override;
    void schedule(Duration delay, QObject* context, std::function<void()> callback) override;

    void advance(Duration duration);
    void setCurrentDateTime(const QDateTime& dateTime);
    std::size_t pendingCount() const { return m_pending.size(); }

private:
    struct Pending {
        TimePoint due;
        quint64 order;
        QPointer<QObject> context;
        std::function<void()> callback;
    };

    TimePoint m_now;
    QDateTime m_wallClockStart;
    TimePoint m_wallClockAnchor;
    quint64 m_nextOrder = 0;
    std::vector<Pending> m_pending;
};
