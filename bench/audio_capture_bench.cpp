// Microphone capture speed:
//  (a) converting 48 kHz stereo float blocks of 4096 frames to speech samples
//      on one thread, the work the audio thread does per block, as a multiple
//      of real time (target: at least 500 times);
//  (b) the time from start() to the first converted sample against a private
//      PulseAudio server that is fed audio continuously (target: at most 50 ms).
//
// Usage: bench_audio_capture
#include "PulseAudioServer.h"
#include "audio/AudioRecorder.h"
#include "audio/ConverterCache.h"
#include "audio/SampleAccumulator.h"
#include "platform/Clock.h"
#include "platform/linux/QtAudioInputBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int blockFrames = 4096;
constexpr double convertedSeconds = 1800.0;
constexpr int startRuns = 20;

double conversionSpeed() {
    const AudioFormat format{
        .sampleRate = 48000.0, .channels = 2, .sampleFormat = SampleFormat::float32};
    std::vector<float> block(static_cast<size_t>(blockFrames) * 2);
    for (size_t index = 0; index < block.size(); ++index) {
        block[index] = 0.5f * std::sin(static_cast<float>(index) * 0.01f);
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.data());
    const std::uint8_t* const planes[] = {bytes};

    ConverterCache cache;
    SampleAccumulator accumulator;
    const int blocks = static_cast<int>(convertedSeconds * format.sampleRate / blockFrames);
    QElapsedTimer timer;
    timer.start();
    for (int index = 0; index < blocks; ++index) {
        const auto converter = cache.converter(format);
        accumulator.append(converter->convert(planes, blockFrames));
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double audioSeconds = static_cast<double>(blocks) * blockFrames / format.sampleRate;
    std::printf("conversion: %.0f s of 48 kHz stereo float in %.3f s (%zu samples out)\n",
                audioSeconds, seconds, accumulator.count());
    return audioSeconds / seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);

    const double speed = conversionSpeed();
    std::printf("(a) conversion speed: %.0fx real time (target >= 500x)\n", speed);

    PulseAudioServer server;
    if (!server.start()) {
        std::fprintf(stderr, "cannot start PulseAudio: %s\n", qPrintable(server.error()));
        return 1;
    }
    server.pactl({QStringLiteral("set-default-source"), QStringLiteral("mic")});

    // Feed the mic in real time, 10 ms at a time, as a microphone would.
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        const QByteArray chunk(480 * 4, '\x10');
        auto next = std::chrono::steady_clock::now();
        while (feeding) {
            server.writeToMic(chunk);
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
    });

    QtAudioInputBackend backend;
    AudioRecorder recorder(backend, Clock::system());
    std::vector<double> latencies;
    for (int run = 0; run < startRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        recorder.start(std::nullopt);
        while (recorder.capturedSampleCount() == 0 && timer.elapsed() < 2000) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        latencies.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        recorder.stop();
        QCoreApplication::processEvents();
    }
    feeding = false;
    feeder.join();

    std::sort(latencies.begin(), latencies.end());
    std::printf("(b) start() to first sample over %d runs: median %.1f ms, max %.1f ms, "
                "min %.1f ms (target <= 50 ms)\n",
                startRuns, latencies[latencies.size() / 2], latencies.back(), latencies.front());
    return 0;
}
