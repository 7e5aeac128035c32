#pragma once

#include "speech/TranscriptSegment.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// Where a history row came from.
enum class TranscriptionSource { dictation, mediaFile, mediaURL };

namespace TranscriptionSources {
// "dictation", "mediaFile" or "mediaURL".
QString rawValue(TranscriptionSource source);
// Exact match; anything else (including an empty text) is a dictation.
TranscriptionSource fromRawValue(const QString& value);
} // namespace TranscriptionSources

// One row of the history.
struct Transcription {
    std::int64_t id = 0;
    QString text;
    QDateTime createdAt;
    QString language;
    TranscriptionSource source = TranscriptionSource::dictation;
    std::optional<QList<TranscriptSegment>> segments;
    std::optional<QString> mediaName;
    std::optional<std::int64_t> durationMs;
    // The recogniser's text, kept only when it differs from `text`.
    std::optional<QString> rawText;

    bool operator==(const Transcription&) const = default;
};
