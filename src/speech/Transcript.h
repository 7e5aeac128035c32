#pragma once

#include "speech/TranscriptSegment.h"
#include "store/Transcription.h"

#include <QList>
#include <QString>

#include <cstdint>

// The result of one media transcription.
struct Transcript {
    QList<TranscriptSegment> segments;
    QString language;
    TranscriptionSource source = TranscriptionSource::mediaFile;
    QString mediaName;
    std::int64_t durationMs = 0;

    bool operator==(const Transcript&) const = default;
};
