#pragma once

#include "speech/TranscriptSegment.h"

#include <QList>
#include <QString>

// Clean-ups applied to recognised text. Pure functions, safe on any thread.
namespace TranscriptText {

// Removes decoding loops: a word or phrase of up to 8 words repeated three or
// more times in a row is kept once (with the case of its first occurrence).
// Texts of at least three words come back joined by single spaces.
QString collapseRepeats(const QString& text);

// Drops sentence punctuation, quotes and brackets (Latin and CJK forms) and
// joins what remains with single spaces; apostrophes and hyphens stay.
QString removePunctuation(const QString& text);

// removePunctuation on every segment's text when `enabled`; times and indices
// are kept.
QList<TranscriptSegment> removePunctuation(bool enabled, const QList<TranscriptSegment>& segments);

} // namespace TranscriptText
