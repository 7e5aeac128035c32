#pragma once

#include <vector>

// Audio as the speech model takes it: 32-bit float samples, 16 kHz, one
// channel. Durations are sample count / sampleRate seconds.
using SampleBuffer = std::vector<float>;

namespace SampleRate {
constexpr double speech = 16000.0;
}
