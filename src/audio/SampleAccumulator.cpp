#include "audio/SampleAccumulator.h"

#include <utility>

void SampleAccumulator::append(const SampleBuffer& samples) {
    const std::lock_guard lock(m_lock);
    m_samples.insert(m_samples.end(), samples.begin(), samples.end());
}

void SampleAccumulator::reset() {
    const std::lock_guard lock(m_lock);
    m_samples.clear();
}

SampleBuffer SampleAccumulator::takeAll() {
    const std::lock_guard lock(m_lock);
    return std::exchange(m_samples, SampleBuffer());
}

std::size_t SampleAccumulator::count() const {
    const std::lock_guard lock(m_lock);
    return m_samples.size();
}
