#pragma once

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace MediaFiles {

// Runs ffmpeg with `arguments` and writes `path`. A format this ffmpeg cannot
// write is a failure, so nothing is skipped silently.
::testing::AssertionResult generate(const QString& path, const QStringList& arguments);

// ffmpeg input arguments for `seconds` of a 440 Hz tone at `sampleRate`.
QStringList sine(int sampleRate, double seconds);

} // namespace MediaFiles
