#include "common/Observe.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Counter : public QObject {
    Q_OBJECT
public:
    int value() const { return m_value; }
    void setValue(int value) {
        m_value = value;
        emit valueChanged(value);
    }
signals:
    void valueChanged(int value);

private:
    int m_value = 5;
};

TEST(ObserveTest, DeliversCurrentValueThenChangesUntilTheContextGoes) {
    Counter counter;
    QList<int> seen;
    auto context = std::make_unique<QObject>();
    observe(&counter, &Counter::value, &Counter::valueChanged, context.get(),
            [&seen](int value) { seen.append(value); });
    counter.setValue(6);
    counter.setValue(6);
    context.reset();
    counter.setValue(7);
    EXPECT_EQ(seen, (QList<int>{5, 6, 6}));
}

TEST(ObserveTest, DisconnectingTheReturnedConnectionEndsTheSubscription) {
    Counter counter;
    QObject context;
    int calls = 0;
    const auto connection = observe(&counter, &Counter::value, &Counter::valueChanged, &context,
                                    [&calls](int) { ++calls; });
    QObject::disconnect(connection);
    counter.setValue(1);
    EXPECT_EQ(calls, 1);
}

} // namespace

#include "ObserveTest.moc"
