#pragma once

#include <atomic>
#include <exception>
#include <memory>

// Thrown by work that stopped because it was cancelled. Not an error: callers
// treat it as a quiet end.
class OperationCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

// A cancellation request shared between the thread that asks and the worker
// that checks it cooperatively.
class CancellationFlag {
public:
    CancellationFlag()
        : m_cancelled(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const { m_cancelled->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancelled->load(std::memory_order_relaxed); }
    void throwIfCancelled() const {
        if (isCancelled()) {
            throw OperationCancelled();
        }
    }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};
