#include "speech/MediaDecoder.h"

#include "MediaFiles.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

const char* const sineSource = "sine=frequency=440:sample_rate=%1";

// What one call of decodeAudio did.
struct Outcome {
    std::optional<SampleBuffer> samples;
    std::optional<MediaDecodeError::Kind> errorKind;
    QString message;
    bool cancelled = false;
    std::vector<double> progress;
};

class MediaDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString directory() const { return m_dir.path(); }

    ::testing::AssertionResult generate(const QString& name, const QStringList& arguments) const {
        return MediaFiles::generate(path(name), arguments);
    }

    static QStringList sine(int sampleRate, double seconds) {
        return {QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QString::fromLatin1(sineSource).arg(sampleRate),
                QStringLiteral("-t"), QString::number(seconds)};
    }

    static Outcome decode(const QString& file, const CancellationFlag& cancellation = {},
                          const std::function<void(double)>& onProgress = {}) {
        Outcome outcome;
        try {
            outcome.samples = MediaDecoder::decodeAudio(
                file,
                [&](double fraction) {
                    outcome.progress.push_back(fraction);
                    if (onProgress) {
                        onProgress(fraction);
                    }
                },
                cancellation);
        } catch (const MediaDecodeError& error) {
            outcome.errorKind = error.kind();
            outcome.message = error.description();
        } catch (const OperationCancelled&) {
            outcome.cancelled = true;
        }
        return outcome;
    }

private:
    QTemporaryDir m_dir;
};

// Sign changes of the signal, ignoring the low-level noise that lossy codecs
// leave in their silent priming and padding.
int zeroCrossings(const SampleBuffer& samples) {
    constexpr float threshold = 0.01F;
    int crossings = 0;
    int sign = 0;
    for (const float sample : samples) {
        const int current = sample > threshold ? 1 : sample < -threshold ? -1 : 0;
        if (current != 0 && current != sign) {
            crossings += sign != 0 ? 1 : 0;
            sign = current;
        }
    }
    return crossings;
}

void expectMonotonicEndingAtOne(const std::vector<double>& progress) {
    ASSERT_GE(progress.size(), 3U) << "expected progress while decoding and at the end";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.front(), 0.0);
    EXPECT_LT(progress.front(), 0.5);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

struct FormatCase {
    const char* file;
    QStringList arguments;
};

TEST_F(MediaDecoderTest, EveryCommonContainerDecodesToThreeSecondsOfTheTone) {
    const QStringList video{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("testsrc=size=160x120:rate=10")};
    const QStringList mpeg4Video{QStringLiteral("-c:v"), QStringLiteral("mpeg4")};
    const FormatCase cases[] = {
        {"tone.wav", sine(48000, 3) + QStringList{"-ac", "2", "-c:a", "pcm_s16le"}},
        {"tone.mp3",
         sine(44100, 3) + QStringList{"-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k"}},
        {"tone.m4a", sine(44100, 3) + QStringList{"-c:a", "aac", "-b:a", "96k"}},
        {"tone.flac", sine(22050, 3) + QStringList{"-c:a", "flac"}},
        {"tone.aiff", sine(8000, 3) + QStringList{"-c:a", "pcm_s16be"}},
        {"tone.caf", sine(48000, 3) + QStringList{"-ac", "2", "-c:a", "alac"}},
        {"tone.opus", sine(48000, 3) + QStringList{"-c:a", "libopus"}},
        {"tone.mp4", video + sine(48000, 3) + mpeg4Video + QStringList{"-c:a", "aac"}},
        {"tone.mov", video + sine(32000, 3) + mpeg4Video + QStringList{"-c:a", "pcm_s16be"}},
        // An audio-only transport stream states a duration shorter than its audio.
        {"tone.ts", sine(48000, 3) + QStringList{"-c:a", "aac"}},
    };
    for (const auto& [file, arguments] : cases) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(generate(QString::fromLatin1(file), arguments));

        const Outcome outcome = decode(path(QString::fromLatin1(file)));

        ASSERT_TRUE(outcome.samples) << outcome.message.toStdString();
        EXPECT_NEAR(static_cast<double>(outcome.samples->size()), 3 * 16000.0, 0.05 * 16000.0);
        EXPECT_NEAR(zeroCrossings(*outcome.samples), 2 * 440 * 3, 30);
        expectMonotonicEndingAtOne(outcome.progress);
    }
}

TEST_F(MediaDecoderTest, SilenceDecodesToZerosOfTheRightLength) {
    ASSERT_TRUE(generate(QStringLiteral("silence.wav"),
                         {"-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "2"}));

    const Outcome outcome = decode(path(QStringLiteral("silence.wav")));

    ASSERT_TRUE(outcome.samples) << outcome.message.toStdString();
    EXPECT_NEAR(static_cast<double>(outcome.samples->size()), 32000.0, 2.0);
    EXPECT_TRUE(std::all_of(outcome.samples->begin(), outcome.samples->end(),
                            [](float sample) { return sample == 0.0F; }));
}

TEST_F(MediaDecoderTest, RateChangePartWayThroughKeepsTheTimeline) {
    // Two MP3 streams glued together, the second at half the rate and in
    // stereo: converting the second part with the first part's converter
    // would squeeze one second of it into half a second.
    const QStringList raw{"-c:a", "libmp3lame", "-write_xing", "0", "-id3v2_version", "0"};
    ASSERT_TRUE(generate(QStringLiteral("first.mp3"), sine(44100, 1) + raw));
    ASSERT_TRUE(
        generate(QStringLiteral("second.mp3"), sine(22050, 1) + QStringList{"-ac", "2"} + raw));
    QFile glued(path(QStringLiteral("glued.mp3")));
    ASSERT_TRUE(glued.open(QIODevice::WriteOnly));
    glued.write(readFile(path(QStringLiteral("first.mp3"))));
    glued.write(readFile(path(QStringLiteral("second.mp3"))));
    glued.close();

    const Outcome outcome = decode(glued.fileName());

    ASSERT_TRUE(outcome.samples) << outcome.message.toStdString();
    // Each part carries the encoder's delay and padding (about 50 ms).
    EXPECT_NEAR(static_cast<double>(outcome.samples->size()), 2 * 16000.0, 0.15 * 16000.0);
    EXPECT_NEAR(zeroCrossings(*outcome.samples), 2 * 440 * 2, 30);
}

TEST_F(MediaDecoderTest, DamagedFramesInTheMiddleAreSkipped) {
    ASSERT_TRUE(generate(QStringLiteral("damaged.mp3"),
                         sine(44100, 3) + QStringList{"-c:a", "libmp3lame", "-b:a", "64k"}));
    QByteArray bytes = readFile(path(QStringLiteral("damaged.mp3")));
    const qsizetype middle = bytes.size() / 2;
    for (qsizetype i = 0; i < 2000; ++i) {
        bytes[middle + i] = static_cast<char>((i * 37) & 0xff);
    }
    writeFile(path(QStringLiteral("damaged.mp3")), bytes);

    const Outcome outcome = decode(path(QStringLiteral("damaged.mp3")));

    ASSERT_TRUE(outcome.samples) << outcome.message.toStdString();
    EXPECT_NEAR(static_cast<double>(outcome.samples->size()), 3 * 16000.0, 0.5 * 16000.0);
}

TEST_F(MediaDecoderTest, VideoWithoutSoundHasNoAudioTrack) {
    ASSERT_TRUE(generate(
        QStringLiteral("silent-film.mp4"),
        {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "1", "-c:v", "mpeg4"}));

    const Outcome outcome = decode(path(QStringLiteral("silent-film.mp4")));

    EXPECT_EQ(outcome.errorKind, MediaDecodeError::Kind::noAudioTrack);
    EXPECT_EQ(outcome.message.toStdString(),
              "This file doesn't contain an audio track to transcribe.");
}

TEST_F(MediaDecoderTest, FilesThatAreNotMediaAreUnsupported) {
    QByteArray text;
    for (int i = 0; i < 500; ++i) {
        text += "line " + QByteArray::number(i) + " of notes that are not audio\n";
    }
    QByteArray noise(200000, '\0');
    quint32 state = 12345;
    for (char& byte : noise) {
        state = state * 1664525U + 1013904223U;
        byte = static_cast<char>(state >> 24);
    }
    const std::pair<const char*, QByteArray> cases[] = {
        {"notes.mp3", "just a short note\n"},
        {"long-notes.mp3", text},
        {"noise.mp3", noise},
        {"noise.m4a", noise},
        {"empty.wav", QByteArray()},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        writeFile(path(QString::fromLatin1(name)), bytes);

        const Outcome outcome = decode(path(QString::fromLatin1(name)));

        EXPECT_EQ(outcome.errorKind, MediaDecodeError::Kind::unsupported);
        EXPECT_EQ(outcome.message.toStdString(), "This media format isn't supported.");
    }
}

TEST_F(MediaDecoderTest, FilesThatCannotBeReadSayWhy) {
    const std::pair<QString, const char*> cases[] = {
        {path(QStringLiteral("missing.mp3")),
         "Could not read the audio: No such file or directory"},
        {directory(), "Could not read the audio: Is a directory"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file.toStdString());
        const Outcome outcome = decode(file);
        EXPECT_EQ(outcome.errorKind, MediaDecodeError::Kind::readFailed);
        EXPECT_EQ(outcome.message.toStdString(), message);
    }
}

TEST_F(MediaDecoderTest, ExactlyTwoHoursIsAccepted) {
    // 8-bit PCM at 8 kHz: two hours written in well under a second, with an
    // exact duration in the header.
    ASSERT_TRUE(
        generate(QStringLiteral("two-hours.wav"),
                 {"-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-t", "7200", "-c:a", "pcm_u8"}));
    CancellationFlag cancellation;

    // Decoding all of it is not needed: reaching the first progress report
    // proves the length check let the file through.
    const Outcome outcome = decode(path(QStringLiteral("two-hours.wav")), cancellation,
                                   [&](double) { cancellation.cancel(); });

    EXPECT_TRUE(outcome.cancelled) << outcome.message.toStdString();
    EXPECT_EQ(outcome.progress.size(), 1U);
}

TEST_F(MediaDecoderTest, OneSecondOverTwoHoursIsTooLong) {
    ASSERT_TRUE(
        generate(QStringLiteral("too-long.wav"),
                 {"-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-t", "7201", "-c:a", "pcm_u8"}));

    const Outcome outcome = decode(path(QStringLiteral("too-long.wav")));

    EXPECT_EQ(outcome.errorKind, MediaDecodeError::Kind::tooLong);
    EXPECT_EQ(outcome.message.toStdString(), "This media is 2.0 hours long. The limit is 2 hours.");
    EXPECT_TRUE(outcome.progress.empty());
}

TEST_F(MediaDecoderTest, CancelledBeforeStartDecodesNothing) {
    ASSERT_TRUE(generate(QStringLiteral("tone.wav"), sine(48000, 1)));
    CancellationFlag cancellation;
    cancellation.cancel();

    const Outcome outcome = decode(path(QStringLiteral("tone.wav")), cancellation);

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(outcome.progress.empty());
}

TEST_F(MediaDecoderTest, CancelledPartWayStopsDecoding) {
    ASSERT_TRUE(
        generate(QStringLiteral("tone.flac"), sine(44100, 3) + QStringList{"-c:a", "flac"}));
    CancellationFlag cancellation;

    const Outcome outcome =
        decode(path(QStringLiteral("tone.flac")), cancellation, [&](double fraction) {
            if (fraction > 0.3) {
                cancellation.cancel();
            }
        });

    EXPECT_TRUE(outcome.cancelled);
    ASSERT_FALSE(outcome.progress.empty());
    EXPECT_LT(outcome.progress.back(), 0.5);
}

TEST_F(MediaDecoderTest, ErrorMessagesAreTheFixedTexts) {
    EXPECT_EQ(MediaDecodeError::tooLong(9000.0).description(),
              QStringLiteral("This media is 2.5 hours long. The limit is 2 hours."));
    EXPECT_EQ(MediaDecodeError::tooLong(7200.5).description(),
              QStringLiteral("This media is 2.0 hours long. The limit is 2 hours."));
    EXPECT_EQ(MediaDecodeError::readFailed(QStringLiteral("disk on fire")).description(),
              QStringLiteral("Could not read the audio: disk on fire"));
    EXPECT_STREQ(MediaDecodeError::unsupported().what(), "This media format isn't supported.");
}

} // namespace
