#pragma once

#include "store/Transcription.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTimeZone>

// How the history screen narrows and arranges the stored rows: a text filter,
// then groups by local calendar day, plus the texts it shows around them.
namespace HistorySearch {

inline const QString noMatchesTitle = QStringLiteral("No matches");
inline const QString todayTitle = QStringLiteral("Today");
inline const QString yesterdayTitle = QStringLiteral("Yesterday");

// The confirmation asked before "Clear All" removes every row.
inline const QString clearAllMessage =
    QStringLiteral("This permanently removes every saved transcription. This can't be undone.");
inline const QString clearAllConfirmButton = QStringLiteral("Delete All");
inline const QString clearAllCancelButton = QStringLiteral("Cancel");

// The entries whose text, or media name, contains `query` with white space
// trimmed from both ends, in their order; all entries for a blank query. The
// raw recogniser text, the language and the dates are not searched.
//
// Letters are compared by Unicode case folding, which is what a user expects
// in every locale ("ABC" finds "abc", "ÄRGER" finds "ärger"); it does not apply
// the Turkish dotted/dotless i pairing, in exchange for a search that needs no
// copy of each row and stays fast on a long history.
QList<Transcription> filter(const QList<Transcription>& entries, const QString& query);

// One local calendar day of entries.
struct DayGroup {
    QDateTime id; // the start of the day in the grouping time zone
    QString title;
    QList<Transcription> entries;

    bool operator==(const DayGroup&) const = default;
};

// Groups `entries` by the local day they were saved on in `zone`, latest day
// first; each group keeps the entries' order. Titles are "Today" and
// "Yesterday" relative to `now`, otherwise the day, full month name and year
// in `locale`.
QList<DayGroup> groupByDay(const QList<Transcription>& entries, const QDateTime& now,
                           const QTimeZone& zone = QTimeZone::systemTimeZone(),
                           const QLocale& locale = QLocale());

// The sentence shown under "No matches", quoting the query as it was typed.
QString noMatchesMessage(const QString& queryAsTyped);

} // namespace HistorySearch
