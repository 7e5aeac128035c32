#pragma once

#include "audio/SampleBuffer.h"
#include "models/ModelCatalog.h"

#include <QString>
#include <qcoro/qcorotask.h>

// What recognition of one dictation returns.
struct TranscriptionResult {
    QString text;
    // The language code that was asked for or, for "auto", detected.
    QString language;
};

// The speech model as the dictation pipeline uses it.
class TranscriptionServiceInterface {
public:
    virtual ~TranscriptionServiceInterface() = default;

    // Loads the model of `kind` unless it is loaded; never throws (a failed
    // load shows in the service's state and the next transcribe reports it).
    virtual QCoro::Task<> ensureLoaded(WhisperModel::Kind kind) = 0;
    // Throws a ServiceError when recognition is impossible or fails.
    virtual QCoro::Task<TranscriptionResult> transcribe(SampleBuffer samples, QString language,
                                                        WhisperModel::Kind kind) = 0;
    virtual void unload() = 0;
};
