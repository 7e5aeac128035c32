// Overhead of dictation recognition: TranscriptionService::transcribe on 10 s
// of speech against a bare whisper_full call with the same parameters, model
// and samples. The ratio is what the service adds (worker thread hand-off,
// copies, segment assembly); target <= 1.02.
//
// Usage: bench_transcription [--turbo] [--runs N]
//   --turbo  use a generated model with the real Large-V3-Turbo dimensions
//            (1.6 GB, slow); the default is the tiny test model.
#include "AwaitTask.h"
#include "WhisperModelWriter.h"
#include "common/Cancellation.h"
#include "common/NativeLibraries.h"
#include "speech/MediaDecoder.h"
#include "speech/TranscriptionService.h"
#include "speech/WhisperContext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <whisper.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

SampleBuffer speechSamples(const QTemporaryDir& dir) {
    const QString wav = dir.filePath(QStringLiteral("speech.wav"));
    const QString sentence = QStringLiteral(
        "The quarterly report is due on Friday, so please send me your figures by Wednesday "
        "afternoon. We will review the numbers together and then share a summary with the team.");
    QProcess espeak;
    espeak.start(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), wav, sentence});
    espeak.waitForFinished(60000);
    SampleBuffer samples = MediaDecoder::decodeAudio(
        wav, [](double) {}, CancellationFlag());
    samples.resize(10 * 16000, 0.0f); // exactly 10 s
    return samples;
}

double bareWhisperFull(const QString& modelPath, const SampleBuffer& samples) {
    whisper_context_params contextParams = whisper_context_default_params();
    contextParams.use_gpu = true;
    whisper_context* context =
        whisper_init_from_file_with_params(modelPath.toUtf8().constData(), contextParams);
    const QByteArray language("en");
    const whisper_full_params params = WhisperContext::decodingParameters(language);
    QElapsedTimer timer;
    timer.start();
    whisper_full(context, params, samples.data(), static_cast<int>(samples.size()));
    QString text;
    for (int i = 0; i < whisper_full_n_segments(context); ++i) {
        text += QString::fromUtf8(whisper_full_get_segment_text(context, i));
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    whisper_free(context);
    return seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool turbo = arguments.contains(QStringLiteral("--turbo"));
    int runs = 3;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--runs")); at > 0) {
        runs = std::max(1, arguments.value(at + 1).toInt());
    }
    NativeLibraries::initialise();

    QTemporaryDir dir;
    const QString modelPath = dir.filePath(QStringLiteral("model.bin"));
    if (!writeWhisperModel(modelPath,
                           turbo ? WhisperModelDims::largeV3Turbo() : WhisperModelDims::tiny())) {
        std::fprintf(stderr, "cannot write the model\n");
        return 1;
    }
    const SampleBuffer samples = speechSamples(dir);

    TranscriptionService service([modelPath](WhisperModel::Kind) { return modelPath; });
    awaitTask(service.ensureLoaded(WhisperModel::Kind::turbo));

    std::vector<double> serviceTimes;
    std::vector<double> bareTimes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        awaitTask(service.transcribe(samples, QStringLiteral("en"), WhisperModel::Kind::turbo));
        serviceTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        bareTimes.push_back(bareWhisperFull(modelPath, samples));
    }
    const double bestService = *std::min_element(serviceTimes.begin(), serviceTimes.end());
    const double bestBare = *std::min_element(bareTimes.begin(), bareTimes.end());
    std::printf("model: %s, 10 s of speech, %d runs (best of each)\n",
                turbo ? "Large-V3-Turbo dimensions" : "tiny", runs);
    std::printf("service transcribe: %.3f s\nbare whisper_full: %.3f s\nratio: %.3f (target <= "
                "1.02)\n",
                bestService, bestBare, bestService / bestBare);
    return 0;
}
