#pragma once

#include "models/ModelCatalog.h"
#include "speech/TranscriptSegment.h"
#include "speech/TranscriptionServiceInterface.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class WhisperContext;

// Owns the speech model: loads one model kind at a time, keeps it until told
// to unload, and turns 16 kHz mono samples into text or timed segments.
// Main thread only; the model itself runs on its context's worker thread.
class TranscriptionService final : public QObject, public TranscriptionServiceInterface {
    Q_OBJECT

public:
    struct State {
        enum class Kind { unloaded, loading, ready, transcribing, failed };
        Kind kind = Kind::unloaded;
        QString message; // only for failed

        static State unloaded() { return {}; }
        static State loading() { return {Kind::loading, {}}; }
        static State ready() { return {Kind::ready, {}}; }
        static State transcribing() { return {Kind::transcribing, {}}; }
        static State failed(QString message) { return {Kind::failed, std::move(message)}; }

        bool operator==(const State&) const = default;
    };

    // Where the model file of a kind lives; by default the catalog location.
    using ModelPathResolver = std::function<QString(WhisperModel::Kind)>;

    static inline const QString modelNotDownloadedMessage = QStringLiteral("Model not downloaded.");

    explicit TranscriptionService(ModelPathResolver modelPath = {}, QObject* parent = nullptr);
    ~TranscriptionService() override;

    State state() const { return m_state; }
    std::optional<WhisperModel::Kind> loadedModelKind() const { return m_loadedModelKind; }
    bool isLoaded() const { return m_context != nullptr; }
    std::int64_t loadGeneration() const { return m_loadGeneration; }

    // Makes the model of `kind` the loaded one; concurrent callers share one
    // load. Never throws: the outcome is in state().
    QCoro::Task<> ensureLoaded(WhisperModel::Kind kind) override;
    // Drops the model at once; a load in progress finishes into nothing.
    void unload() override;

    QCoro::Task<TranscriptionResult> transcribe(SampleBuffer samples, QString language,
                                                WhisperModel::Kind kind) override;
    QCoro::Task<SegmentsResult> transcribeSegments(SampleBuffer samples, QString language,
                                                   WhisperModel::Kind kind) override;

signals:
    void stateChanged(const TranscriptionService::State& state);

private:
    // Loads the model if needed and returns the context to recognise with.
    QCoro::Task<std::shared_ptr<WhisperContext>> contextFor(WhisperModel::Kind kind);
    void finishRecognition(const std::shared_ptr<WhisperContext>& context);
    QString reportedLanguage(const QString& requested,
                             const std::optional<QString>& detected) const;
    void setState(const State& state);

    ModelPathResolver m_modelPath;
    State m_state;
    std::shared_ptr<WhisperContext> m_context;
    std::optional<WhisperModel::Kind> m_loadedModelKind;
    std::optional<QFuture<void>> m_inFlightLoad;
    std::int64_t m_loadGeneration = 0;
};
