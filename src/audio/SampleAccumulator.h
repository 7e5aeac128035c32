#pragma once

#include "audio/SampleBuffer.h"

#include <mutex>

// The growing recording: the audio thread appends converted blocks while the
// main thread resets and drains it. Every access takes the lock.
class SampleAccumulator {
public:
    void append(const SampleBuffer& samples);
    void reset();
    // Everything appended since the last reset; leaves the accumulator empty.
    SampleBuffer takeAll();
    std::size_t count() const;

private:
    mutable std::mutex m_lock;
    SampleBuffer m_samples;
};
