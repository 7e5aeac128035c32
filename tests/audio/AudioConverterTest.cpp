#include "audio/AudioConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

namespace {

using Channels = std::vector<std::vector<double>>;
using Planes = std::vector<std::vector<std::uint8_t>>;

std::vector<double> sine(double frequency, double sampleRate, int frames, double amplitude) {
    std::vector<double> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        samples[static_cast<size_t>(i)] =
            amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / sampleRate);
    }
    return samples;
}

template <typename T>
void store(std::vector<std::uint8_t>& bytes, size_t index, double value) {
    T sample;
    if constexpr (std::is_floating_point_v<T>) {
        sample = static_cast<T>(value);
    } else if constexpr (std::is_same_v<T, std::uint8_t>) {
        sample = static_cast<T>(std::lround(128.0 + value * 127.0));
    } else {
        sample = static_cast<T>(
            std::llround(value * static_cast<double>(std::numeric_limits<T>::max())));
    }
    std::memcpy(bytes.data() + index * sizeof(T), &sample, sizeof(T));
}

template <typename T>
Planes encodeAs(const Channels& channels, bool planar) {
    const size_t frames = channels.front().size();
    const size_t count = channels.size();
    Planes planes(planar ? count : 1,
                  std::vector<std::uint8_t>(frames * sizeof(T) * (planar ? 1 : count)));
    for (size_t channel = 0; channel < count; ++channel) {
        for (size_t frame = 0; frame < frames; ++frame) {
            if (planar) {
                store<T>(planes[channel], frame, channels[channel][frame]);
            } else {
                store<T>(planes[0], frame * count + channel, channels[channel][frame]);
            }
        }
    }
    return planes;
}

// The bytes of `channels` as FFmpeg stores them in `format`.
Planes encode(const Channels& channels, SampleFormat format) {
    switch (format) {
    case SampleFormat::uint8:
        return encodeAs<std::uint8_t>(channels, false);
    case SampleFormat::uint8Planar:
        return encodeAs<std::uint8_t>(channels, true);
    case SampleFormat::int16:
        return encodeAs<std::int16_t>(channels, false);
    case SampleFormat::int16Planar:
        return encodeAs<std::int16_t>(channels, true);
    case SampleFormat::int32:
        return encodeAs<std::int32_t>(channels, false);
    case SampleFormat::int32Planar:
        return encodeAs<std::int32_t>(channels, true);
    case SampleFormat::float32:
        return encodeAs<float>(channels, false);
    case SampleFormat::float32Planar:
        return encodeAs<float>(channels, true);
    case SampleFormat::float64:
        return encodeAs<double>(channels, false);
    case SampleFormat::float64Planar:
        return encodeAs<double>(channels, true);
    default:
        ADD_FAILURE() << "no encoder for this format in the test";
        return {};
    }
}

size_t bytesPerSample(SampleFormat format) {
    switch (format) {
    case SampleFormat::uint8:
    case SampleFormat::uint8Planar:
        return 1;
    case SampleFormat::int16:
    case SampleFormat::int16Planar:
        return 2;
    case SampleFormat::int32:
    case SampleFormat::int32Planar:
    case SampleFormat::float32:
    case SampleFormat::float32Planar:
        return 4;
    default:
        return 8;
    }
}

// Feeds the audio in blocks of `blockFrames` as a capture device delivers it,
// checks that no block yields more than its capacity, and flushes at the end.
SampleBuffer convertAll(AudioConverter& converter, const Channels& channels, int blockFrames) {
    const AudioFormat& format = converter.inputFormat();
    const Planes planes = encode(channels, format.sampleFormat);
    const int frames = static_cast<int>(channels.front().size());
    const size_t frameBytes = bytesPerSample(format.sampleFormat) *
                              (format.isPlanar() ? 1 : static_cast<size_t>(format.channels));
    SampleBuffer output;
    for (int start = 0; start < frames; start += blockFrames) {
        const int count = std::min(blockFrames, frames - start);
        std::vector<const std::uint8_t*> pointers;
        for (const auto& plane : planes) {
            pointers.push_back(plane.data() + static_cast<size_t>(start) * frameBytes);
        }
        const SampleBuffer block = converter.convert(pointers.data(), count);
        EXPECT_LE(block.size(), std::floor(count * SampleRate::speech / format.sampleRate + 1.0));
        output.insert(output.end(), block.begin(), block.end());
    }
    const SampleBuffer tail = converter.flush();
    output.insert(output.end(), tail.begin(), tail.end());
    return output;
}

int zeroCrossings(const SampleBuffer& samples) {
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if ((samples[i - 1] < 0.0F) != (samples[i] < 0.0F)) {
            ++crossings;
        }
    }
    return crossings;
}

float peak(const SampleBuffer& samples, size_t from, size_t to) {
    float largest = 0.0F;
    for (size_t i = from; i < to && i < samples.size(); ++i) {
        largest = std::max(largest, std::abs(samples[i]));
    }
    return largest;
}

TEST(AudioConverterTest, KeyShowsRateWithFractionChannelsAndCommonFormat) {
    const std::pair<AudioFormat, const char*> cases[] = {
        {{48000.0, 2, SampleFormat::float32}, "48000.0-2-1"},
        {{48000.0, 2, SampleFormat::float32Planar}, "48000.0-2-1"},
        {{44100.0, 1, SampleFormat::int16}, "44100.0-1-3"},
        {{16000.0, 1, SampleFormat::float64Planar}, "16000.0-1-2"},
        {{8000.0, 1, SampleFormat::int32}, "8000.0-1-4"},
        {{22050.5, 2, SampleFormat::uint8}, "22050.5-2-0"},
        {{96000.0, 6, SampleFormat::int64}, "96000.0-6-0"},
        {{11025.125, 1, SampleFormat::unknown}, "11025.125-1-0"},
        {{0.1, 1, SampleFormat::float32}, "0.1-1-1"},
    };
    for (const auto& [format, key] : cases) {
        EXPECT_EQ(format.key(), QString::fromLatin1(key)) << key;
    }
}

struct LayoutCase {
    double rate;
    int channels;
    SampleFormat format;
};

TEST(AudioConverterTest, OneSecondOfAnyLayoutBecomesSixteenThousandMonoSamplesOfTheSameTone) {
    const LayoutCase cases[] = {
        {48000.0, 2, SampleFormat::float32}, {48000.0, 2, SampleFormat::float32Planar},
        {44100.0, 2, SampleFormat::int16},   {44100.0, 2, SampleFormat::int16Planar},
        {8000.0, 1, SampleFormat::int16},    {44100.0, 1, SampleFormat::float32},
        {16000.0, 1, SampleFormat::float64}, {96000.0, 6, SampleFormat::int32Planar},
        {22050.0, 1, SampleFormat::uint8},   {32000.0, 2, SampleFormat::float64Planar},
        {11025.0, 3, SampleFormat::int32},
    };
    for (const auto& [rate, channelCount, sampleFormat] : cases) {
        const AudioFormat format{rate, channelCount, sampleFormat};
        SCOPED_TRACE(format.key().toStdString());
        auto converter = AudioConverter::create(format);
        ASSERT_NE(converter, nullptr);
        const int frames = static_cast<int>(rate);
        const Channels channels(static_cast<size_t>(channelCount), sine(440.0, rate, frames, 0.5));

        const SampleBuffer output = convertAll(*converter, channels, 4096);

        EXPECT_NEAR(static_cast<double>(output.size()), 16000.0, 160.0);
        EXPECT_NEAR(zeroCrossings(output), 880, 10);
        // Identical channels average to the same signal: no gain, no loss.
        EXPECT_NEAR(peak(output, 2000, 14000), 0.5, 0.02);
    }
}

TEST(AudioConverterTest, PlanarAndInterleavedStorageOfTheSameAudioConvertAlike) {
    const Channels channels{sine(440.0, 44100.0, 44100, 0.4), sine(1000.0, 44100.0, 44100, 0.2)};
    auto planar = AudioConverter::create({44100.0, 2, SampleFormat::int16Planar});
    auto interleaved = AudioConverter::create({44100.0, 2, SampleFormat::int16});
    ASSERT_NE(planar, nullptr);
    ASSERT_NE(interleaved, nullptr);

    const SampleBuffer fromPlanar = convertAll(*planar, channels, 1024);
    const SampleBuffer fromInterleaved = convertAll(*interleaved, channels, 1024);

    ASSERT_EQ(fromPlanar.size(), fromInterleaved.size());
    for (size_t i = 0; i < fromPlanar.size(); ++i) {
        ASSERT_NEAR(fromPlanar[i], fromInterleaved[i], 1e-6) << i;
    }
}

TEST(AudioConverterTest, ChannelsAreAveragedIntoMono) {
    auto converter = AudioConverter::create({48000.0, 2, SampleFormat::float32});
    ASSERT_NE(converter, nullptr);
    const Channels steady{std::vector<double>(48000, 0.5), std::vector<double>(48000, 0.1)};
    const SampleBuffer average = convertAll(*converter, steady, 4096);
    ASSERT_GT(average.size(), 12000U);
    for (size_t i = 2000; i < 12000; ++i) {
        ASSERT_NEAR(average[i], 0.3F, 1e-3) << i;
    }

    converter = AudioConverter::create({48000.0, 2, SampleFormat::float32});
    ASSERT_NE(converter, nullptr);
    const std::vector<double> tone = sine(440.0, 48000.0, 48000, 0.5);
    std::vector<double> inverted(tone.size());
    std::transform(tone.begin(), tone.end(), inverted.begin(), [](double v) { return -v; });
    const SampleBuffer cancelled = convertAll(*converter, {tone, inverted}, 4096);
    EXPECT_LT(peak(cancelled, 0, cancelled.size()), 1e-4);
}

TEST(AudioConverterTest, IntegerSamplesAreScaledToFullScaleFloats) {
    auto converter = AudioConverter::create({16000.0, 1, SampleFormat::int16});
    ASSERT_NE(converter, nullptr);
    const std::vector<std::int16_t> half(4000, 16384);
    const auto* plane = reinterpret_cast<const std::uint8_t*>(half.data());
    SampleBuffer output = converter->convert(&plane, 4000);
    const SampleBuffer tail = converter->flush();
    output.insert(output.end(), tail.begin(), tail.end());
    ASSERT_EQ(output.size(), 4000U);
    for (size_t i = 100; i < 3900; ++i) {
        ASSERT_FLOAT_EQ(output[i], 0.5F) << i;
    }
}

TEST(AudioConverterTest, TonesAboveTheNewNyquistFrequencyAreFilteredOut) {
    auto converter = AudioConverter::create({48000.0, 1, SampleFormat::float32});
    ASSERT_NE(converter, nullptr);
    // 12 kHz cannot exist at 16 kHz; a converter that merely dropped samples
    // would fold it back as a loud 4 kHz tone.
    const SampleBuffer output = convertAll(*converter, {sine(12000.0, 48000.0, 48000, 0.5)}, 4096);
    EXPECT_LT(peak(output, 500, output.size() - 500), 0.01);
}

TEST(AudioConverterTest, FormatsThatCannotBeConvertedGiveNoConverter) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const AudioFormat cases[] = {
        {0.0, 2, SampleFormat::float32},      {-48000.0, 2, SampleFormat::float32},
        {0.5, 1, SampleFormat::float32},      {nan, 1, SampleFormat::float32},
        {infinity, 1, SampleFormat::float32}, {1.0e9, 1, SampleFormat::float32},
        {48000.0, 0, SampleFormat::float32},  {48000.0, -1, SampleFormat::float32},
        {48000.0, 65, SampleFormat::float32}, {48000.0, 2, SampleFormat::unknown},
    };
    for (const auto& format : cases) {
        EXPECT_EQ(AudioConverter::create(format), nullptr) << format.key().toStdString();
    }
}

TEST(AudioConverterTest, NothingToConvertGivesEmptyOutput) {
    auto converter = AudioConverter::create({44100.0, 2, SampleFormat::float32});
    ASSERT_NE(converter, nullptr);
    const std::vector<float> frames(64, 0.25F);
    const auto* plane = reinterpret_cast<const std::uint8_t*>(frames.data());

    EXPECT_TRUE(converter->convert(&plane, 0).empty());
    EXPECT_TRUE(converter->convert(&plane, -5).empty());
    EXPECT_TRUE(converter->convert(nullptr, 32).empty());
    EXPECT_TRUE(converter->flush().empty());
}

} // namespace
