#pragma once

#include "audio/SampleBuffer.h"
#include "models/ModelCatalog.h"
#include "speech/TranscriptSegment.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

// What recognition of one dictation returns.
struct TranscriptionResult {
    QString text;
    // The language code that was asked for or, for "auto", detected.
    QString language;
};

// What recognition of media returns.
struct SegmentsResult {
    QList<TranscriptSegment> segments;
    QString language;
};

// The speech model as the dictation pipeline and media jobs use it.
class TranscriptionServiceInterface {
public:
    virtual ~TranscriptionServiceInterface() = default;

    // Loads the model of `kind` unless it is loaded; never throws (a failed
    // load shows in the service's state and the next transcribe reports it).
    virtual QCoro::Task<> ensureLoaded(WhisperModel::Kind kind) = 0;
    // Throws a ServiceError when recognition is impossible or fails.
    virtual QCoro::Task<TranscriptionResult> transcribe(SampleBuffer samples, QString language,
                                                        WhisperModel::Kind kind) = 0;
    // Recognition of media into timed segments, numbered from 0. Throws like
    // transcribe().
    virtual QCoro::Task<SegmentsResult> transcribeSegments(SampleBuffer samples, QString language,
                                                           WhisperModel::Kind kind) = 0;
    virtual void unload() = 0;
};
