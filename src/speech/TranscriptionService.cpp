#include "speech/TranscriptionService.h"

#include "common/SerialExecutor.h"
#include "speech/WhisperContext.h"
#include "speech/WhisperError.h"

#include <QFileInfo>
#include <QPointer>
#include <QPromise>

TranscriptionService::TranscriptionService(ModelPathResolver modelPath, QObject* parent)
    : QObject(parent)
    , m_modelPath(std::move(modelPath)) {
    if (!m_modelPath) {
        m_modelPath = [](WhisperModel::Kind kind) { return WhisperModel::model(kind).localURL(); };
    }
}

TranscriptionService::~TranscriptionService() = default;

void TranscriptionService::setState(const State& state) {
    m_state = state;
    emit stateChanged(m_state);
}

QCoro::Task<> TranscriptionService::ensureLoaded(WhisperModel::Kind kind) {
    const QPointer<TranscriptionService> self(this);
    while (m_inFlightLoad) {
        const QFuture<void> running = *m_inFlightLoad;
        co_await running;
        if (!self) {
            co_return;
        }
    }
    if (m_loadedModelKind == kind && m_context) {
        co_return;
    }
    const QString path = m_modelPath(kind);
    if (!QFileInfo::exists(path)) {
        setState(State::failed(modelNotDownloadedMessage));
        co_return;
    }

    setState(State::loading());
    const std::int64_t generation = m_loadGeneration;
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    m_inFlightLoad = promise->future();

    std::shared_ptr<WhisperContext> loaded;
    std::optional<QString> failure;
    try {
        auto load = runDetached([path] { return WhisperContext::load(path); });
        loaded = co_await std::move(load);
    } catch (const ServiceError& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (self) {
        // A load overtaken by an unload (or a newer load) installs nothing;
        // its context is freed when `loaded` goes out of scope.
        if (m_loadGeneration == generation) {
            if (loaded) {
                m_context = std::move(loaded);
                m_loadedModelKind = kind;
                setState(State::ready());
            } else {
                m_context.reset();
                m_loadedModelKind.reset();
                setState(State::failed(failure.value_or(QString())));
            }
        }
        m_inFlightLoad.reset();
    }
    promise->finish();
}

void TranscriptionService::unload() {
    ++m_loadGeneration;
    m_context.reset();
    m_loadedModelKind.reset();
    setState(State::unloaded());
}

QCoro::Task<std::shared_ptr<WhisperContext>>
TranscriptionService::contextFor(WhisperModel::Kind kind) {
    if (m_loadedModelKind != kind || !m_context) {
        co_await ensureLoaded(kind);
    }
    // A model of another kind that stayed loaded (because this kind's file is
    // missing) must not answer in its place.
    if (!m_context || m_loadedModelKind != kind) {
        throw WhisperError::modelLoadFailed(m_modelPath(kind));
    }
    co_return std::shared_ptr<WhisperContext>(m_context);
}

void TranscriptionService::finishRecognition(const std::shared_ptr<WhisperContext>& context) {
    // After an unload during recognition the service stays unloaded.
    if (m_context == context) {
        setState(State::ready());
    }
}

QString TranscriptionService::reportedLanguage(const QString& requested,
                                               const std::optional<QString>& detected) const {
    if (requested == QLatin1String("auto")) {
        return detected.value_or(QStringLiteral("auto"));
    }
    return requested;
}

QCoro::Task<TranscriptionResult>
TranscriptionService::transcribe(SampleBuffer samples, QString language, WhisperModel::Kind kind) {
    const QPointer<TranscriptionService> self(this);
    // Holding the context keeps it alive through an unload during recognition.
    const std::shared_ptr<WhisperContext> context = co_await contextFor(kind);
    setState(State::transcribing());
    WhisperContext::Dictation dictation;
    try {
        dictation = co_await context->transcribe(std::move(samples), language);
    } catch (...) {
        if (self) {
            self->finishRecognition(context);
        }
        throw;
    }
    if (self) {
        self->finishRecognition(context);
    }
    co_return TranscriptionResult{dictation.text,
                                  reportedLanguage(language, dictation.detectedLanguage)};
}

QCoro::Task<SegmentsResult> TranscriptionService::transcribeSegments(SampleBuffer samples,
                                                                     QString language,
                                                                     WhisperModel::Kind kind) {
    const QPointer<TranscriptionService> self(this);
    const std::shared_ptr<WhisperContext> context = co_await contextFor(kind);
    setState(State::transcribing());
    WhisperContext::Segments result;
    try {
        result = co_await context->transcribeSegments(std::move(samples), language);
    } catch (...) {
        if (self) {
            self->finishRecognition(context);
        }
        throw;
    }
    if (self) {
        self->finishRecognition(context);
    }
    co_return SegmentsResult{result.segments, reportedLanguage(language, result.detectedLanguage)};
}
