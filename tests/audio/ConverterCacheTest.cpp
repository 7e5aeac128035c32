#include "audio/ConverterCache.h"

#include "audio/SampleAccumulator.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

AudioFormat format(double rate, int channels, SampleFormat sampleFormat) {
    return AudioFormat{.sampleRate = rate, .channels = channels, .sampleFormat = sampleFormat};
}

} // namespace

TEST(ConverterCacheTest, OneConverterPerFormatIsReusedUntilEmptied) {
    ConverterCache cache;
    const auto first = cache.converter(format(48000.0, 2, SampleFormat::float32));
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.converter(format(48000.0, 2, SampleFormat::float32)), first);
    EXPECT_NE(cache.converter(format(44100.0, 2, SampleFormat::float32)), first);
    EXPECT_EQ(cache.count(), 2u);

    cache.removeAll();
    EXPECT_EQ(cache.count(), 0u);
    // A converter handed out before stays usable.
    std::vector<float> block(960, 0.5f);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.data());
    EXPECT_FALSE(first->convert(&bytes, 480).empty());
    EXPECT_NE(cache.converter(format(48000.0, 2, SampleFormat::float32)), first);
}

TEST(ConverterCacheTest, UnconvertibleFormatGivesNoneAndIsNotCached) {
    ConverterCache cache;
    EXPECT_FALSE(cache.converter(format(48000.0, 2, SampleFormat::unknown)));
    EXPECT_FALSE(cache.converter(format(48000.0, 0, SampleFormat::int16)));
    EXPECT_EQ(cache.count(), 0u);
}

TEST(ConverterCacheTest, PlanarAndInterleavedLayoutsOfOneTypeGetTheirOwnConverter) {
    ConverterCache cache;
    const auto interleaved = cache.converter(format(48000.0, 2, SampleFormat::float32));
    const auto planar = cache.converter(format(48000.0, 2, SampleFormat::float32Planar));
    ASSERT_TRUE(interleaved);
    ASSERT_TRUE(planar);
    EXPECT_NE(interleaved, planar);
    EXPECT_TRUE(planar->inputFormat().isPlanar());
}

TEST(SampleAccumulatorTest, TakeAllDrainsAndAppendsFromAnotherThreadAreKept) {
    SampleAccumulator accumulator;
    std::thread audio([&] {
        for (int block = 0; block < 100; ++block) {
            accumulator.append(SampleBuffer(100, 1.0f));
        }
    });
    audio.join();
    EXPECT_EQ(accumulator.count(), 10000u);
    EXPECT_EQ(accumulator.takeAll().size(), 10000u);
    EXPECT_EQ(accumulator.count(), 0u);
    accumulator.append(SampleBuffer(3, 1.0f));
    accumulator.reset();
    EXPECT_TRUE(accumulator.takeAll().empty());
}
