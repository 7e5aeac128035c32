#pragma once

// Blocking helpers for tests of coroutine-based services: they run the Qt
// event loop until the awaited work is done. Unlike QCoro::waitFor they also
// return when the task throws, and rethrow what it threw.

#include <QEventLoop>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <type_traits>

namespace AwaitTaskDetail {

template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::optional<T>* result, std::exception_ptr* error,
                      bool* done) {
    try {
        result->emplace(co_await std::move(task));
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

inline QCoro::Task<> captureVoid(QCoro::Task<> task, std::exception_ptr* error, bool* done) {
    try {
        co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

} // namespace AwaitTaskDetail

// Runs the event loop until `done()` holds or `timeoutMs` passes; returns
// whether it holds.
template <typename Predicate>
bool waitUntil(Predicate done, int timeoutMs = 60000) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start(2);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Awaits `task` from ordinary code and returns its result or rethrows.
template <typename T>
T awaitTask(QCoro::Task<T>&& task) {
    std::exception_ptr error;
    bool done = false;
    if constexpr (std::is_void_v<T>) {
        auto runner = AwaitTaskDetail::captureVoid(std::move(task), &error, &done);
        waitUntil([&] { return done; });
        if (error) {
            std::rethrow_exception(error);
        }
    } else {
        std::optional<T> result;
        auto runner = AwaitTaskDetail::capture(std::move(task), &result, &error, &done);
        waitUntil([&] { return done; });
        if (error) {
            std::rethrow_exception(error);
        }
        return std::move(*result);
    }
}
