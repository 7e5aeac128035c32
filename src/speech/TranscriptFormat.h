#pragma once

#include "speech/TranscriptSegment.h"

#include <QList>
#include <QString>

#include <cstdint>

// The texts built from a list of segments: the plain transcript, on-screen
// timestamps, the timestamped copy and SubRip subtitles, and the names and
// file writes of exports.
namespace TranscriptFormat {

// The segment texts joined by single spaces and trimmed.
QString plainText(const QList<TranscriptSegment>& segments);

// "mm:ss", or "hh:mm:ss" from one hour on; negative times show as 00:00.
QString displayTimestamp(std::int64_t milliseconds);

// One "[mm:ss] text" line per segment, by start time, no final newline.
QString timestampedText(const QList<TranscriptSegment>& segments);

// "hh:mm:ss,mmm", the SubRip time form.
QString srtTime(std::int64_t milliseconds);

// SubRip blocks numbered from 1, separated by an empty line. Negative times
// are clamped to zero and an end before its start is moved to the start.
QString srtText(const QList<TranscriptSegment>& segments);

// The base name for an export of `mediaName`: extension removed, characters
// that file systems or shells reject replaced by "-", "Transcript" if empty.
QString exportFileName(const QString& mediaName);

// Writes `text` as UTF-8 to `path`, replacing any file there. The old file is
// only replaced once the new one is completely written. False on failure.
bool writeExport(const QString& path, const QString& text);

} // namespace TranscriptFormat
