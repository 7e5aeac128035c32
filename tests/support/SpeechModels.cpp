#include "SpeechModels.h"

#include "TestEnvironment.h"
#include "WhisperModelWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace SpeechModels {

QString tinyModelPath() {
    static QTemporaryDir directory;
    static const QString path = [] {
        const QString file = directory.filePath(QStringLiteral("tiny-whisper.bin"));
        QString error;
        if (!writeWhisperModel(file, WhisperModelDims::tiny(), 1, &error)) {
            ADD_FAILURE() << "cannot write the test model: " << error.toStdString();
        }
        return file;
    }();
    return path;
}

void installTinyModel(const QString& catalogPath) {
    QDir().mkpath(QFileInfo(catalogPath).absolutePath());
    QFile::remove(catalogPath);
    if (!QFile::link(tinyModelPath(), catalogPath)) {
        ADD_FAILURE() << "cannot place the test model at " << catalogPath.toStdString();
    }
}

SampleBuffer toneSamples(double seconds) {
    const auto count = static_cast<std::size_t>(seconds * SampleRate::speech);
    SampleBuffer samples(count);
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> jitter(-0.05f, 0.05f);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / SampleRate::speech;
        samples[i] =
            0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * t)) + jitter(noise);
    }
    return samples;
}

} // namespace SpeechModels
