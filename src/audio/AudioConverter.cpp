#include "audio/AudioConverter.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <iterator>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int targetSampleRate = static_cast<int>(SampleRate::speech);

AVSampleFormat toFFmpeg(SampleFormat format) {
    switch (format) {
    case SampleFormat::uint8:
        return AV_SAMPLE_FMT_U8;
    case SampleFormat::int16:
        return AV_SAMPLE_FMT_S16;
    case SampleFormat::int32:
        return AV_SAMPLE_FMT_S32;
    case SampleFormat::int64:
        return AV_SAMPLE_FMT_S64;
    case SampleFormat::float32:
        return AV_SAMPLE_FMT_FLT;
    case SampleFormat::float64:
        return AV_SAMPLE_FMT_DBL;
    case SampleFormat::uint8Planar:
        return AV_SAMPLE_FMT_U8P;
    case SampleFormat::int16Planar:
        return AV_SAMPLE_FMT_S16P;
    case SampleFormat::int32Planar:
        return AV_SAMPLE_FMT_S32P;
    case SampleFormat::int64Planar:
        return AV_SAMPLE_FMT_S64P;
    case SampleFormat::float32Planar:
        return AV_SAMPLE_FMT_FLTP;
    case SampleFormat::float64Planar:
        return AV_SAMPLE_FMT_DBLP;
    case SampleFormat::unknown:
        break;
    }
    return AV_SAMPLE_FMT_NONE;
}

int commonFormatCode(SampleFormat format) {
    switch (format) {
    case SampleFormat::float32:
    case SampleFormat::float32Planar:
        return 1;
    case SampleFormat::float64:
    case SampleFormat::float64Planar:
        return 2;
    case SampleFormat::int16:
    case SampleFormat::int16Planar:
        return 3;
    case SampleFormat::int32:
    case SampleFormat::int32Planar:
        return 4;
    default:
        return 0;
    }
}

// The shortest text that reads back as `value`, with ".0" added when it would
// otherwise look like an integer (48000 → "48000.0").
QString decimalWithFraction(double value) {
    char text[64];
    const auto result = std::to_chars(std::begin(text), std::end(text), value);
    QString decimal = QString::fromLatin1(text, static_cast<qsizetype>(result.ptr - text));
    const bool integral = std::isfinite(value) && !decimal.contains(QLatin1Char('.')) &&
                          !decimal.contains(QLatin1Char('e'));
    if (integral) {
        decimal += QStringLiteral(".0");
    }
    return decimal;
}

} // namespace

bool AudioFormat::isPlanar() const {
    const AVSampleFormat format = toFFmpeg(sampleFormat);
    return format != AV_SAMPLE_FMT_NONE && av_sample_fmt_is_planar(format) != 0;
}

QString AudioFormat::key() const {
    return decimalWithFraction(sampleRate) + QLatin1Char('-') + QString::number(channels) +
           QLatin1Char('-') + QString::number(commonFormatCode(sampleFormat));
}

SampleFormat AudioFormat::sampleFormatFromFFmpeg(int avSampleFormat) {
    switch (static_cast<AVSampleFormat>(avSampleFormat)) {
    case AV_SAMPLE_FMT_U8:
        return SampleFormat::uint8;
    case AV_SAMPLE_FMT_S16:
        return SampleFormat::int16;
    case AV_SAMPLE_FMT_S32:
        return SampleFormat::int32;
    case AV_SAMPLE_FMT_S64:
        return SampleFormat::int64;
    case AV_SAMPLE_FMT_FLT:
        return SampleFormat::float32;
    case AV_SAMPLE_FMT_DBL:
        return SampleFormat::float64;
    case AV_SAMPLE_FMT_U8P:
        return SampleFormat::uint8Planar;
    case AV_SAMPLE_FMT_S16P:
        return SampleFormat::int16Planar;
    case AV_SAMPLE_FMT_S32P:
        return SampleFormat::int32Planar;
    case AV_SAMPLE_FMT_S64P:
        return SampleFormat::int64Planar;
    case AV_SAMPLE_FMT_FLTP:
        return SampleFormat::float32Planar;
    case AV_SAMPLE_FMT_DBLP:
        return SampleFormat::float64Planar;
    default:
        return SampleFormat::unknown;
    }
}

std::unique_ptr<AudioConverter> AudioConverter::create(const AudioFormat& input) {
    const AVSampleFormat inputFormat = toFFmpeg(input.sampleFormat);
    // Rates below 1 Hz round to no rate at all; the resampler works in whole hertz.
    if (!std::isfinite(input.sampleRate) || input.sampleRate < 1.0 ||
        input.sampleRate > maximumSampleRate || input.channels < 1 ||
        input.channels > maximumChannels || inputFormat == AV_SAMPLE_FMT_NONE) {
        return nullptr;
    }

    AVChannelLayout inputLayout;
    AVChannelLayout outputLayout;
    av_channel_layout_default(&inputLayout, input.channels);
    av_channel_layout_default(&outputLayout, 1);
    SwrContext* context = nullptr;
    const int allocated = swr_alloc_set_opts2(
        &context, &outputLayout, AV_SAMPLE_FMT_FLT, targetSampleRate, &inputLayout, inputFormat,
        static_cast<int>(std::lround(input.sampleRate)), 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    av_channel_layout_uninit(&outputLayout);
    if (allocated < 0 || context == nullptr) {
        swr_free(&context);
        return nullptr;
    }

    // Every channel counts equally in the mono mix. FFmpeg's own downmix
    // depends on the channel layout (and adds stereo channels at 0.707 each,
    // which can exceed full scale); an input only tells us its channel count.
    const std::vector<double> mix(static_cast<size_t>(input.channels), 1.0 / input.channels);
    if (swr_set_matrix(context, mix.data(), input.channels) < 0 || swr_init(context) < 0) {
        swr_free(&context);
        return nullptr;
    }
    return std::unique_ptr<AudioConverter>(new AudioConverter(input, context));
}

AudioConverter::AudioConverter(const AudioFormat& input, SwrContext* context)
    : m_input(input)
    , m_context(context) {}

AudioConverter::~AudioConverter() { swr_free(&m_context); }

SampleBuffer AudioConverter::convert(const std::uint8_t* const* planes, int frameCount) {
    if (planes == nullptr || frameCount <= 0) {
        return {};
    }
    const double ratio = SampleRate::speech / m_input.sampleRate;
    const double capacity = std::floor(frameCount * ratio + 1.0);
    if (!(capacity < INT_MAX)) {
        return {};
    }
    return drain(planes, frameCount, static_cast<int>(capacity));
}

SampleBuffer AudioConverter::flush() {
    SampleBuffer samples;
    // Flushing hands out the resampler's delayed tail; it may take more than
    // one call when the tail is longer than the first estimate.
    for (;;) {
        const int pending = swr_get_out_samples(m_context, 0);
        if (pending <= 0) {
            break;
        }
        const SampleBuffer tail = drain(nullptr, 0, pending);
        if (tail.empty()) {
            break;
        }
        samples.insert(samples.end(), tail.begin(), tail.end());
    }
    return samples;
}

SampleBuffer AudioConverter::drain(const std::uint8_t* const* planes, int frameCount,
                                   int capacity) {
    SampleBuffer samples(static_cast<size_t>(capacity));
    std::uint8_t* output = reinterpret_cast<std::uint8_t*>(samples.data());
    // swr_convert only reads the input plane pointers; its signature predates const.
    const int converted = swr_convert(m_context, &output, capacity,
                                      const_cast<const std::uint8_t**>(planes), frameCount);
    if (converted <= 0) {
        return {};
    }
    samples.resize(static_cast<size_t>(converted));
    return samples;
}
