#include "platform/Clock.h"

#include <QTimer>

namespace {

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }

    void schedule(Duration delay, QObject* context, std::function<void()> callback) override {
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, context, std::move(callback));
    }
};

} // namespace

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}
