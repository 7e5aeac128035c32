#pragma once

#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>

// Time as the services see it: a monotonic clock for measuring durations, the
// wall clock for what is stored, and delayed calls on the main thread. Tests
// substitute a clock they advance by hand, so nothing waits for real delays.
class Clock {
public:
    using Duration = std::chrono::steady_clock::duration;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;
    virtual QDateTime currentDateTime() const = 0;

    // Calls `callback` on the main thread once `delay` has passed. The call is
    // dropped if `context` is destroyed first.
    virtual void schedule(Duration delay, QObject* context, std::function<void()> callback) = 0;

    // The process-wide real clock.
    static Clock& system();
};

// Seconds between two time points as a double.
inline double secondsBetween(Clock::TimePoint from, Clock::TimePoint to) {
    return std::chrono::duration<double>(to - from).count();
}
