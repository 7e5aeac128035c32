#include "speech/TranscriptionService.h"

#include "AwaitTask.h"
#include "SpeechModels.h"
#include "TestEnvironment.h"
#include "WhisperModelWriter.h"
#include "speech/WhisperError.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QList>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>
#include <whisper.h>

namespace {

using State = TranscriptionService::State;
using Kind = WhisperModel::Kind;

class TranscriptionServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&service, &TranscriptionService::stateChanged,
                         [this](const State& state) { states.append(state); });
    }

    void installModel(Kind kind = Kind::turbo) {
        SpeechModels::installTinyModel(WhisperModel::model(kind).localURL());
    }

    // Awaits `task` and returns the description of what it threw, if anything.
    template <typename T>
    std::optional<QString> failureOf(QCoro::Task<T>&& task) {
        try {
            awaitTask(std::move(task));
        } catch (const ServiceError& error) {
            return error.description();
        }
        return std::nullopt;
    }

    int loadsStarted() const { return static_cast<int>(states.count(State::loading())); }

    ScopedTestHome home;
    TranscriptionService service;
    QList<State> states;
};

TEST_F(TranscriptionServiceTest, LoadsTheModelOfTheRequestedKind) {
    installModel();
    awaitTask(service.ensureLoaded(Kind::turbo));
    EXPECT_EQ(service.state(), State::ready());
    EXPECT_EQ(service.loadedModelKind(), Kind::turbo);
    EXPECT_EQ(states, (QList<State>{State::loading(), State::ready()}));

    awaitTask(service.ensureLoaded(Kind::turbo)); // already loaded: nothing happens
    EXPECT_EQ(loadsStarted(), 1);
}

TEST_F(TranscriptionServiceTest, ConcurrentCallersShareOneLoad) {
    installModel();
    bool firstDone = false;
    bool secondDone = false;
    auto first = service.ensureLoaded(Kind::turbo).then([&] { firstDone = true; });
    auto second = service.ensureLoaded(Kind::turbo).then([&] { secondDone = true; });
    ASSERT_TRUE(waitUntil([&] { return firstDone && secondDone; }));
    EXPECT_EQ(loadsStarted(), 1);
    EXPECT_EQ(service.state(), State::ready());
}

TEST_F(TranscriptionServiceTest, AnUnloadDuringALoadWins) {
    installModel();
    bool done = false;
    auto load = service.ensureLoaded(Kind::turbo).then([&] { done = true; });
    EXPECT_EQ(service.state(), State::loading());
    service.unload();
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(service.state(), State::unloaded());
    EXPECT_FALSE(service.isLoaded());
    EXPECT_FALSE(service.loadedModelKind().has_value());

    // The next request loads again.
    awaitTask(service.ensureLoaded(Kind::turbo));
    EXPECT_EQ(service.state(), State::ready());
}

TEST_F(TranscriptionServiceTest, AMissingModelFileIsReportedAndKeepsTheLoadedModel) {
    installModel(Kind::turbo);
    awaitTask(service.ensureLoaded(Kind::turbo));
    awaitTask(service.ensureLoaded(Kind::full));
    EXPECT_EQ(service.state(), State::failed(QStringLiteral("Model not downloaded.")));
    EXPECT_EQ(service.loadedModelKind(), Kind::turbo);

    const QString fullPath = WhisperModel::full().localURL();
    EXPECT_EQ(failureOf(service.transcribe(SpeechModels::toneSamples(1), QStringLiteral("en"),
                                           Kind::full)),
              QStringLiteral("Could not load the transcription model at %1.").arg(fullPath));
}

TEST_F(TranscriptionServiceTest, CorruptModelFilesFailToLoadWithTheirPath) {
    const QString path = WhisperModel::turbo().localURL();
    const QString model = SpeechModels::tinyModelPath();
    const qint64 size = QFileInfo(model).size();
    writeFile(home.path(QStringLiteral("garbage")), QByteArray(4096, '\x5a'));
    QDir().mkpath(WhisperModel::turbo().storageDirectory());
    // Cut inside the header, the vocabulary, the weights and the last tensor:
    // the library itself would accept some of these or abort on them.
    std::vector<std::function<void()>> damages;
    for (const qint64 kept :
         {qint64{20}, qint64{48}, qint64{1000}, qint64{200000}, size / 2, size - 1}) {
        damages.push_back([&, kept] { ASSERT_TRUE(writeTruncatedCopy(model, path, kept)); });
    }
    for (const auto& make : std::vector<std::function<void()>>{
             [&] { writeFile(path, readFile(home.path(QStringLiteral("garbage")))); },
             [&] { writeFile(path, {}); }}) {
        damages.push_back(make);
    }
    for (const auto& make : damages) {
        QFile::remove(path);
        make();
        awaitTask(service.ensureLoaded(Kind::turbo));
        const QString message =
            QStringLiteral("Could not load the transcription model at %1.").arg(path);
        EXPECT_EQ(service.state(), State::failed(message));
        EXPECT_FALSE(service.isLoaded());
        EXPECT_EQ(failureOf(service.transcribe(SpeechModels::toneSamples(1), QStringLiteral("en"),
                                               Kind::turbo)),
                  message);
    }
}

TEST_F(TranscriptionServiceTest, EmptyAudioIsAnErrorAndLeavesTheModelReady) {
    installModel();
    EXPECT_EQ(failureOf(service.transcribe({}, QStringLiteral("en"), Kind::turbo)),
              QStringLiteral("No audio was captured."));
    EXPECT_EQ(service.state(), State::ready());
    EXPECT_EQ(states.count(State::transcribing()), 1);
}

TEST_F(TranscriptionServiceTest, ReportsTheRequestedOrDetectedLanguage) {
    installModel();
    const TranscriptionResult german = awaitTask(
        service.transcribe(SpeechModels::toneSamples(2), QStringLiteral("de"), Kind::turbo));
    EXPECT_EQ(german.language, QStringLiteral("de"));
    EXPECT_EQ(german.text, german.text.trimmed());

    const TranscriptionResult detected = awaitTask(
        service.transcribe(SpeechModels::toneSamples(2), QStringLiteral("auto"), Kind::turbo));
    // Random weights detect some language; it must be one whisper knows.
    EXPECT_NE(detected.language, QStringLiteral("auto"));
    EXPECT_GE(whisper_lang_id(detected.language.toUtf8().constData()), 0)
        << detected.language.toStdString();
    EXPECT_EQ(service.state(), State::ready());
}

TEST_F(TranscriptionServiceTest, SegmentsAreNumberedWithoutGapsInMilliseconds) {
    installModel();
    const SegmentsResult result = awaitTask(service.transcribeSegments(
        SpeechModels::toneSamples(3), QStringLiteral("en"), Kind::turbo));
    EXPECT_EQ(result.language, QStringLiteral("en"));
    for (qsizetype i = 0; i < result.segments.size(); ++i) {
        const TranscriptSegment& segment = result.segments[i];
        EXPECT_EQ(segment.index, i);
        EXPECT_FALSE(segment.text.isEmpty());
        EXPECT_EQ(segment.text, segment.text.trimmed());
        EXPECT_EQ(segment.startMs % 10, 0);
        EXPECT_LE(segment.startMs, segment.endMs);
    }
}

TEST_F(TranscriptionServiceTest, AnUnloadDuringRecognitionLeavesTheServiceUnloaded) {
    installModel();
    awaitTask(service.ensureLoaded(Kind::turbo));
    bool done = false;
    auto recognition =
        service.transcribe(SpeechModels::toneSamples(2), QStringLiteral("en"), Kind::turbo)
            .then([&](const TranscriptionResult&) { done = true; });
    EXPECT_EQ(service.state(), State::transcribing());
    service.unload();
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(service.state(), State::unloaded());
    EXPECT_FALSE(service.isLoaded());
}

TEST_F(TranscriptionServiceTest, RecognitionLoadsTheModelWhenNeeded) {
    installModel(Kind::full);
    const TranscriptionResult result = awaitTask(
        service.transcribe(SpeechModels::toneSamples(1), QStringLiteral("en"), Kind::full));
    EXPECT_EQ(result.language, QStringLiteral("en"));
    EXPECT_EQ(service.loadedModelKind(), Kind::full);
}

} // namespace
