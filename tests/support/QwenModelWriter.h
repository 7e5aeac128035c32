#pragma once

#include <QString>

#include <cstdint>

// Hyper-parameters of a Qwen3 language model as its GGUF file stores them.
struct QwenModelDims {
    int embedding = 64;
    int layers = 2;
    int heads = 4;
    int headsKV = 2;
    int headDim = 16;
    int feedForward = 128;
    int contextLength = 40960;
    // Matrices as Q4_K blocks (as the published Q4_K_M file holds most of
    // them) instead of f16.
    bool quantized = false;

    // 64 wide, two layers, f16: about 20 MB, loads in a fraction of a second.
    static QwenModelDims tiny();
    // The real Qwen3-1.7B shape in Q4_K: the compute and memory of one
    // decoded token match the published model's.
    static QwenModelDims qwen3_1_7B();
};

struct QwenModelOptions {
    // Keep the Qwen chat template that the vocabulary file carries.
    bool withChatTemplate = true;
    // When not empty, replaces the chat template (for example with one the
    // library does not recognise).
    QString chatTemplate;
    std::uint32_t seed = 1;
};

// Writes a GGUF language model of the Qwen3 architecture with random weights
// and every key/value (tokenizer and chat template) of `vocabularyPath`, a
// tokenizer-only GGUF such as ggml-vocab-qwen2.gguf. The output embedding is
// tied to the token embedding. The file appears complete or not at all. On
// failure returns false and describes why in `error`.
bool writeQwenModel(const QString& path, const QString& vocabularyPath, const QwenModelDims& dims,
                    const QwenModelOptions& options = {}, QString* error = nullptr);
