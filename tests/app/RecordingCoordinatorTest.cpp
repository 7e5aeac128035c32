#include "CoordinatorFixture.h"
#include "common/Observe.h"

#include <QList>

namespace {

using namespace std::chrono_literals;
using Kind = RecordingCoordinator::Status::Kind;

class RecordingCoordinatorTest : public CoordinatorFixture {};

TEST(RecordingStatusTest, LabelsColoursAndBusyness) {
    using Status = RecordingCoordinator::Status;
    using Colour = Status::Colour;
    const struct {
        Status status;
        const char* label;
        Colour colour;
        bool busy;
    } rows[] = {
        {Status::idle(), "Ready", Colour::green, false},
        {Status::recording(), "Recording…", Colour::red, true},
        {Status::transcribing(), "Transcribing…", Colour::orange, true},
        {Status::cleaning(), "Polishing…", Colour::blue, true},
        {Status::translating(), "Translating…", Colour::purple, true},
        {Status::error(QStringLiteral("Mic gone")), "Mic gone", Colour::yellow, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.status.label(), QString::fromUtf8(row.label));
        EXPECT_EQ(row.status.colour(), row.colour);
        EXPECT_EQ(row.status.isBusy(), row.busy);
    }
    EXPECT_EQ(Status::error(QStringLiteral("a")), Status::error(QStringLiteral("a")));
    EXPECT_NE(Status::error(QStringLiteral("a")), Status::error(QStringLiteral("b")));
}

TEST_F(RecordingCoordinatorTest, HoldToTalkRecordsRecognisesStoresCountsAndPastes) {
    LogCapture log;
    settings.setInputDeviceUID(QStringLiteral("usb-mic"));
    coordinator.hotkeyPressed();
    EXPECT_EQ(coordinator.status(), Status::recording());
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(panel->state, IndicatorState::recording());
    ASSERT_EQ(recorder.startedWith.size(), 1u);
    EXPECT_EQ(recorder.startedWith[0], QStringLiteral("usb-mic"));

    clock.advance(500ms);
    coordinator.hotkeyReleased();

    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_FALSE(panel->visible);
    EXPECT_EQ(inserter.inserted, QStringList{QStringLiteral("Hello world.")});
    ASSERT_EQ(history.rows.size(), 1u);
    EXPECT_EQ(history.rows[0].text, QStringLiteral("Hello world."));
    EXPECT_EQ(history.rows[0].language, QStringLiteral("en"));
    EXPECT_FALSE(history.rows[0].rawText.has_value());
    EXPECT_EQ(stats.totalWords(), 2);
    EXPECT_DOUBLE_EQ(stats.totalRecordingSeconds(), 1.0);
    EXPECT_EQ(stats.sessionCount(), 1);
    ASSERT_EQ(transcription.calls.size(), 1u);
    EXPECT_EQ(transcription.calls[0].language, QStringLiteral("auto"));
    EXPECT_EQ(transcription.calls[0].kind, WhisperModel::Kind::turbo);

    const QString recording = QStringLiteral("com.murmex.app.Recording");
    EXPECT_EQ(log.messages(recording),
              (QStringList{QStringLiteral("Recording started"),
                           QStringLiteral("Recording stopped, captured 16000 samples"),
                           QStringLiteral("Transcription produced 12 characters (lang: en)"),
                           QStringLiteral("History save succeeded; entries now 1")}));
}

TEST_F(RecordingCoordinatorTest, TapThresholdDecidesBetweenLockAndHold) {
    const struct {
        Clock::Duration held;
        bool locks;
    } rows[] = {{200ms, true}, {400ms, true}, {401ms, false}, {500ms, false}};
    for (const auto& row : rows) {
        tap(row.held);
        EXPECT_EQ(coordinator.isLockedRecording(), row.locks);
        EXPECT_EQ(coordinator.status().kind, row.locks ? Kind::recording : Kind::idle);
        if (row.locks) {
            coordinator.hotkeyPressed(); // the second press stops
            EXPECT_EQ(coordinator.status(), Status::idle());
            coordinator.hotkeyReleased(); // and its release does nothing
            EXPECT_EQ(coordinator.status(), Status::idle());
        }
    }
    EXPECT_EQ(recorder.stopCount, 4);
    EXPECT_EQ(inserter.inserted.size(), 4);
}

TEST_F(RecordingCoordinatorTest, StartFromTheButtonThenATappedHotkeyLocksThenStops) {
    coordinator.toggleRecording();
    EXPECT_EQ(coordinator.status(), Status::recording());
    coordinator.hotkeyPressed(); // ignored: already recording
    EXPECT_EQ(recorder.startedWith.size(), 1u);
    clock.advance(3s);
    coordinator.hotkeyReleased(); // no press time: counts as a tap
    EXPECT_TRUE(coordinator.isLockedRecording());
    EXPECT_EQ(coordinator.status(), Status::recording());
    coordinator.hotkeyPressed();
    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_EQ(recorder.stopCount, 1);
}

TEST_F(RecordingCoordinatorTest, PressesWhileProcessingAreRefused) {
    transcription.gate.close();
    dictate();
    EXPECT_EQ(coordinator.status(), Status::transcribing());
    EXPECT_EQ(panel->state, IndicatorState::transcribing());
    EXPECT_TRUE(coordinator.isBusy());

    coordinator.hotkeyPressed();
    coordinator.hotkeyReleased();
    coordinator.toggleRecording();
    EXPECT_EQ(recorder.startedWith.size(), 1u);
    EXPECT_EQ(coordinator.status(), Status::transcribing());

    transcription.gate.open();
    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_EQ(inserter.inserted.size(), 1);
}

TEST_F(RecordingCoordinatorTest, RecorderFailureShowsItsDescriptionForThreeSeconds) {
    LogCapture log;
    recorder.startError = QStringLiteral("No microphone found.");
    coordinator.hotkeyPressed();
    EXPECT_EQ(coordinator.status(), Status::error(QStringLiteral("No microphone found.")));
    EXPECT_FALSE(panel->visible);
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.Recording"),
                             QStringLiteral("Failed to start recording: No microphone found.")));
    clock.advance(2999ms);
    EXPECT_EQ(coordinator.status().kind, Kind::error);
    clock.advance(1ms);
    EXPECT_EQ(coordinator.status(), Status::idle());
}

TEST_F(RecordingCoordinatorTest, NoSamplesEndsWithTheNoAudioMessage) {
    LogCapture log;
    recorder.samples.clear();
    dictate();
    EXPECT_EQ(coordinator.status(), Status::error(RecordingCoordinator::noAudioMessage));
    EXPECT_TRUE(transcription.calls.empty());
    EXPECT_TRUE(log.contains(
        QStringLiteral("com.murmex.app.Recording"),
        QStringLiteral("No audio captured — check microphone permission/input device")));
    clock.advance(3s);
    EXPECT_EQ(coordinator.status(), Status::idle());
}

TEST_F(RecordingCoordinatorTest, EmptyResultMessageDependsOnTheSampleCount) {
    transcription.result.text = QStringLiteral("  \n ");
    for (const auto& [count, message] :
         {std::pair{std::size_t{4799}, RecordingCoordinator::microphoneNotReadyMessage},
          std::pair{std::size_t{4800}, RecordingCoordinator::noSpeechMessage}}) {
        LogCapture log;
        recorder.samples.assign(count, 0.0f);
        dictate();
        EXPECT_EQ(coordinator.status(), Status::error(message)) << count;
        EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.Recording"),
                                 QStringLiteral("Transcription was empty — likely silence")));
        clock.advance(3s);
    }
    EXPECT_TRUE(history.rows.empty());
    EXPECT_TRUE(inserter.inserted.isEmpty());
    EXPECT_EQ(stats.sessionCount(), 0);
}

TEST_F(RecordingCoordinatorTest, RecognitionFailureKeepsTheAudioForRetry) {
    LogCapture log;
    transcription.error = QStringLiteral("Transcription failed: decoder error");
    settings.setLanguage(QStringLiteral("de"));
    dictate();
    const QString message = QStringLiteral("Transcription failed: decoder error");
    EXPECT_EQ(coordinator.status(), Status::error(message));
    EXPECT_EQ(coordinator.recoverableError(), RecordingCoordinator::RecoverableError{message});
    EXPECT_TRUE(coordinator.hasRetryInput());
    EXPECT_FALSE(panel->visible);
    EXPECT_TRUE(
        log.contains(QStringLiteral("com.murmex.app.Recording"),
                     QStringLiteral("Transcription failed: Transcription failed: decoder error")));

    // No reset timer for a recoverable error.
    clock.advance(10s);
    EXPECT_EQ(coordinator.status(), Status::error(message));

    // Retry uses the kept audio and language, even after the settings changed.
    settings.setLanguage(QStringLiteral("fr"));
    transcription.error.reset();
    coordinator.retryTranscription();
    ASSERT_EQ(transcription.calls.size(), 2u);
    EXPECT_EQ(transcription.calls[1].language, QStringLiteral("de"));
    EXPECT_EQ(transcription.calls[1].sampleCount, 16000u);
    EXPECT_EQ(recorder.startedWith.size(), 1u);
    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_FALSE(coordinator.recoverableError().has_value());
    EXPECT_FALSE(coordinator.hasRetryInput());
    EXPECT_EQ(inserter.inserted.size(), 1);
}

TEST_F(RecordingCoordinatorTest, RetryShowsTranscribingAndAFailedRetryReplacesTheError) {
    transcription.error = QStringLiteral("first");
    dictate();
    transcription.error = QStringLiteral("second");
    transcription.gate.close();
    coordinator.retryTranscription();
    EXPECT_EQ(coordinator.status(), Status::transcribing());
    EXPECT_FALSE(coordinator.recoverableError().has_value());
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(panel->state, IndicatorState::transcribing());
    transcription.gate.open();
    EXPECT_EQ(coordinator.status(), Status::error(QStringLiteral("second")));
    EXPECT_EQ(coordinator.recoverableError()->message, QStringLiteral("second"));
    EXPECT_TRUE(coordinator.hasRetryInput());
}

TEST_F(RecordingCoordinatorTest, RedownloadUnloadsAndFetchesTheModelThatFailed) {
    settings.setSelectedModel(WhisperModel::Kind::full);
    transcription.error = QStringLiteral("bad model");
    dictate();
    settings.setSelectedModel(WhisperModel::Kind::turbo);
    coordinator.redownloadModel();
    EXPECT_EQ(transcription.unloadCount, 1);
    EXPECT_EQ(downloads.started, QStringList{QStringLiteral("full")});
    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_FALSE(coordinator.recoverableError().has_value());
    EXPECT_FALSE(coordinator.hasRetryInput());

    // Without a failed recognition the selected model is fetched.
    coordinator.redownloadModel();
    EXPECT_EQ(downloads.started.last(), QStringLiteral("turbo"));
}

TEST_F(RecordingCoordinatorTest, DismissDropsTheAudioAndTheBanner) {
    transcription.error = QStringLiteral("failed");
    dictate();
    coordinator.dismissRecoverableError();
    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_FALSE(coordinator.recoverableError().has_value());
    EXPECT_FALSE(coordinator.hasRetryInput());
    coordinator.retryTranscription(); // nothing left to retry
    EXPECT_EQ(transcription.calls.size(), 1u);
}

TEST_F(RecordingCoordinatorTest, ANewRecordingRemovesTheBannerButKeepsTheAudioUntilSuccess) {
    transcription.error = QStringLiteral("failed");
    dictate();
    recorder.startError = QStringLiteral("Mic busy");
    coordinator.hotkeyPressed();
    EXPECT_FALSE(coordinator.recoverableError().has_value());
    EXPECT_TRUE(coordinator.hasRetryInput());
    recorder.startError.reset();
    transcription.error.reset();
    clock.advance(3s);
    dictate();
    EXPECT_FALSE(coordinator.hasRetryInput());
}

TEST_F(RecordingCoordinatorTest, AnOlderErrorResetDoesNotClearALaterRecoverableError) {
    recorder.startError = QStringLiteral("Mic busy");
    coordinator.hotkeyPressed(); // error with a 3 s reset pending
    recorder.startError.reset();
    clock.advance(500ms);
    transcription.error = QStringLiteral("decoder failed");
    tap(500ms); // a hold, then a recoverable recognition failure before the reset is due
    ASSERT_EQ(coordinator.status(), Status::error(QStringLiteral("decoder failed")));
    clock.advance(5s);
    EXPECT_EQ(coordinator.status(), Status::error(QStringLiteral("decoder failed")));
    EXPECT_TRUE(coordinator.recoverableError().has_value());
}

TEST_F(RecordingCoordinatorTest, CaptureAbortWhileRecordingShowsTheMessage) {
    LogCapture log;
    coordinator.hotkeyPressed();
    recorder.delegate->audioRecorderDidAbort(QStringLiteral("Microphone switched — try again."));
    EXPECT_EQ(coordinator.status(),
              Status::error(QStringLiteral("Microphone switched — try again.")));
    EXPECT_FALSE(panel->visible);
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.Recording"),
                             QStringLiteral("Capture aborted: Microphone switched — try again.")));
    // The release of the held key does nothing now.
    coordinator.hotkeyReleased();
    EXPECT_EQ(recorder.stopCount, 0);

    clock.advance(3s);
    recorder.delegate->audioRecorderDidAbort(QStringLiteral("late")); // ignored when not recording
    EXPECT_EQ(coordinator.status(), Status::idle());
}

TEST_F(RecordingCoordinatorTest, TranslationWinsOverCleanupAndStoresTheTargetLanguage) {
    installCleanupModel();
    settings.setCleanUpTranscripts(true);
    settings.setAutoTranslateEnabled(true);
    settings.setTranslationTargetLanguage(QStringLiteral("de"));
    translation.gate.close();
    dictate();
    EXPECT_EQ(coordinator.status(), Status::translating());
    EXPECT_EQ(panel->state, IndicatorState::translating());
    translation.gate.open();

    ASSERT_EQ(translation.calls.size(), 1u);
    EXPECT_EQ(translation.calls[0].text, QStringLiteral("Hello world."));
    EXPECT_EQ(translation.calls[0].target, QStringLiteral("de"));
    EXPECT_EQ(translation.calls[0].source, QStringLiteral("en"));
    EXPECT_TRUE(cleanup.inputs.isEmpty());
    EXPECT_EQ(inserter.inserted, QStringList{QStringLiteral("Hallo Welt.")});
    EXPECT_EQ(history.rows[0].language, QStringLiteral("de"));
    EXPECT_EQ(history.rows[0].rawText, QStringLiteral("Hello world."));
}

TEST_F(RecordingCoordinatorTest, AFailedTranslationPastesTheOriginalUnderTheTargetLanguage) {
    LogCapture log;
    settings.setAutoTranslateEnabled(true);
    settings.setTranslationTargetLanguage(QStringLiteral("ja"));
    translation.error = QStringLiteral("Translation produced no output.");
    dictate();
    EXPECT_EQ(inserter.inserted, QStringList{QStringLiteral("Hello world.")});
    EXPECT_EQ(history.rows[0].language, QStringLiteral("ja"));
    EXPECT_FALSE(history.rows[0].rawText.has_value());
    EXPECT_EQ(coordinator.status(), Status::idle());
    EXPECT_TRUE(log.contains(
        QStringLiteral("com.murmex.app.Recording"),
        QStringLiteral("Translation failed, pasting original: Translation produced no output.")));
}

TEST_F(RecordingCoordinatorTest, CleanupRunsOnlyWithItsModelPresent) {
    settings.setCleanUpTranscripts(true);
    cleanup.cleaned = QStringLiteral("Hello, world!");
    dictate(); // no model file: plain text, no error
    EXPECT_TRUE(cleanup.inputs.isEmpty());
    EXPECT_EQ(inserter.inserted.last(), QStringLiteral("Hello world."));

    installCleanupModel();
    cleanup.gate.close();
    dictate();
    EXPECT_EQ(coordinator.status(), Status::cleaning());
    EXPECT_EQ(panel->state, IndicatorState::cleaning());
    cleanup.gate.open();
    EXPECT_EQ(cleanup.inputs, QStringList{QStringLiteral("Hello world.")});
    EXPECT_EQ(inserter.inserted.last(), QStringLiteral("Hello, world!"));
    EXPECT_EQ(history.rows.back().language, QStringLiteral("en"));
    EXPECT_EQ(history.rows.back().rawText, QStringLiteral("Hello world."));
}

TEST_F(RecordingCoordinatorTest, PunctuationRemovalStoresTheRawTextOnlyWhenItChanged) {
    settings.setStripPunctuation(true);
    transcription.result.text = QStringLiteral(" Hello, world! (test) ");
    dictate();
    EXPECT_EQ(inserter.inserted.last(), QStringLiteral("Hello world test"));
    EXPECT_EQ(history.rows.back().rawText, QStringLiteral("Hello, world! (test)"));

    transcription.result.text = QStringLiteral("nothing to remove");
    dictate();
    EXPECT_EQ(inserter.inserted.last(), QStringLiteral("nothing to remove"));
    EXPECT_FALSE(history.rows.back().rawText.has_value());
}

TEST_F(RecordingCoordinatorTest, AFailedHistorySaveStillCountsAndPastes) {
    LogCapture log;
    history.failInserts = true;
    transcription.result.text = QStringLiteral("one two\tthree\nfour");
    dictate();
    EXPECT_EQ(inserter.inserted.size(), 1);
    EXPECT_EQ(stats.totalWords(), 4);
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.Recording"),
                             QStringLiteral("History save failed; entries now 0")));
}

TEST_F(RecordingCoordinatorTest, SettingsAreReadWhenTheRecordingStops) {
    coordinator.hotkeyPressed();
    settings.setLanguage(QStringLiteral("ko"));
    settings.setSelectedModel(WhisperModel::Kind::full);
    clock.advance(1s);
    coordinator.hotkeyReleased();
    ASSERT_EQ(transcription.calls.size(), 1u);
    EXPECT_EQ(transcription.calls[0].language, QStringLiteral("ko"));
    EXPECT_EQ(transcription.calls[0].kind, WhisperModel::Kind::full);
}

TEST_F(RecordingCoordinatorTest, StartPreloadsOnlyModelsWhoseFilesArePresent) {
    settings.setAutoTranslateEnabled(true);
    coordinator.toggleRecording();
    EXPECT_TRUE(transcription.loadedKinds.empty());
    EXPECT_EQ(cleanup.loadCount, 0);
    coordinator.toggleRecording();

    installSpeechModel();
    installCleanupModel();
    coordinator.toggleRecording();
    EXPECT_EQ(transcription.loadedKinds, std::vector{WhisperModel::Kind::turbo});
    EXPECT_EQ(cleanup.loadCount, 1);
}

TEST_F(RecordingCoordinatorTest, TogglingAutoTranslateFlashesOnlyWhenIdle) {
    LogCapture log;
    settings.setTranslationTargetLanguage(QStringLiteral("de"));
    coordinator.translationHotkeyPressed();
    EXPECT_TRUE(settings.autoTranslateEnabled());
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("autoTranslateEnabled")));
    EXPECT_EQ(panel->state, IndicatorState::info(QStringLiteral("Auto-translate on → German")));
    EXPECT_TRUE(panel->visible);
    clock.advance(1200ms);
    EXPECT_FALSE(panel->visible);

    coordinator.hotkeyPressed();
    coordinator.translationHotkeyPressed();
    EXPECT_FALSE(settings.autoTranslateEnabled());
    EXPECT_EQ(panel->state, IndicatorState::recording());
    EXPECT_EQ(
        log.messages(QStringLiteral("com.murmex.app.Recording")).filter(QStringLiteral("toggled")),
        (QStringList{QStringLiteral("Auto-translate toggled on"),
                     QStringLiteral("Auto-translate toggled off")}));

    // The dictation keeps the branch it runs with: translation is off now.
    clock.advance(1s);
    coordinator.hotkeyReleased();
    EXPECT_TRUE(translation.calls.empty());
}

TEST_F(RecordingCoordinatorTest, ObserversSeeEveryStatusInOrder) {
    QList<Kind> kinds;
    QObject receiver;
    observe(&coordinator, &RecordingCoordinator::status, &RecordingCoordinator::statusChanged,
            &receiver, [&kinds](const Status& status) { kinds.append(status.kind); });
    settings.setCleanUpTranscripts(true);
    installCleanupModel();
    dictate();
    EXPECT_EQ(kinds, (QList<Kind>{Kind::idle, Kind::recording, Kind::transcribing, Kind::cleaning,
                                  Kind::idle}));
}

} // namespace
