#include "app/RecordingCoordinator.h"

#include "app/TextInserter.h"
#include "common/Logging.h"
#include "common/Observe.h"
#include "common/ServiceError.h"
#include "common/TextMetrics.h"
#include "llm/TextCleanupServiceInterface.h"
#include "llm/TranslationServiceInterface.h"
#include "models/ModelDownloadManagerInterface.h"
#include "speech/TranscriptText.h"
#include "speech/TranscriptionServiceInterface.h"
#include "store/AppSettings.h"
#include "store/HistoryStoreInterface.h"
#include "store/TranscriptionLanguage.h"
#include "store/UsageStatsStore.h"

#include <QPointer>

namespace {

// A description for anything a service throws, typed or not.
QString describe(const std::exception& error) {
    if (const auto* serviceError = dynamic_cast<const ServiceError*>(&error)) {
        return serviceError->description();
    }
    return QString::fromUtf8(error.what());
}

} // namespace

QString RecordingCoordinator::Status::label() const {
    switch (kind) {
    case Kind::idle:
        return QStringLiteral("Ready");
    case Kind::recording:
        return QStringLiteral("Recording\u2026");
    case Kind::transcribing:
        return QStringLiteral("Transcribing\u2026");
    case Kind::cleaning:
        return QStringLiteral("Polishing\u2026");
    case Kind::translating:
        return QStringLiteral("Translating\u2026");
    case Kind::error:
        return message;
    }
    return {};
}

RecordingCoordinator::Status::Colour RecordingCoordinator::Status::colour() const {
    switch (kind) {
    case Kind::idle:
        return Colour::green;
    case Kind::recording:
        return Colour::red;
    case Kind::transcribing:
        return Colour::orange;
    case Kind::cleaning:
        return Colour::blue;
    case Kind::translating:
        return Colour::purple;
    case Kind::error:
        return Colour::yellow;
    }
    return Colour::green;
}

bool RecordingCoordinator::Status::isBusy() const {
    return kind == Kind::recording || kind == Kind::transcribing || kind == Kind::cleaning ||
           kind == Kind::translating;
}

RecordingCoordinator::RecordingCoordinator(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services)) {
    AppSettings& settings = m_services.settings;
    m_indicator = std::make_unique<RecordingIndicatorController>(m_services.indicatorPanelFactory,
                                                                 m_services.clock);
    m_hotkeyManager = std::make_unique<HotkeyManager>(
        settings.hotkey(), settings.translationHotkey(), m_services.keyEvents);
    m_hotkeyManager->setDelegate(this);

    // A changed hotkey forgets a held old one, so its release is not
    // reported as the new hotkey's.
    observe(&settings, &AppSettings::hotkey, &AppSettings::hotkeyChanged, this,
            [this](const HotkeyConfig& config) {
                m_hotkeyManager->setConfig(config);
                m_hotkeyManager->setKeyCurrentlyDown(false);
            });
    observe(&settings, &AppSettings::translationHotkey, &AppSettings::translationHotkeyChanged,
            this, [this](const HotkeyConfig& config) {
                m_hotkeyManager->setSecondaryConfig(config);
                m_hotkeyManager->setSecondaryKeyDown(false);
            });
}

RecordingCoordinator::~RecordingCoordinator() { m_hotkeyManager->setDelegate(nullptr); }

void RecordingCoordinator::setStatus(const Status& status) {
    ++m_statusGeneration;
    m_status = status;
    emit statusChanged(m_status);
}

void RecordingCoordinator::setRecoverableError(const std::optional<RecoverableError>& error) {
    m_recoverableError = error;
    emit recoverableErrorChanged(m_recoverableError);
}

void RecordingCoordinator::clearRetryInput() {
    m_retrySamples.reset();
    m_retryLanguage.reset();
    m_retryModelKind.reset();
}

void RecordingCoordinator::resetGestureState() {
    m_isLockedRecording = false;
    m_hybridPressDownTime.reset();
}

void RecordingCoordinator::hotkeyPressed() {
    if (m_isLockedRecording) {
        m_isLockedRecording = false;
        stopRecording();
        return;
    }
    // A press during a recording started from the window or menu is ignored.
    if (m_status.kind == Status::Kind::recording) {
        return;
    }
    m_hybridPressDownTime = m_services.clock.now();
    startRecording();
}

void RecordingCoordinator::hotkeyReleased() {
    if (m_isLockedRecording || m_status.kind != Status::Kind::recording) {
        return;
    }
    // Without a recorded press (a recording started from the window) the
    // release counts as a tap.
    const Clock::TimePoint now = m_services.clock.now();
    const Clock::TimePoint pressedAt = m_hybridPressDownTime.value_or(now);
    m_hybridPressDownTime.reset();
    if (now - pressedAt <= tapThreshold) {
        m_isLockedRecording = true;
    } else {
        stopRecording();
    }
}

void RecordingCoordinator::toggleRecording() {
    if (m_status.kind == Status::Kind::recording) {
        stopRecording();
    } else if (m_status.kind == Status::Kind::idle || m_status.kind == Status::Kind::error) {
        startRecording();
    }
}

void RecordingCoordinator::startRecording() {
    if (m_status.kind != Status::Kind::idle && m_status.kind != Status::Kind::error) {
        return;
    }
    setRecoverableError(std::nullopt);
    preloadModels();
    try {
        m_services.recorder.start(m_services.settings.inputDeviceUID());
    } catch (const std::exception& error) {
        const QString description = describe(error);
        qCWarning(lcRecording).noquote() << "Failed to start recording:" << description;
        showError(description);
        return;
    }
    setStatus(Status::recording());
    m_indicator->show(IndicatorState::recording());
    qCInfo(lcRecording) << "Recording started";
}

void RecordingCoordinator::preloadModels() {
    const AppSettings& settings = m_services.settings;
    const WhisperModel::Kind kind = settings.selectedModel();
    if (WhisperModel::model(kind).isDownloaded()) {
        // Not awaited: the model loads while the user speaks.
        m_services.transcription.ensureLoaded(kind);
    }
    if ((settings.cleanUpTranscripts() || settings.autoTranslateEnabled()) &&
        CleanupModel::defaultModel().isDownloaded()) {
        m_services.cleanup.ensureLoaded();
    }
}

void RecordingCoordinator::stopRecording() {
    if (m_status.kind != Status::Kind::recording) {
        return;
    }
    SampleBuffer samples = m_services.recorder.stop();
    setStatus(Status::transcribing());
    m_indicator->update(IndicatorState::transcribing());
    qCInfo(lcRecording).noquote()
        << QStringLiteral("Recording stopped, captured %1 samples").arg(samples.size());

    // Settings are read once: changing them now does not affect this dictation.
    const QString language = m_services.settings.language();
    const WhisperModel::Kind kind = m_services.settings.selectedModel();
    if (samples.empty()) {
        qCWarning(lcRecording).noquote()
            << QStringLiteral("No audio captured \u2014 check microphone permission/input device");
        showError(noAudioMessage);
        return;
    }
    process(std::move(samples), language, kind);
}

QCoro::Task<> RecordingCoordinator::process(SampleBuffer samples, QString language,
                                            WhisperModel::Kind kind) {
    const QPointer<RecordingCoordinator> self(this);
    AppSettings& settings = m_services.settings;

    TranscriptionResult recognised;
    std::optional<QString> failure;
    try {
        recognised = co_await m_services.transcription.transcribe(samples, language, kind);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        recognitionFailed(*failure, std::move(samples), language, kind);
        co_return;
    }

    const QString raw = recognised.text.trimmed();
    const QString spoken = recognised.language;
    QString text = raw;
    bool translated = false;

    if (settings.autoTranslateEnabled() && !raw.isEmpty()) {
        translated = true;
        setStatus(Status::translating());
        m_indicator->update(IndicatorState::translating());
        const QString target = settings.translationTargetLanguage();
        std::optional<QString> translationFailure;
        try {
            text = co_await m_services.translation.translate(raw, target, spoken);
        } catch (const std::exception& error) {
            translationFailure = describe(error);
        }
        if (!self) {
            co_return;
        }
        if (translationFailure) {
            qCWarning(lcRecording).noquote()
                << "Translation failed, pasting original:" << *translationFailure;
            text = raw;
        }
    } else if (settings.cleanUpTranscripts() && CleanupModel::defaultModel().isDownloaded() &&
               !raw.isEmpty()) {
        setStatus(Status::cleaning());
        m_indicator->update(IndicatorState::cleaning());
        text = co_await m_services.cleanup.clean(raw);
        if (!self) {
            co_return;
        }
    }

    if (settings.stripPunctuation()) {
        text = TranscriptText::removePunctuation(text);
    }
    const QString finalText = text.trimmed();
    qCInfo(lcRecording).noquote() << QStringLiteral(
                                         "Transcription produced %1 characters (lang: %2)")
                                         .arg(TextMetrics::characterCount(finalText))
                                         .arg(spoken);

    if (finalText.isEmpty()) {
        qCInfo(lcRecording).noquote()
            << QStringLiteral("Transcription was empty \u2014 likely silence");
        showError(samples.size() < minimumSampleCount ? microphoneNotReadyMessage
                                                      : noSpeechMessage);
        co_return;
    }

    const std::optional<QString> rawText =
        finalText == raw ? std::nullopt : std::optional<QString>(raw);
    const QString historyLanguage = translated ? settings.translationTargetLanguage() : spoken;
    const bool saved = m_services.history.insertDictation(finalText, historyLanguage, rawText);
    qCInfo(lcRecording).noquote() << QStringLiteral("History save %1; entries now %2")
                                         .arg(saved ? QStringLiteral("succeeded")
                                                    : QStringLiteral("failed"))
                                         .arg(m_services.history.entryCount());

    const qsizetype words = TextMetrics::wordCount(finalText);
    if (words > 0) {
        m_services.stats.record(words, static_cast<double>(samples.size()) / SampleRate::speech,
                                m_services.clock.currentDateTime());
    }

    m_services.textInserter.insertText(finalText);
    clearRetryInput();
    finishDictation();
}

void RecordingCoordinator::recognitionFailed(const QString& message, SampleBuffer samples,
                                             const QString& language, WhisperModel::Kind kind) {
    qCWarning(lcRecording).noquote() << "Transcription failed:" << message;
    m_indicator->hide();
    resetGestureState();
    m_retrySamples = std::move(samples);
    m_retryLanguage = language;
    m_retryModelKind = kind;
    // No reset timer: the error stays until the user retries, dismisses or
    // records again.
    setRecoverableError(RecoverableError{message});
    setStatus(Status::error(message));
}

void RecordingCoordinator::finishDictation() {
    m_indicator->hide();
    setStatus(Status::idle());
    resetGestureState();
}

void RecordingCoordinator::showError(const QString& message) {
    m_indicator->hide();
    resetGestureState();
    setRecoverableError(std::nullopt);
    setStatus(Status::error(message));
    const quint64 generation = m_statusGeneration;
    m_services.clock.schedule(errorDisplayTime, this, [this, generation] {
        if (m_status.kind == Status::Kind::error && m_statusGeneration == generation) {
            setStatus(Status::idle());
        }
    });
}

void RecordingCoordinator::audioRecorderDidAbort(const QString& message) {
    if (m_status.kind != Status::Kind::recording) {
        return;
    }
    qCWarning(lcRecording).noquote() << "Capture aborted:" << message;
    showError(message);
}

void RecordingCoordinator::retryTranscription() {
    if (!m_retrySamples || !m_retryLanguage || !m_retryModelKind) {
        return;
    }
    setRecoverableError(std::nullopt);
    setStatus(Status::transcribing());
    m_indicator->show(IndicatorState::transcribing());
    process(*m_retrySamples, *m_retryLanguage, *m_retryModelKind);
}

void RecordingCoordinator::redownloadModel() {
    const WhisperModel::Kind kind = m_retryModelKind.value_or(m_services.settings.selectedModel());
    m_services.transcription.unload();
    m_services.downloadManager.start(WhisperModel::model(kind));
    dismissRecoverableError();
}

void RecordingCoordinator::dismissRecoverableError() {
    clearRetryInput();
    setRecoverableError(std::nullopt);
    if (m_status.kind == Status::Kind::error) {
        setStatus(Status::idle());
    }
}

void RecordingCoordinator::translationHotkeyPressed() {
    AppSettings& settings = m_services.settings;
    const bool enabled = !settings.autoTranslateEnabled();
    settings.setAutoTranslateEnabled(enabled);
    const QString message =
        enabled ? autoTranslateOnPrefix +
                      TranscriptionLanguage::displayName(settings.translationTargetLanguage())
                : autoTranslateOffMessage;
    qCInfo(lcRecording).noquote() << "Auto-translate toggled"
                                  << (enabled ? QStringLiteral("on") : QStringLiteral("off"));
    // While a dictation runs the toggle is silent; it keeps the branch it chose.
    if (!isBusy()) {
        m_indicator->flash(message, flashDuration);
    }
}
