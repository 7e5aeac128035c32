#pragma once

#include "audio/SampleBuffer.h"
#include "common/SerialExecutor.h"
#include "speech/TranscriptSegment.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <whisper.h>

#include <memory>
#include <optional>

// One loaded whisper.cpp model. Every request runs on the context's own
// worker thread, one at a time; callers await the result on their thread.
class WhisperContext {
public:
    struct Dictation {
        QString text;
        std::optional<QString> detectedLanguage;
    };
    struct Segments {
        QList<TranscriptSegment> segments;
        std::optional<QString> detectedLanguage;
    };

    // Loads the model file. Blocking: call it off the main thread. Throws
    // WhisperError::modelLoadFailed.
    static std::shared_ptr<WhisperContext> load(const QString& modelPath);

    ~WhisperContext();
    WhisperContext(const WhisperContext&) = delete;
    WhisperContext& operator=(const WhisperContext&) = delete;

    QString modelPath() const { return m_modelPath; }

    // Recognition of one dictation: the segments' texts joined, loops
    // collapsed, trimmed. Throws WhisperError.
    QCoro::Task<Dictation> transcribe(SampleBuffer samples, QString language);
    // Recognition of media into timed segments. Throws WhisperError.
    QCoro::Task<Segments> transcribeSegments(SampleBuffer samples, QString language);

    // The decoding setup of both recognitions. `language` must outlive the
    // returned parameters.
    static whisper_full_params decodingParameters(const QByteArray& language);

    // Segments whose no-speech probability is above this are dropped.
    static constexpr float noSpeechDropThreshold = 0.8f;

private:
    WhisperContext(whisper_context* handle, QString modelPath);

    struct RawSegment {
        QString text;
        std::int64_t t0 = 0;
        std::int64_t t1 = 0;
    };
    struct Decoded {
        QList<RawSegment> segments;
        std::optional<QString> detectedLanguage;
    };
    // Runs whisper_full on the worker thread and reads the kept segments.
    Decoded decode(const SampleBuffer& samples, const QString& language);

    whisper_context* m_handle;
    QString m_modelPath;
    SerialExecutor m_executor;
};
