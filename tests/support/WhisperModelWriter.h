#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

// Hyper-parameters of a whisper model as the legacy ggml `.bin` file stores
// them. The vocabulary size decides the special-token layout: 51866 is the
// multilingual layout of Large-V3 (100 languages, timestamps from 50365).
struct WhisperModelDims {
    int nVocab = 51866;
    int nAudioCtx = 1500;
    int nAudioState = 64;
    int nAudioHead = 2;
    int nAudioLayer = 1;
    int nTextCtx = 448;
    int nTextState = 64;
    int nTextHead = 2;
    int nTextLayer = 1;
    int nMels = 128;

    // The smallest model the library accepts with the real vocabulary and
    // context lengths: 64-wide, two heads, one layer each side (about 8 MB).
    static WhisperModelDims tiny();
    // The real Large-V3-Turbo dimensions (about 1.62 GB): the same file size,
    // memory and compute per second of audio as the published model.
    static WhisperModelDims largeV3Turbo();

    friend bool operator==(const WhisperModelDims&, const WhisperModelDims&) = default;
};

// Writes a whisper model in the legacy ggml format with random f16 matrices
// and f32 vectors, deterministic for a given seed. The vocabulary has
// printable, distinct UTF-8 strings for every text token ("" never, " " at
// id 220 as in the real byte-level vocabulary), so decoded text is valid
// UTF-8 gibberish. A few decoder weights are set so that greedy decoding
// behaves like a real model on speech: each 30-s window gives one confident
// segment (no temperature fallback) from <|0.00|> to <|30.00|>, that is
// t0 = window start and t1 = window start + 3000 even past the audio's end,
// of about a dozen text tokens that depend on the audio. The file is
// streamed to disk and appears complete or not at all. On failure returns
// false and describes why in `error`.
bool writeWhisperModel(const QString& path, const WhisperModelDims& dims, std::uint32_t seed = 1,
                       QString* error = nullptr);

// Exact size in bytes of the file writeWhisperModel writes for `dims`.
qint64 whisperModelFileSize(const WhisperModelDims& dims);

// Copies the first `bytes` bytes of `source` to `destination`, as an
// interrupted download would leave them. Fails when `source` cannot be read
// or is shorter than `bytes`.
bool writeTruncatedCopy(const QString& source, const QString& destination, qint64 bytes);
