#pragma once

#include "audio/SampleBuffer.h"

#include <QString>

// A tiny whisper model with random weights, written once per test process
// and shared by the tests that need the real library.
namespace SpeechModels {

// Path of the shared tiny model (written on first use).
QString tinyModelPath();

// Places the tiny model where the catalog expects the given speech model
// file (under the current XDG data directory).
void installTinyModel(const QString& catalogPath);

// `seconds` of a 440 Hz tone over light noise at 16 kHz.
SampleBuffer toneSamples(double seconds);

} // namespace SpeechModels
