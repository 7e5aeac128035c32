#pragma once

#include "app/RecordingIndicatorController.h"
#include "audio/AudioRecorderInterface.h"
#include "input/HotkeyManager.h"
#include "models/ModelCatalog.h"
#include "platform/Clock.h"

#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class AppSettings;
class HistoryStoreInterface;
class KeyEventSource;
class ModelDownloadManagerInterface;
class TextCleanupServiceInterface;
class TextInserter;
class TranscriptionServiceInterface;
class TranslationServiceInterface;
class UsageStatsStore;

// Drives one dictation from the hotkey to the pasted text: interprets hold
// and tap, records, recognises, translates or cleans up, stores, counts and
// pastes, and keeps the indicator in step. Main thread only.
class RecordingCoordinator final : public QObject,
                                   public HotkeyManagerDelegate,
                                   public AudioRecorderDelegate {
    Q_OBJECT

public:
    struct Status {
        enum class Kind { idle, recording, transcribing, cleaning, translating, error };
        enum class Colour { green, red, orange, blue, purple, yellow };

        Kind kind = Kind::idle;
        QString message; // only for error

        static Status idle() { return {}; }
        static Status recording() { return {Kind::recording, {}}; }
        static Status transcribing() { return {Kind::transcribing, {}}; }
        static Status cleaning() { return {Kind::cleaning, {}}; }
        static Status translating() { return {Kind::translating, {}}; }
        static Status error(QString message) { return {Kind::error, std::move(message)}; }

        // The status pill's text and colour.
        QString label() const;
        Colour colour() const;
        bool isBusy() const;

        bool operator==(const Status&) const = default;
    };

    // A recognition failure whose audio is kept for a retry.
    struct RecoverableError {
        QString message;
        bool operator==(const RecoverableError&) const = default;
    };

    struct Services {
        AppSettings& settings;
        AudioRecorderInterface& recorder;
        TranscriptionServiceInterface& transcription;
        TextCleanupServiceInterface& cleanup;
        TranslationServiceInterface& translation;
        HistoryStoreInterface& history;
        UsageStatsStore& stats;
        ModelDownloadManagerInterface& downloadManager;
        TextInserter& textInserter;
        KeyEventSource& keyEvents;
        RecordingIndicatorController::PanelFactory indicatorPanelFactory;
        Clock& clock;
    };

    // A release at most this long after the press locks the recording.
    static constexpr auto tapThreshold = std::chrono::milliseconds(400);
    // Below this many samples an empty result means the microphone was late.
    static constexpr std::size_t minimumSampleCount = 4800;
    static constexpr auto errorDisplayTime = std::chrono::seconds(3);
    static constexpr auto flashDuration = std::chrono::milliseconds(1200);

    // User-visible messages.
    static inline const QString noAudioMessage =
        QStringLiteral("No audio captured. Check microphone permission and input device.");
    static inline const QString microphoneNotReadyMessage =
        QStringLiteral("Microphone wasn't ready yet \u2014 hold the key a moment longer.");
    static inline const QString noSpeechMessage =
        QStringLiteral("No speech detected. Try again closer to the mic.");
    static inline const QString autoTranslateOnPrefix = QStringLiteral("Auto-translate on \u2192 ");
    static inline const QString autoTranslateOffMessage = QStringLiteral("Auto-translate off");

    explicit RecordingCoordinator(Services services, QObject* parent = nullptr);
    ~RecordingCoordinator() override;

    Status status() const { return m_status; }
    const std::optional<RecoverableError>& recoverableError() const { return m_recoverableError; }
    bool isBusy() const { return m_status.isBusy(); }
    bool isLockedRecording() const { return m_isLockedRecording; }
    bool hasRetryInput() const { return m_retrySamples.has_value(); }

    HotkeyManager& hotkeyManager() { return *m_hotkeyManager; }
    RecordingIndicatorController& indicator() { return *m_indicator; }

    // HotkeyManagerDelegate
    void hotkeyPressed() override;
    void hotkeyReleased() override;
    void translationHotkeyPressed() override;

    // AudioRecorderDelegate
    void audioRecorderDidAbort(const QString& message) override;

    // The start/stop button and menu item: stop while recording, start when
    // idle or after an error, nothing while processing.
    void toggleRecording();
    // The recovery banner's actions.
    void retryTranscription();
    void redownloadModel();
    void dismissRecoverableError();

signals:
    void statusChanged(const RecordingCoordinator::Status& status);
    void recoverableErrorChanged(
        const std::optional<RecordingCoordinator::RecoverableError>& recoverableError);

private:
    void startRecording();
    void stopRecording();
    void preloadModels();
    QCoro::Task<> process(SampleBuffer samples, QString language, WhisperModel::Kind kind);
    void recognitionFailed(const QString& message, SampleBuffer samples, const QString& language,
                           WhisperModel::Kind kind);
    void finishDictation();
    void showError(const QString& message);
    void resetGestureState();
    void setStatus(const Status& status);
    void setRecoverableError(const std::optional<RecoverableError>& error);
    void clearRetryInput();

    Services m_services;
    std::unique_ptr<HotkeyManager> m_hotkeyManager;
    std::unique_ptr<RecordingIndicatorController> m_indicator;

    Status m_status;
    std::optional<RecoverableError> m_recoverableError;
    std::optional<SampleBuffer> m_retrySamples;
    std::optional<QString> m_retryLanguage;
    std::optional<WhisperModel::Kind> m_retryModelKind;
    bool m_isLockedRecording = false;
    std::optional<Clock::TimePoint> m_hybridPressDownTime;
    // Counts status changes, so a pending error reset only clears the error
    // it was started for.
    quint64 m_statusGeneration = 0;
};
