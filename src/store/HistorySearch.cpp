#include "store/HistorySearch.h"

#include <QDate>

#include <functional>
#include <map>

namespace HistorySearch {

namespace {

bool matches(const Transcription& entry, const QString& needle) {
    return entry.text.contains(needle, Qt::CaseInsensitive) ||
           (entry.mediaName && entry.mediaName->contains(needle, Qt::CaseInsensitive));
}

QString dayTitle(const QDate& day, const QDate& today, const QLocale& locale) {
    if (day == today) {
        return todayTitle;
    }
    if (day == today.addDays(-1)) {
        return yesterdayTitle;
    }
    return locale.toString(day, QStringLiteral("d MMMM yyyy"));
}

} // namespace

QList<Transcription> filter(const QList<Transcription>& entries, const QString& query) {
    const QString needle = query.trimmed();
    if (needle.isEmpty()) {
        return entries;
    }
    QList<Transcription> found;
    for (const Transcription& entry : entries) {
        if (matches(entry, needle)) {
            found.append(entry);
        }
    }
    return found;
}

QList<DayGroup> groupByDay(const QList<Transcription>& entries, const QDateTime& now,
                           const QTimeZone& zone, const QLocale& locale) {
    // Keyed by the local date, latest first; within a day the entries keep
    // the order they came in.
    std::map<QDate, QList<Transcription>, std::greater<>> days;
    for (const Transcription& entry : entries) {
        days[entry.createdAt.toTimeZone(zone).date()].append(entry);
    }
    const QDate today = now.toTimeZone(zone).date();
    QList<DayGroup> groups;
    groups.reserve(static_cast<qsizetype>(days.size()));
    for (auto& [day, dayEntries] : days) {
        // startOfDay() also covers days whose midnight a clock change skips.
        groups.append({day.startOfDay(zone), dayTitle(day, today, locale), std::move(dayEntries)});
    }
    return groups;
}

QString noMatchesMessage(const QString& queryAsTyped) {
    return QStringLiteral("No transcriptions match \"") + queryAsTyped + QStringLiteral("\".");
}

} // namespace HistorySearch
