#include "speech/MediaTranscriptionService.h"

#include "AwaitTask.h"
#include "Fakes.h"
#include "LogCapture.h"
#include "MediaFiles.h"
#include "SpeechModels.h"
#include "TestEnvironment.h"
#include "common/Cancellation.h"
#include "speech/TranscriptionService.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"
#include "store/HistoryStore.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using JobState = MediaTranscriptionService::JobState;
using Kind = JobState::Kind;

// A link download that writes its file at once and then waits for the test.
class FakeDownloader final : public MediaURLDownloaderInterface {
public:
    FakeDownloader(QString file, Gate& gate, int& cancels)
        : m_file(std::move(file))
        , m_gate(gate)
        , m_cancels(cancels) {}

    QCoro::Task<QString> download(QUrl, ProgressHandler progress) override {
        writeFile(m_file, "partial");
        progress({0.5, 512, 1024});
        co_await m_gate.pass();
        if (m_cancelled) {
            throw OperationCancelled();
        }
        progress({1.0, 1024, 1024});
        co_return QString(m_file);
    }
    void cancel() override {
        m_cancelled = true;
        ++m_cancels;
    }

private:
    QString m_file;
    Gate& m_gate;
    int& m_cancels;
    bool m_cancelled = false;
};

class MediaTranscriptionServiceTest : public ::testing::Test {
protected:
    MediaTranscriptionServiceTest() {
        QObject::connect(&service, &MediaTranscriptionService::stateChanged,
                         [this](const JobState& state) { kinds.append(state.kind); });
    }

    QString media(const QString& name, const QStringList& arguments) {
        const QString file = home.path(name);
        EXPECT_TRUE(MediaFiles::generate(file, arguments));
        return file;
    }
    QString tone(double seconds = 3.0) {
        return media(QStringLiteral("tone.wav"), MediaFiles::sine(16000, seconds));
    }
    void installModel() { writeFile(WhisperModel::turbo().localURL(), "model"); }
    bool waitForEnd() {
        return waitUntil([this] { return !service.state().isRunning(); });
    }

    ScopedTestHome home;
    DefaultsStore defaults{home.path(QStringLiteral("defaults.json"))};
    AppSettings settings{defaults};
    HistoryStore history;
    FakeTranscription transcription;
    Gate downloadGate;
    int downloadCancels = 0;
    QString downloadedFile = home.path(QStringLiteral("murmex-media-download"));
    MediaTranscriptionService service{
        transcription, history, settings,
        MediaLinkSupport{[](const QString& text) -> ValidatedMediaLink {
                             if (!text.startsWith(QStringLiteral("https://"))) {
                                 throw ServiceError(QStringLiteral("Enter an https link."));
                             }
                             return {QUrl(text), QStringLiteral("talk.mp3")};
                         },
                         [this] {
                             return std::make_unique<FakeDownloader>(downloadedFile, downloadGate,
                                                                     downloadCancels);
                         }}};
    QList<Kind> kinds;
};

TEST_F(MediaTranscriptionServiceTest, AFileBecomesATranscriptWithItsDuration) {
    LogCapture log;
    installModel();
    settings.setLanguage(QStringLiteral("fr"));
    transcription.segmentsResult = {
        {{0, QStringLiteral("Bonjour."), 0, 1200}, {1, QStringLiteral("Salut."), 1200, 2900}},
        QStringLiteral("fr")};
    service.transcribeFile(tone(3.0));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(service.state().kind, Kind::done) << service.state().message.toStdString();
    const Transcript& transcript = service.state().transcript;
    EXPECT_EQ(transcript.segments, transcription.segmentsResult.segments);
    EXPECT_EQ(transcript.language, QStringLiteral("fr"));
    EXPECT_EQ(transcript.source, TranscriptionSource::mediaFile);
    EXPECT_EQ(transcript.mediaName, QStringLiteral("tone.wav"));
    EXPECT_EQ(transcript.durationMs, 3000);
    ASSERT_EQ(transcription.calls.size(), 1u);
    EXPECT_EQ(transcription.calls[0].sampleCount, 48000u);
    EXPECT_EQ(transcription.calls[0].language, QStringLiteral("fr"));
    EXPECT_EQ(kinds.first(), Kind::queued);
    EXPECT_TRUE(kinds.contains(Kind::decoding));
    EXPECT_TRUE(kinds.contains(Kind::transcribing));
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.MediaTranscription"),
                             QStringLiteral("Media transcription done: 2 segments")));
}

TEST_F(MediaTranscriptionServiceTest, PunctuationIsStrippedWhenTheSettingIsOn) {
    installModel();
    settings.setStripPunctuation(true);
    transcription.segmentsResult.segments = {{0, QStringLiteral("Hello, world."), 0, 900}};
    service.transcribeFile(tone(1.0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(service.state().transcript.segments.first().text, QStringLiteral("Hello world"));
}

TEST_F(MediaTranscriptionServiceTest, FailuresEndWithTheUsersMessage) {
    LogCapture log;
    service.transcribeFile(tone(1.0));
    EXPECT_EQ(service.state(), JobState::failed(MediaTranscriptionService::modelMissingMessage));

    installModel();
    const QString video = media(QStringLiteral("silent.mp4"),
                                {QStringLiteral("-f"), QStringLiteral("lavfi"),
                                 QStringLiteral("-i"), QStringLiteral("testsrc=size=64x48:rate=5"),
                                 QStringLiteral("-t"), QStringLiteral("1"), QStringLiteral("-an")});
    service.transcribeFile(video);
    ASSERT_TRUE(waitForEnd());
    const QString noAudio =
        QStringLiteral("This file doesn't contain an audio track to transcribe.");
    EXPECT_EQ(service.state(), JobState::failed(noAudio));
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.MediaTranscription"),
                             QStringLiteral("Media transcription failed: ") + noAudio));

    transcription.segmentsResult.segments.clear();
    service.transcribeFile(tone(1.0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(service.state(),
              JobState::failed(QStringLiteral("No speech was found in this media.")));

    transcription.error = QStringLiteral("Transcription failed (whisper_full returned -3).");
    service.transcribeFile(tone(1.0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(service.state(), JobState::failed(*transcription.error));
}

TEST_F(MediaTranscriptionServiceTest, ANewJobIsIgnoredWhileOneRuns) {
    installModel();
    transcription.gate.close();
    service.transcribeFile(tone(1.0));
    ASSERT_TRUE(waitUntil([&] { return service.state().kind == Kind::transcribing; }));
    service.transcribeFile(tone(2.0));
    service.transcribeLink(QStringLiteral("https://example.org/a.mp3"));
    EXPECT_EQ(service.state().kind, Kind::transcribing);
    transcription.gate.open();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(transcription.calls.size(), 1u);
    EXPECT_EQ(service.state().transcript.durationMs, 1000);
}

TEST_F(MediaTranscriptionServiceTest, CancellingWhileDecodingOrTranscribingReturnsToIdle) {
    installModel();
    // Decoding: a long file, cancelled as soon as decoding starts.
    const QString longFile = media(QStringLiteral("long.flac"), MediaFiles::sine(48000, 600));
    service.transcribeFile(longFile);
    EXPECT_EQ(service.state().kind, Kind::decoding);
    service.cancel();
    EXPECT_EQ(service.state(), JobState::idle());

    // Transcribing.
    transcription.gate.close();
    service.transcribeFile(tone(1.0));
    ASSERT_TRUE(waitUntil([&] { return service.state().kind == Kind::transcribing; }));
    service.cancel();
    transcription.gate.open();
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(service.state(), JobState::idle());
    EXPECT_FALSE(service.savedToHistory());
}

TEST_F(MediaTranscriptionServiceTest, LinksAreDownloadedTranscribedAndTheDownloadRemoved) {
    installModel();
    downloadGate.close();
    QList<JobState> downloads;
    QObject::connect(&service, &MediaTranscriptionService::stateChanged,
                     [&](const JobState& state) {
                         if (state.kind == Kind::downloading) {
                             downloads.append(state);
                         }
                     });
    MediaFiles::generate(downloadedFile + QStringLiteral(".wav"), MediaFiles::sine(16000, 2));
    downloadedFile += QStringLiteral(".wav");
    // The fake writes "partial" first; put the real media in place when released.
    const QByteArray audio = readFile(downloadedFile);
    service.transcribeLink(QStringLiteral("https://example.org/talk.mp3"));
    EXPECT_EQ(service.state().kind, Kind::downloading);
    EXPECT_EQ(service.state().title(), QStringLiteral("Downloading…"));
    EXPECT_EQ(service.state().detail(), QStringLiteral("512 bytes of 1.0 kB"));
    writeFile(downloadedFile, audio);
    downloadGate.open();
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(service.state().kind, Kind::done) << service.state().message.toStdString();
    EXPECT_EQ(service.state().transcript.source, TranscriptionSource::mediaURL);
    EXPECT_EQ(service.state().transcript.mediaName, QStringLiteral("talk.mp3"));
    EXPECT_EQ(service.state().transcript.durationMs, 2000);
    EXPECT_FALSE(QFileInfo::exists(downloadedFile));
    ASSERT_GE(downloads.size(), 2);
    EXPECT_EQ(downloads.first().totalBytes, 0);
    EXPECT_DOUBLE_EQ(downloads.last().fraction, 1.0);
}

TEST_F(MediaTranscriptionServiceTest, CancellingADownloadStopsTheTransferAndTheJob) {
    installModel();
    downloadGate.close();
    service.transcribeLink(QStringLiteral("https://example.org/talk.mp3"));
    ASSERT_EQ(service.state().kind, Kind::downloading);
    service.cancel();
    EXPECT_EQ(service.state(), JobState::idle());
    EXPECT_EQ(downloadCancels, 1);
    downloadGate.open();
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(service.state(), JobState::idle());
    EXPECT_TRUE(transcription.calls.empty());
}

TEST_F(MediaTranscriptionServiceTest, AnInvalidLinkFailsWithTheValidationMessage) {
    service.transcribeLink(QStringLiteral("ftp://example.org/a.mp3"));
    EXPECT_EQ(service.state(), JobState::failed(QStringLiteral("Enter an https link.")));
}

TEST_F(MediaTranscriptionServiceTest, AResultIsSavedToTheHistoryOnce) {
    installModel();
    EXPECT_FALSE(service.saveToHistory());
    transcription.segmentsResult = {{{0, QStringLiteral("First part."), 0, 1000},
                                     {1, QStringLiteral("Second/part."), 1000, 1900}},
                                    QStringLiteral("en")};
    service.transcribeFile(tone(2.0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(service.saveToHistory());
    EXPECT_TRUE(service.savedToHistory());
    EXPECT_FALSE(service.saveToHistory());
    ASSERT_EQ(history.entries().size(), 1);
    const Transcription& row = history.entries().first();
    EXPECT_EQ(row.text, QStringLiteral("First part. Second/part."));
    EXPECT_EQ(row.source, TranscriptionSource::mediaFile);
    EXPECT_EQ(row.mediaName, QStringLiteral("tone.wav"));
    EXPECT_EQ(row.durationMs, 2000);
    EXPECT_EQ(row.segments, transcription.segmentsResult.segments);

    service.reset();
    EXPECT_EQ(service.state(), JobState::idle());
    EXPECT_FALSE(service.savedToHistory());
}

TEST(MediaJobStateTest, ProgressWording) {
    EXPECT_EQ(JobState::queued().title(), QStringLiteral("Preparing…"));
    EXPECT_EQ(JobState::decoding(0.3).title(), QStringLiteral("Decoding audio…"));
    EXPECT_EQ(JobState::transcribing().title(), QStringLiteral("Transcribing…"));
    EXPECT_EQ(JobState::transcribing().detail(),
              QStringLiteral("Running entirely on your computer. Long media can take a while."));
    EXPECT_EQ(JobState::downloading({0.0, 0, 0}).detail(), QString());
    EXPECT_EQ(JobState::idle().title(), QString());
    EXPECT_EQ(JobState::failed(QStringLiteral("x")).title(), QString());
}

// The whole chain with the real speech library on a generated model.
TEST(MediaTranscriptionWithWhisperTest, RealRecognitionProducesNumberedSegments) {
    ScopedTestHome home;
    SpeechModels::installTinyModel(WhisperModel::turbo().localURL());
    DefaultsStore defaults(home.path(QStringLiteral("defaults.json")));
    AppSettings settings(defaults);
    settings.setLanguage(QStringLiteral("en"));
    HistoryStore history;
    TranscriptionService transcription;
    MediaTranscriptionService service(transcription, history, settings);
    const QString file = home.path(QStringLiteral("speech.mp3"));
    ASSERT_TRUE(MediaFiles::generate(file, MediaFiles::sine(44100, 4)));
    service.transcribeFile(file);
    ASSERT_TRUE(waitUntil([&] { return !service.state().isRunning(); }));
    ASSERT_EQ(service.state().kind, MediaTranscriptionService::JobState::Kind::done)
        << service.state().message.toStdString();
    const Transcript& transcript = service.state().transcript;
    EXPECT_EQ(transcript.language, QStringLiteral("en"));
    EXPECT_NEAR(static_cast<double>(transcript.durationMs), 4000.0, 60.0);
    for (qsizetype i = 0; i < transcript.segments.size(); ++i) {
        EXPECT_EQ(transcript.segments[i].index, i);
    }
    EXPECT_TRUE(service.saveToHistory());
}

} // namespace
