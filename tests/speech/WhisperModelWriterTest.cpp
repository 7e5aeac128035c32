#include "WhisperModelWriter.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct ContextDeleter {
    void operator()(whisper_context* context) const { whisper_free(context); }
};
using Context = std::unique_ptr<whisper_context, ContextDeleter>;

void quietLog(ggml_log_level, const char*, void*) {}

Context loadModel(const QString& path) {
    whisper_context_params params = whisper_context_default_params();
    params.use_gpu = false;
    try {
        return Context(
            whisper_init_from_file_with_params(QFile::encodeName(path).constData(), params));
    } catch (const std::exception& e) {
        ADD_FAILURE() << "loading threw: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "loading threw";
    }
    return nullptr;
}

// `seconds` of a 440 Hz tone over light noise at 16 kHz: not speech, but
// a signal for the encoder rather than silence.
std::vector<float> toneSamples(double seconds) {
    const auto count = static_cast<std::size_t>(seconds * WHISPER_SAMPLE_RATE);
    std::vector<float> samples(count);
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> jitter(-0.05f, 0.05f);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / WHISPER_SAMPLE_RATE;
        samples[i] =
            0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * t)) + jitter(noise);
    }
    return samples;
}

class WhisperModelWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        whisper_log_set(quietLog, nullptr);
        s_dir = std::make_unique<QTemporaryDir>();
        s_tinyModel = s_dir->filePath(QStringLiteral("tiny.bin"));
        QString error;
        s_written = writeWhisperModel(s_tinyModel, WhisperModelDims::tiny(), 1, &error);
        s_error = error;
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override { ASSERT_TRUE(s_written) << s_error.toStdString(); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_tinyModel;
    static inline bool s_written = false;
    static inline QString s_error;

    QTemporaryDir m_dir;
};

TEST_F(WhisperModelWriterTest, SameSeedWritesTheSameFileOfTheComputedSize) {
    const QString again = path(QStringLiteral("again.bin"));
    const QString otherSeed = path(QStringLiteral("other.bin"));
    ASSERT_TRUE(writeWhisperModel(again, WhisperModelDims::tiny(), 1));
    ASSERT_TRUE(writeWhisperModel(otherSeed, WhisperModelDims::tiny(), 2));

    const QByteArray first = readFile(s_tinyModel);
    EXPECT_EQ(first.size(), whisperModelFileSize(WhisperModelDims::tiny()));
    EXPECT_GT(first.size(), 7'000'000);
    EXPECT_LT(first.size(), 9'000'000);
    EXPECT_TRUE(first == readFile(again));
    const QByteArray other = readFile(otherSeed);
    EXPECT_EQ(other.size(), first.size());
    EXPECT_FALSE(other == first);
}

TEST_F(WhisperModelWriterTest, TinyModelLoadsWithItsDimensions) {
    const Context context = loadModel(s_tinyModel);
    ASSERT_NE(context, nullptr);
    whisper_context* ctx = context.get();
    const WhisperModelDims dims = WhisperModelDims::tiny();

    EXPECT_EQ(whisper_model_n_vocab(ctx), dims.nVocab);
    EXPECT_EQ(whisper_model_n_audio_ctx(ctx), dims.nAudioCtx);
    EXPECT_EQ(whisper_model_n_audio_state(ctx), dims.nAudioState);
    EXPECT_EQ(whisper_model_n_audio_head(ctx), dims.nAudioHead);
    EXPECT_EQ(whisper_model_n_audio_layer(ctx), dims.nAudioLayer);
    EXPECT_EQ(whisper_model_n_text_ctx(ctx), dims.nTextCtx);
    EXPECT_EQ(whisper_model_n_text_state(ctx), dims.nTextState);
    EXPECT_EQ(whisper_model_n_text_head(ctx), dims.nTextHead);
    EXPECT_EQ(whisper_model_n_text_layer(ctx), dims.nTextLayer);
    EXPECT_EQ(whisper_model_n_mels(ctx), dims.nMels);
    EXPECT_EQ(whisper_n_vocab(ctx), dims.nVocab);
    EXPECT_EQ(whisper_model_ftype(ctx), 1);
}

TEST_F(WhisperModelWriterTest, VocabularyHasTheLargeV3SpecialTokenLayout) {
    const Context context = loadModel(s_tinyModel);
    ASSERT_NE(context, nullptr);
    whisper_context* ctx = context.get();

    EXPECT_EQ(whisper_is_multilingual(ctx), 1);
    EXPECT_EQ(whisper_token_eot(ctx), 50257);
    EXPECT_EQ(whisper_token_sot(ctx), 50258);
    EXPECT_EQ(whisper_token_lang(ctx, whisper_lang_id("en")), 50259);
    EXPECT_EQ(whisper_token_translate(ctx), 50359);
    EXPECT_EQ(whisper_token_transcribe(ctx), 50360);
    EXPECT_EQ(whisper_token_not(ctx), 50364);
    EXPECT_EQ(whisper_token_beg(ctx), 50365);
    // The loader names the special tokens itself when the file stops at the
    // text tokens, as the published files do.
    EXPECT_STREQ(whisper_token_to_str(ctx, whisper_token_eot(ctx)), "[_EOT_]");
    EXPECT_STREQ(whisper_token_to_str(ctx, whisper_token_beg(ctx)), "[_BEG_]");

    // Suppressing blanks looks the space token up by its text.
    EXPECT_STREQ(whisper_token_to_str(ctx, 220), " ");
}

TEST_F(WhisperModelWriterTest, LargeV3TurboFileHasThePublishedModelsSize) {
    const WhisperModelDims turbo = WhisperModelDims::largeV3Turbo();
    EXPECT_EQ(turbo.nVocab, 51866);
    EXPECT_EQ(turbo.nAudioLayer, 32);
    EXPECT_EQ(turbo.nTextLayer, 4);
    const qint64 size = whisperModelFileSize(turbo);
    EXPECT_GT(size, 1'600'000'000);
    EXPECT_LT(size, 1'650'000'000);
}

whisper_full_params greedyParams(const char* language, bool suppressBlank, int threads = 2) {
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = threads;
    params.language = language;
    params.detect_language = false;
    params.suppress_blank = suppressBlank;
    params.print_progress = false;
    params.print_timestamps = false;
    return params;
}

// Runs whisper_full; a C++ exception escaping the library fails the test
// instead of ending the process.
int transcribe(whisper_context* context, const whisper_full_params& params,
               const std::vector<float>& samples) {
    try {
        return whisper_full(context, params, samples.data(), static_cast<int>(samples.size()));
    } catch (const std::exception& e) {
        ADD_FAILURE() << "whisper_full threw: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "whisper_full threw";
    }
    return -1;
}

struct Segment {
    std::int64_t t0;
    std::int64_t t1;
    std::string text;
    double averageLogProbability;
};

std::vector<Segment> segments(whisper_context* context) {
    std::vector<Segment> result;
    for (int i = 0; i < whisper_full_n_segments(context); ++i) {
        const char* text = whisper_full_get_segment_text(context, i);
        double sum = 0.0;
        const int tokens = whisper_full_n_tokens(context, i);
        for (int t = 0; t < tokens; ++t) {
            sum += whisper_full_get_token_data(context, i, t).plog;
        }
        result.push_back({whisper_full_get_segment_t0(context, i),
                          whisper_full_get_segment_t1(context, i), text ? text : "",
                          tokens > 0 ? sum / tokens : 0.0});
    }
    return result;
}

TEST_F(WhisperModelWriterTest, SameModelAndAudioGiveTheSameText) {
    const Context first = loadModel(s_tinyModel);
    const Context second = loadModel(s_tinyModel);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const std::vector<float> samples = toneSamples(1.0);
    ASSERT_EQ(transcribe(first.get(), greedyParams("en", true, 1), samples), 0);
    ASSERT_EQ(transcribe(second.get(), greedyParams("en", true, 1), samples), 0);

    const std::vector<Segment> a = segments(first.get());
    const std::vector<Segment> b = segments(second.get());
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].text, b[0].text);
}

TEST_F(WhisperModelWriterTest, InvalidDimensionsAreRefusedWithAReason) {
    WhisperModelDims unequalWidths = WhisperModelDims::tiny();
    unequalWidths.nTextState = 128;
    WhisperModelDims smallVocabulary = WhisperModelDims::tiny();
    smallVocabulary.nVocab = 1000;
    WhisperModelDims unevenHeads = WhisperModelDims::tiny();
    unevenHeads.nAudioHead = 3;
    unevenHeads.nTextHead = 3;

    for (const WhisperModelDims& dims : {unequalWidths, smallVocabulary, unevenHeads}) {
        const QString target = path(QStringLiteral("invalid.bin"));
        QString error;
        EXPECT_FALSE(writeWhisperModel(target, dims, 1, &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("invalid model dimensions")))
            << error.toStdString();
        EXPECT_FALSE(QFile::exists(target));
    }
}

TEST_F(WhisperModelWriterTest, UnwritableTargetFailsWithoutLeavingAFile) {
    const QString target = path(QStringLiteral("missing/dir/model.bin"));
    QString error;
    EXPECT_FALSE(writeWhisperModel(target, WhisperModelDims::tiny(), 1, &error));
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(WhisperModelWriterTest, TruncatedCopyLongerThanTheSourceIsRefused) {
    const qint64 size = QFileInfo(s_tinyModel).size();
    EXPECT_FALSE(writeTruncatedCopy(s_tinyModel, path(QStringLiteral("long.bin")), size + 1));
    EXPECT_FALSE(writeTruncatedCopy(path(QStringLiteral("absent.bin")),
                                    path(QStringLiteral("copy.bin")), 0));
    EXPECT_TRUE(writeTruncatedCopy(s_tinyModel, path(QStringLiteral("whole.bin")), size));
    EXPECT_TRUE(readFile(path(QStringLiteral("whole.bin"))) == readFile(s_tinyModel));
}

} // namespace
