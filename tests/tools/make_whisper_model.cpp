// Writes a random-weight whisper model in the real ggml file format, for
// benchmarks and manual runs that need a model file of realistic size:
//   make_whisper_model OUT.bin [--turbo] [--seed N]
// Without --turbo the model has the tiny test dimensions.
#include "WhisperModelWriter.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

int usage() {
    std::fprintf(stderr, "usage: make_whisper_model OUT.bin [--turbo] [--seed N]\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QString path;
    WhisperModelDims dims = WhisperModelDims::tiny();
    std::uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--turbo") == 0) {
            dims = WhisperModelDims::largeV3Turbo();
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            bool ok = false;
            seed = QString::fromLocal8Bit(argv[++i]).toUInt(&ok);
            if (!ok) {
                return usage();
            }
        } else if (argv[i][0] != '-' && path.isEmpty()) {
            path = QString::fromLocal8Bit(argv[i]);
        } else {
            return usage();
        }
    }
    if (path.isEmpty()) {
        return usage();
    }

    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!writeWhisperModel(path, dims, seed, &error)) {
        std::fprintf(stderr, "make_whisper_model: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s: %lld bytes in %.1f s\n", qPrintable(path),
                static_cast<long long>(whisperModelFileSize(dims)),
                static_cast<double>(timer.elapsed()) / 1000.0);
    return 0;
}
