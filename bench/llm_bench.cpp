// Speed of the language-model runtime and of one transcript cleanup.
//
// 1. Tokens per second of LlamaContext::generate against a bare llama.cpp
//    decode loop (same model file, prompt, greedy sampling and stop rule);
//    the ratio is what the runtime adds (worker hand-off, prompt formatting,
//    piece assembly); target >= 0.97.
// 2. The time of one full cleanup of a 60-word, non-risky transcript with
//    validation on (TextCleanupService::clean, model already loaded).
//
// Usage: bench_llm [--qwen3-1.7b] [--tokens N] [--runs N] [--skip-cleanup]
//   --qwen3-1.7b  a generated model with the real Qwen3-1.7B shape in Q4_K
//                 (about 1.1 GB); the default is the tiny test model.
// The main thread waits in a plain event loop (no polling), as the
// application does, so it takes no processor time from the decoding threads.
// Random weights never emit the end token early, so a cleanup here runs to
// its full token budget on both attempts: a real model stops much sooner.
#include "AwaitTask.h"
#include "QwenModelWriter.h"
#include "common/NativeLibraries.h"
#include "llm/LlamaContext.h"
#include "llm/TextCleanupService.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <llama.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Built on first use: the prompts are statics of another translation unit.
QString systemPrompt() { return TextCleanupService::cleanupSystemPrompt; }
QString userMessage() {
    return QStringLiteral("so i went to the store this morning and bought some milk and bread") +
           TextCleanupService::userMessageSuffix;
}

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The plainest generation llama.cpp allows: decode the prompt, then sample
// greedily and decode one token at a time. Returns the seconds taken and the
// number of tokens produced.
std::pair<double, int> bareGeneration(llama_context* context, const llama_vocab* vocab,
                                      const QByteArray& prompt, int maxTokens) {
    QElapsedTimer timer;
    timer.start();
    llama_memory_clear(llama_get_memory(context), true);
    std::vector<llama_token> tokens(static_cast<std::size_t>(prompt.size()) + 18);
    const int count =
        llama_tokenize(vocab, prompt.constData(), static_cast<int32_t>(prompt.size()),
                       tokens.data(), static_cast<int32_t>(tokens.size()), true, true);
    tokens.resize(static_cast<std::size_t>(std::max(count, 0)));
    llama_sampler* sampler = llama_sampler_chain_init(llama_sampler_chain_default_params());
    llama_sampler_chain_add(sampler, llama_sampler_init_greedy());
    llama_decode(context, llama_batch_get_one(tokens.data(), static_cast<int32_t>(tokens.size())));
    int produced = 0;
    char piece[256];
    while (produced < maxTokens) {
        llama_token token = llama_sampler_sample(sampler, context, -1);
        if (llama_vocab_is_eog(vocab, token)) {
            break;
        }
        llama_token_to_piece(vocab, token, piece, sizeof piece, 0, false);
        ++produced;
        llama_decode(context, llama_batch_get_one(&token, 1));
    }
    llama_sampler_free(sampler);
    return {seconds(timer), produced};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool realShape = arguments.contains(QStringLiteral("--qwen3-1.7b"));
    const auto intOption = [&](const QString& name, int fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toInt() : fallback;
    };
    const int maxTokens = intOption(QStringLiteral("--tokens"), realShape ? 32 : 128);
    const int runs = intOption(QStringLiteral("--runs"), 3);
    NativeLibraries::initialise();

    QTemporaryDir dir;
    const QString modelPath = dir.filePath(QStringLiteral("model.gguf"));
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!writeQwenModel(modelPath, QStringLiteral(MURMEX_QWEN_VOCAB),
                        realShape ? QwenModelDims::qwen3_1_7B() : QwenModelDims::tiny(), {},
                        &error)) {
        std::fprintf(stderr, "cannot write the model: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("model: %s, %.1f MB written in %.1f s, %d threads\n",
                realShape ? "Qwen3-1.7B shape, Q4_K" : "tiny",
                static_cast<double>(QFileInfo(modelPath).size()) / 1e6, seconds(timer),
                LlamaContext::threadCount(QThread::idealThreadCount()));

    timer.restart();
    const std::shared_ptr<LlamaContext> runtime = LlamaContext::load(modelPath);
    std::printf("LlamaContext::load: %.2f s\n", seconds(timer));

    // The bare loop gets its own model and context with the same parameters.
    llama_model_params modelParams = llama_model_default_params();
    modelParams.n_gpu_layers = LlamaContext::gpuLayers;
    llama_model* model = llama_model_load_from_file(modelPath.toUtf8().constData(), modelParams);
    llama_context_params contextParams = llama_context_default_params();
    const int threads = LlamaContext::threadCount(QThread::idealThreadCount());
    contextParams.n_ctx = LlamaContext::contextLength;
    contextParams.n_batch = LlamaContext::batchSize;
    contextParams.n_threads = threads;
    contextParams.n_threads_batch = threads;
    llama_context* context = llama_init_from_model(model, contextParams);
    const llama_vocab* vocab = llama_model_get_vocab(model);
    const QByteArray prompt =
        awaitTask(runtime->formattedPrompt(systemPrompt(), {}, userMessage())).toUtf8();

    // Warm both up once.
    bareGeneration(context, vocab, prompt, 2);
    QCoro::waitFor(runtime->generate(systemPrompt(), {}, userMessage(), 2, 0.0f));

    // Each side is timed with the prompt alone (0 new tokens) and with the
    // prompt plus N tokens; the difference is the generation time.
    double barePrompt = 1e300;
    double bareTotal = 1e300;
    double bareGenerating = 1e300;
    double runtimePrompt = 1e300;
    double runtimeTotal = 1e300;
    double runtimeGenerating = 1e300;
    int produced = 0;
    for (int run = 0; run < runs; ++run) {
        const double bareP = bareGeneration(context, vocab, prompt, 0).first;
        const auto [bareSeconds, count] = bareGeneration(context, vocab, prompt, maxTokens);
        produced = count;
        barePrompt = std::min(barePrompt, bareP);
        bareTotal = std::min(bareTotal, bareSeconds);
        bareGenerating = std::min(bareGenerating, bareSeconds - bareP);
        timer.restart();
        QCoro::waitFor(runtime->generate(systemPrompt(), {}, userMessage(), 0, 0.0f));
        const double runtimeP = seconds(timer);
        runtimePrompt = std::min(runtimePrompt, runtimeP);
        timer.restart();
        QCoro::waitFor(runtime->generate(systemPrompt(), {}, userMessage(), maxTokens, 0.0f));
        const double runtimeSeconds = seconds(timer);
        runtimeTotal = std::min(runtimeTotal, runtimeSeconds);
        runtimeGenerating = std::min(runtimeGenerating, runtimeSeconds - runtimeP);
    }
    const double bareRate = produced / bareGenerating;
    const double runtimeRate = produced / runtimeGenerating;
    std::printf("prompt %lld bytes, %d tokens generated (greedy), best of %d runs\n",
                static_cast<long long>(prompt.size()), produced, runs);
    std::printf("bare llama.cpp loop:    prompt %.3f s, total %.3f s, %.2f tokens/s\n", barePrompt,
                bareTotal, bareRate);
    std::printf("LlamaContext::generate: prompt %.3f s, total %.3f s, %.2f tokens/s\n",
                runtimePrompt, runtimeTotal, runtimeRate);
    std::printf("ratio of generation rates (runtime / bare): %.4f (target >= 0.97); "
                "of total times (bare / runtime): %.4f\n",
                runtimeRate / bareRate, bareTotal / runtimeTotal);
    llama_free(context);
    llama_model_free(model);

    if (arguments.contains(QStringLiteral("--skip-cleanup"))) {
        return 0;
    }
    const QString transcript = QStringLiteral(
        "so this morning i went to the the office early because the team had a planning meeting "
        "about the new release and um we talked about the schedule for the next three weeks and "
        "who will handle the testing and the documentation and then after lunch i spent "
        "the afternoon fixing small problems in the build scripts before going home");
    DefaultsStore defaults(dir.filePath(QStringLiteral("defaults.json")));
    AppSettings settings(defaults);
    settings.setCleanupValidationEnabled(true);
    settings.setCleanupAlwaysJudge(false);
    TextCleanupService cleanup(
        settings, modelPath,
        [runtime](const QString&) -> std::shared_ptr<TextGenerator> { return runtime; });
    QCoro::waitFor(cleanup.ensureLoaded());
    timer.restart();
    const QString result = QCoro::waitFor(cleanup.clean(transcript));
    std::printf("cleanup of a %lld-word transcript (validation on, not risky, budget %d tokens "
                "per attempt): %.2f s, %s\n",
                static_cast<long long>(transcript.split(QLatin1Char(' ')).size()),
                TextCleanupService::maxNewTokens(transcript), seconds(timer),
                result == transcript ? "fell back to the input" : "output accepted");
    return 0;
}
