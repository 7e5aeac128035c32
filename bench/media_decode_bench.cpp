// Decoding the longest media accepted: the wall time of decodeAudio on a
// two-hour MP3 against the ffmpeg command line doing the same conversion
// (target: at most 1.1 times as long), and the peak memory of this process
// (target: at most 1.1 times the size of the decoded samples).
//
// Usage: bench_media_decode [file]   (without a file, a two-hour MP3 of pink
// noise, 16 kHz mono, 32 kbit/s, is generated in a temporary directory).
#include "speech/MediaDecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

// Just under two hours: an MP3's container duration includes the encoder's
// padding, so a file cut at exactly 7200 s reads as a little longer.
constexpr int mediaSeconds = 7199;
constexpr int runs = 2;
constexpr double megabyte = 1000.0 * 1000.0;

bool runFfmpeg(const QStringList& arguments, double* seconds = nullptr) {
    QProcess ffmpeg;
    ffmpeg.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"),
                             QStringLiteral("error"), QStringLiteral("-y")} +
                     arguments);
    const bool finished = ffmpeg.waitForFinished(-1);
    if (seconds) {
        *seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    }
    if (!finished || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The peak resident set size of this process in bytes.
double peakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0.0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024.0;
        }
    }
    return 0.0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (file.isEmpty()) {
        file = dir.filePath(QStringLiteral("two-hours.mp3"));
        std::printf("generating %d s of MP3 ...\n", mediaSeconds);
        std::fflush(stdout);
        double seconds = 0.0;
        if (!runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("anoisesrc=color=pink:sample_rate=16000:amplitude=0.3"),
                        QStringLiteral("-t"), QString::number(mediaSeconds), QStringLiteral("-ac"),
                        QStringLiteral("1"), QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                        QStringLiteral("-b:a"), QStringLiteral("32k"), file},
                       &seconds)) {
            return 1;
        }
        std::printf("generated in %.1f s\n", seconds);
    }
    std::printf("file: %s (%.1f MB)\n", qPrintable(file),
                static_cast<double>(QFileInfo(file).size()) / megabyte);

    const double startPeak = peakResidentBytes();
    double bestFfmpeg = std::numeric_limits<double>::infinity();
    double bestDecode = std::numeric_limits<double>::infinity();
    size_t sampleCount = 0;
    for (int run = 0; run < runs; ++run) {
        double seconds = 0.0;
        if (!runFfmpeg({QStringLiteral("-i"), file, QStringLiteral("-ac"), QStringLiteral("1"),
                        QStringLiteral("-ar"), QStringLiteral("16000"), QStringLiteral("-f"),
                        QStringLiteral("f32le"), QStringLiteral("-")},
                       &seconds)) {
            return 1;
        }
        bestFfmpeg = std::min(bestFfmpeg, seconds);
        std::printf("ffmpeg -ac 1 -ar 16000 -f f32le: %.2f s\n", seconds);

        QElapsedTimer timer;
        timer.start();
        try {
            const SampleBuffer samples = MediaDecoder::decodeAudio(
                file, [](double) {}, CancellationFlag());
            sampleCount = samples.size();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "decodeAudio failed: %s\n", error.what());
            return 1;
        }
        const double decodeSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        bestDecode = std::min(bestDecode, decodeSeconds);
        std::printf("decodeAudio: %.2f s, %zu samples\n", decodeSeconds, sampleCount);
        std::fflush(stdout);
    }

    const double sampleBytes = static_cast<double>(sampleCount) * sizeof(float);
    const double peak = peakResidentBytes();
    const double timeRatio = bestDecode / bestFfmpeg;
    const double memoryRatio = peak / sampleBytes;
    std::printf(
        "\nbest of %d: decodeAudio %.2f s, ffmpeg %.2f s, ratio %.3f (target <= 1.10: %s)\n", runs,
        bestDecode, bestFfmpeg, timeRatio, timeRatio <= 1.1 ? "met" : "MISSED");
    std::printf("peak memory (VmHWM) %.1f MB for %.1f MB of samples, ratio %.3f (target <= 1.10: "
                "%s); %.1f MB of it before decoding\n",
                peak / megabyte, sampleBytes / megabyte, memoryRatio,
                memoryRatio <= 1.1 ? "met" : "MISSED", startPeak / megabyte);
    return 0;
}
