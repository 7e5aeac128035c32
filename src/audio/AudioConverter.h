#pragma once

#include "audio/SampleBuffer.h"

#include <QString>

#include <cstdint>
#include <memory>

struct SwrContext;

// How the samples of one block are stored. The cases mirror FFmpeg's sample
// formats so that audio from any source can be described without including
// FFmpeg's headers; "planar" means one plane per channel, the others hold the
// channels interleaved in a single plane.
enum class SampleFormat {
    unknown,
    uint8,
    int16,
    int32,
    int64,
    float32,
    float64,
    uint8Planar,
    int16Planar,
    int32Planar,
    int64Planar,
    float32Planar,
    float64Planar,
};

// The format of audio that arrives for conversion.
struct AudioFormat {
    double sampleRate = 0.0;
    int channels = 0;
    SampleFormat sampleFormat = SampleFormat::unknown;

    bool operator==(const AudioFormat&) const = default;

    bool isPlanar() const;

    // The text that identifies this format among converters: the rate as the
    // shortest decimal that reads back as the same double and always shows a
    // fraction, the channel count, and a common-format code (32-bit float 1,
    // 64-bit float 2, 16-bit integer 3, 32-bit integer 4, anything else 0),
    // joined with "-". A 48 kHz stereo float input gives "48000.0-2-1".
    // Planar and interleaved storage of one sample type share a code.
    QString key() const;

    // The format of FFmpeg's `AVSampleFormat` value `avSampleFormat`.
    static SampleFormat sampleFormatFromFFmpeg(int avSampleFormat);
};

// Converts audio of one input format, block by block, to the samples speech
// recognition takes: 16 kHz, one channel (the average of all input channels),
// 32-bit float. The resampler keeps a short history between blocks, so one
// converter serves one continuous stream; `flush` returns what it still holds
// at the end.
//
// Not shared between threads: each converter is used by one thread at a time
// (the audio capture thread or a decoding worker).
class AudioConverter {
public:
    // The largest channel count and sample rate accepted. Higher rates exist
    // nowhere in practice and would only make the resampling filter huge.
    static constexpr int maximumChannels = 64;
    static constexpr double maximumSampleRate = 768000.0;

    // A converter from `input`, or none when that format cannot be converted
    // (rate not positive or out of range, no channels or too many, unknown
    // sample format).
    static std::unique_ptr<AudioConverter> create(const AudioFormat& input);

    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    const AudioFormat& inputFormat() const { return m_input; }

    // Converts one block of `frameCount` frames. `planes` holds one pointer per
    // channel for a planar format, else one pointer to the interleaved frames.
    // The output has room for frameCount × 16000 / input rate + 1 frames; the
    // resampler delays a few samples, which the next block or `flush` returns.
    // Empty when there is nothing to convert or conversion fails.
    SampleBuffer convert(const std::uint8_t* const* planes, int frameCount);

    // The samples still held by the resampler at the end of a stream.
    SampleBuffer flush();

private:
    AudioConverter(const AudioFormat& input, SwrContext* context);
    SampleBuffer drain(const std::uint8_t* const* planes, int frameCount, int capacity);

    AudioFormat m_input;
    SwrContext* m_context = nullptr;
};
