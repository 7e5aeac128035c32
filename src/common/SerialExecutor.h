#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <type_traits>

// Coroutines in this code base never write a lambda (or another temporary
// with a destructor) inside a co_await expression: GCC 12 destroys such
// temporaries twice. Bind the task to a local first:
//
//     auto load = runDetached([path] { return load(path); });
//     auto result = co_await std::move(load);

namespace SerialExecutorDetail {

template <typename R>
struct Outcome {
    std::optional<R> value;
    std::exception_ptr error;
};

template <>
struct Outcome<void> {
    std::exception_ptr error;
};

// Runs `work` on `pool` and resumes the awaiting coroutine on its own thread
// with the result, or rethrows there what `work` threw.
template <typename F, typename R = std::invoke_result_t<F&>>
QCoro::Task<R> runIn(QThreadPool* pool, F work) {
    QFuture<Outcome<R>> future = QtConcurrent::run(pool, [work = std::move(work)]() mutable {
        Outcome<R> outcome;
        try {
            if constexpr (std::is_void_v<R>) {
                work();
            } else {
                outcome.value.emplace(work());
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
        return outcome;
    });
    Outcome<R> outcome = co_await future;
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    if constexpr (!std::is_void_v<R>) {
        co_return std::move(*outcome.value);
    }
}

} // namespace SerialExecutorDetail

// One dedicated worker thread that runs submitted work one item at a time,
// in order. Results come back to the thread that awaits them, so the main
// thread never blocks on the work. The worker thread lives as long as the
// executor; destroying the executor waits for the item in progress.
class SerialExecutor {
public:
    SerialExecutor() {
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(-1);
    }

    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    template <typename F>
    auto run(F work) {
        return SerialExecutorDetail::runIn(&m_pool, std::move(work));
    }

private:
    QThreadPool m_pool;
};

// Runs `work` once on the shared pool (for one-off jobs such as loading a
// model file) and resumes the awaiting coroutine with its result.
template <typename F>
auto runDetached(F work) {
    return SerialExecutorDetail::runIn(QThreadPool::globalInstance(), std::move(work));
}
