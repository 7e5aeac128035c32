#include "speech/TranscriptText.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr qsizetype minimumRepeats = 3;
constexpr qsizetype longestRepeatedPhrase = 8;

bool sameBlock(const QStringList& words, qsizetype first, qsizetype second, qsizetype length) {
    for (qsizetype k = 0; k < length; ++k) {
        if (words[first + k].compare(words[second + k], Qt::CaseInsensitive) != 0) {
            return false;
        }
    }
    return true;
}

bool isPunctuation(QChar c) {
    static const QString characters =
        QStringLiteral(".,!?;:\u2026\u3002\uFF0C\uFF01\uFF1F\u3001\uFF1B\uFF1A\"\u201C\u201D"
                       "\u00AB\u00BB()[]{}");
    return characters.contains(c);
}

// Horizontal white space: space separators and the tab. Line breaks are kept.
bool isHorizontalSpace(QChar c) {
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

} // namespace

namespace TranscriptText {

QString collapseRepeats(const QString& text) {
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const qsizetype n = words.size();
    if (n < minimumRepeats) {
        return text;
    }
    QStringList output;
    qsizetype i = 0;
    while (i < n) {
        const qsizetype remaining = n - i;
        if (remaining < minimumRepeats) {
            output.append(words[i]);
            ++i;
            continue;
        }
        const qsizetype maxLength = std::max<qsizetype>(
            1, remaining >= minimumRepeats * longestRepeatedPhrase ? longestRepeatedPhrase
                                                                   : remaining / minimumRepeats);
        qsizetype foundLength = 0;
        qsizetype foundCount = 0;
        for (qsizetype length = 1; length <= maxLength; ++length) {
            if (i + 2 * length > n) {
                continue;
            }
            qsizetype count = 1;
            while (i + (count + 1) * length <= n &&
                   sameBlock(words, i, i + count * length, length)) {
                ++count;
            }
            if (count >= minimumRepeats) {
                foundLength = length;
                foundCount = count;
                break;
            }
        }
        if (foundLength > 0) {
            for (qsizetype k = 0; k < foundLength; ++k) {
                output.append(words[i + k]);
            }
            i += foundLength * foundCount;
        } else {
            output.append(words[i]);
            ++i;
        }
    }
    return output.join(QLatin1Char(' '));
}

QString removePunctuation(const QString& text) {
    QStringList pieces;
    QString current;
    for (const QChar c : text) {
        if (isPunctuation(c)) {
            continue;
        }
        if (isHorizontalSpace(c)) {
            if (!current.isEmpty()) {
                pieces.append(current);
                current.clear();
            }
            continue;
        }
        current.append(c);
    }
    if (!current.isEmpty()) {
        pieces.append(current);
    }
    return pieces.join(QLatin1Char(' ')).trimmed();
}

QList<TranscriptSegment> removePunctuation(bool enabled, const QList<TranscriptSegment>& segments) {
    if (!enabled) {
        return segments;
    }
    QList<TranscriptSegment> result = segments;
    for (auto& segment : result) {
        segment.text = removePunctuation(segment.text);
    }
    return result;
}

} // namespace TranscriptText
