#include "speech/TranscriptFormat.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>

namespace {

constexpr std::int64_t msPerSecond = 1000;
constexpr std::int64_t msPerMinute = 60 * msPerSecond;
constexpr std::int64_t msPerHour = 60 * msPerMinute;

QString twoDigits(std::int64_t value) {
    return QStringLiteral("%1").arg(static_cast<qlonglong>(value), 2, 10, QLatin1Char('0'));
}

} // namespace

namespace TranscriptFormat {

QString plainText(const QList<TranscriptSegment>& segments) {
    QStringList texts;
    texts.reserve(segments.size());
    for (const auto& segment : segments) {
        texts.append(segment.text);
    }
    return texts.join(QLatin1Char(' ')).trimmed();
}

QString displayTimestamp(std::int64_t milliseconds) {
    const std::int64_t ms = std::max<std::int64_t>(milliseconds, 0);
    const std::int64_t totalSeconds = ms / msPerSecond;
    const QString minutesAndSeconds =
        twoDigits((totalSeconds % 3600) / 60) + QLatin1Char(':') + twoDigits(totalSeconds % 60);
    if (ms >= msPerHour) {
        return twoDigits(ms / msPerHour) + QLatin1Char(':') + minutesAndSeconds;
    }
    return minutesAndSeconds;
}

QString timestampedText(const QList<TranscriptSegment>& segments) {
    QStringList lines;
    lines.reserve(segments.size());
    for (const auto& segment : segments) {
        lines.append(QLatin1Char('[') + displayTimestamp(segment.startMs) + QStringLiteral("] ") +
                     segment.text);
    }
    return lines.join(QLatin1Char('\n'));
}

QString srtTime(std::int64_t ms) {
    return twoDigits(ms / msPerHour) + QLatin1Char(':') +
           twoDigits((ms % msPerHour) / msPerMinute) + QLatin1Char(':') +
           twoDigits((ms % msPerMinute) / msPerSecond) + QLatin1Char(',') +
           QStringLiteral("%1").arg(static_cast<qlonglong>(ms % msPerSecond), 3, 10,
                                    QLatin1Char('0'));
}

QString srtText(const QList<TranscriptSegment>& segments) {
    QStringList blocks;
    blocks.reserve(segments.size());
    qsizetype number = 0;
    for (const auto& segment : segments) {
        const std::int64_t start = std::max<std::int64_t>(segment.startMs, 0);
        const std::int64_t end = std::max(segment.endMs, start);
        blocks.append(QString::number(++number) + QLatin1Char('\n') + srtTime(start) +
                      QStringLiteral(" --> ") + srtTime(end) + QLatin1Char('\n') + segment.text +
                      QLatin1Char('\n'));
    }
    return blocks.join(QLatin1Char('\n'));
}

QString exportFileName(const QString& mediaName) {
    // Only the final component's extension counts: "a.b/c" keeps its dot.
    QString name = mediaName;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    if (dot > 0 && dot > slash + 1) {
        name.truncate(dot);
    }
    static const QString forbidden = QStringLiteral("/\\:?%*|\"<>");
    for (QChar& c : name) {
        if (forbidden.contains(c)) {
            c = QLatin1Char('-');
        }
    }
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("Transcript") : name;
}

bool writeExport(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace TranscriptFormat
