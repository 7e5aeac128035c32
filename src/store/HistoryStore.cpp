#include "store/HistoryStore.h"

#include "common/AppPaths.h"
#include "common/Logging.h"
#include "speech/Transcript.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

const QString databaseFileName = QStringLiteral("history.sqlite");

constexpr const char* createTableSql = "CREATE TABLE IF NOT EXISTS transcriptions (\n"
                                       "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                                       "    text TEXT NOT NULL,\n"
                                       "    created_at REAL NOT NULL,\n"
                                       "    language TEXT NOT NULL\n"
                                       ");";

// Lets the newest-first listing walk the rows in order instead of sorting the
// whole table, segments included, on every re-read.
constexpr const char* createIndexSql =
    "CREATE INDEX IF NOT EXISTS transcriptions_created_at ON transcriptions (created_at);";

constexpr const char* tableInfoSql = "PRAGMA table_info(transcriptions);";

constexpr const char* selectSql =
    "SELECT id, text, created_at, language, source_type, segments, media_name, duration_ms, "
    "raw_text\nFROM transcriptions ORDER BY created_at DESC;";

constexpr const char* insertDictationSql =
    "INSERT INTO transcriptions (text, created_at, language, source_type, raw_text) "
    "VALUES (?, ?, ?, 'dictation', ?);";

constexpr const char* insertMediaSql =
    "INSERT INTO transcriptions (text, created_at, language, source_type, segments, media_name, "
    "duration_ms)\nVALUES (?, ?, ?, ?, ?, ?, ?);";

constexpr const char* deleteSql = "DELETE FROM transcriptions WHERE id = ?;";
constexpr const char* deleteAllSql = "DELETE FROM transcriptions;";

// Columns added after the first release, in the order they are added. Rows
// written before a column existed read its default.
struct LaterColumn {
    const char* name;
    const char* definition;
};
constexpr LaterColumn laterColumns[] = {
    {"source_type", "source_type TEXT NOT NULL DEFAULT 'dictation'"},
    {"segments", "segments TEXT"},
    {"media_name", "media_name TEXT"},
    {"duration_ms", "duration_ms INTEGER"},
    {"raw_text", "raw_text TEXT"},
};

// SQLITE_TRANSIENT without the C-style cast of the library's macro: the library
// copies the bound text before the bind call returns.
const sqlite3_destructor_type transientText =
    reinterpret_cast<sqlite3_destructor_type>(static_cast<std::intptr_t>(-1));

// A prepared statement that is finalised on every path out of its scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
        : m_result(sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr)) {}
    ~Statement() { sqlite3_finalize(m_statement); }

    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isPrepared() const { return m_result == SQLITE_OK && m_statement != nullptr; }

    void bindText(int index, const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), -1, transientText);
    }
    void bindText(int index, const QByteArray& utf8) {
        sqlite3_bind_text(m_statement, index, utf8.constData(), -1, transientText);
    }
    void bindOptionalText(int index, const std::optional<QString>& value) {
        if (value) {
            bindText(index, *value);
        } else {
            sqlite3_bind_null(m_statement, index);
        }
    }
    void bindDouble(int index, double value) { sqlite3_bind_double(m_statement, index, value); }
    void bindInt64(int index, std::int64_t value) {
        sqlite3_bind_int64(m_statement, index, static_cast<sqlite3_int64>(value));
    }

    int step() { return sqlite3_step(m_statement); }

    bool isNull(int column) const {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }
    std::int64_t int64(int column) const { return sqlite3_column_int64(m_statement, column); }
    double real(int column) const { return sqlite3_column_double(m_statement, column); }
    // The column's text as UTF-8 bytes (empty for NULL), valid until the next
    // step.
    QByteArrayView utf8View(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return text ? QByteArrayView(text, sqlite3_column_bytes(m_statement, column))
                    : QByteArrayView();
    }
    QByteArray utf8(int column) const { return utf8View(column).toByteArray(); }
    // A digest of the types and values of `columns`; equal values give equal
    // digests. Must run before any other read of the columns, since a read
    // can convert a value.
    size_t digest(int firstColumn, int lastColumn) const {
        size_t seed = 0;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const int type = sqlite3_column_type(m_statement, column);
            seed = qHash(type, seed);
            switch (type) {
            case SQLITE_INTEGER:
                seed = qHash(static_cast<qint64>(sqlite3_column_int64(m_statement, column)), seed);
                break;
            case SQLITE_FLOAT:
                seed = qHash(sqlite3_column_double(m_statement, column), seed);
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB:
                seed = qHash(QByteArrayView(
                                 static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                                 sqlite3_column_bytes(m_statement, column)),
                             seed);
                break;
            default:
                break;
            }
        }
        return seed;
    }
    QString text(int column) const { return QString::fromUtf8(utf8View(column)); }
    std::optional<QString> optionalText(int column) const {
        return isNull(column) ? std::nullopt : std::optional<QString>(text(column));
    }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_result;
};

// Stored times are seconds since 1970 UTC with fractions; milliseconds are
// kept, anything finer is rounded away.
double secondsSince1970(const QDateTime& moment) {
    return static_cast<double>(moment.toMSecsSinceEpoch()) / 1000.0;
}

QDateTime dateTimeFromSeconds(double seconds) {
    // A value no clock could have written (NaN, or beyond a million years)
    // must not overflow the conversion; such a row is shown at the epoch.
    constexpr double limitSeconds = 3.0e13;
    if (!std::isfinite(seconds) || std::fabs(seconds) > limitSeconds) {
        seconds = 0.0;
    }
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000.0)),
                                          QTimeZone::utc());
}

Transcription mapRow(const Statement& row) {
    Transcription entry;
    entry.id = row.int64(0);
    entry.text = row.text(1);
    entry.createdAt = dateTimeFromSeconds(row.real(2));
    entry.language = row.text(3);
    entry.source = row.isNull(4) ? TranscriptionSource::dictation
                                 : TranscriptionSources::fromRawValue(row.text(4));
    if (!row.isNull(5)) {
        entry.segments = TranscriptSegment::decodeList(row.utf8(5));
    }
    entry.mediaName = row.optionalText(6);
    if (!row.isNull(7)) {
        entry.durationMs = row.int64(7);
    }
    entry.rawText = row.optionalText(8);
    return entry;
}

// Finds the rows of the previous read while the table is read again. The rows
// come back mostly in the same order, so each is looked for right after the
// previous match (or one further, past a deleted row); rows with an id above
// every listed one are new. Only a reordered table needs the index by id,
// which is then built once.
class PreviousRows {
public:
    explicit PreviousRows(const QList<Transcription>& entries)
        : m_entries(entries) {
        for (const Transcription& entry : entries) {
            m_largestId = std::max(m_largestId, entry.id);
        }
    }

    // The row's position in the previous list, or -1 when it was not listed.
    qsizetype positionOf(std::int64_t id) {
        if (m_entries.isEmpty() || id > m_largestId) {
            return -1;
        }
        qsizetype position = -1;
        if (m_next < m_entries.size() && m_entries[m_next].id == id) {
            position = m_next;
        } else if (m_next + 1 < m_entries.size() && m_entries[m_next + 1].id == id) {
            position = m_next + 1;
        } else {
            if (m_byId.isEmpty()) {
                m_byId.reserve(m_entries.size());
                for (qsizetype i = 0; i < m_entries.size(); ++i) {
                    m_byId.insert(m_entries[i].id, i);
                }
            }
            position = m_byId.value(id, -1);
        }
        if (position >= 0) {
            m_next = position + 1;
        }
        return position;
    }

private:
    const QList<Transcription>& m_entries;
    std::int64_t m_largestId = std::numeric_limits<std::int64_t>::min();
    qsizetype m_next = 0;
    QHash<std::int64_t, qsizetype> m_byId;
};

bool isUnusableDatabase(int result) {
    const int primary = result & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

} // namespace

HistoryStore::HistoryStore(Clock& clock, QString databasePath, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_databasePath(databasePath.isEmpty() ? defaultDatabasePath() : std::move(databasePath)) {
    open();
    createTable();
    migrate();
    reload();
}

HistoryStore::~HistoryStore() {
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

QString HistoryStore::defaultDatabasePath() {
    return QDir(AppPaths::dataDirectory()).filePath(databaseFileName);
}

void HistoryStore::open() {
    // An existing directory, or one that cannot be made, is not an error here:
    // the open below decides whether there is a history.
    QDir().mkpath(QFileInfo(m_databasePath).absolutePath());

    sqlite3* db = nullptr;
    const int result = sqlite3_open(QFile::encodeName(m_databasePath).constData(), &db);
    if (result != SQLITE_OK) {
        qCWarning(lcHistory).noquote()
            << QStringLiteral("History database %1 cannot be opened (%2); history is off")
                   .arg(m_databasePath,
                        QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(result)));
        // The library may hand back a handle even when opening failed.
        sqlite3_close(db);
        return;
    }
    m_db = db;
    // Every write re-reads the whole table; a page cache of up to 32 MiB keeps
    // a history of ten thousand rows in memory between those reads instead of
    // reading the file again each time.
    sqlite3_exec(m_db, "PRAGMA cache_size = -32768;", nullptr, nullptr, nullptr);
}

void HistoryStore::createTable() {
    if (!m_db) {
        return;
    }
    const int result = sqlite3_exec(m_db, createTableSql, nullptr, nullptr, nullptr);
    // Opening is lazy: a file that is not an SQLite database, or one whose
    // header is damaged, only shows here. Such a file is left untouched and the
    // run goes on without history, so no later write can make it worse.
    if (isUnusableDatabase(result)) {
        qCWarning(lcHistory).noquote()
            << QStringLiteral("History database %1 cannot be opened (%2); history is off")
                   .arg(m_databasePath, QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

void HistoryStore::migrate() {
    if (!m_db) {
        return;
    }
    QList<QByteArray> existing;
    {
        Statement info(m_db, tableInfoSql);
        if (info.isPrepared()) {
            while (info.step() == SQLITE_ROW) {
                if (!info.isNull(1)) {
                    existing.append(info.utf8(1));
                }
            }
        }
    }
    for (const LaterColumn& column : laterColumns) {
        if (existing.contains(QByteArray(column.name))) {
            continue;
        }
        const QByteArray sql =
            QByteArray("ALTER TABLE transcriptions ADD COLUMN ") + column.definition + ';';
        sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(m_db, createIndexSql, nullptr, nullptr, nullptr);
}

void HistoryStore::reload() {
    if (!m_db) {
        if (!m_entries.isEmpty()) {
            publish({}, {});
        }
        return;
    }
    Statement select(m_db, selectSql);
    if (!select.isPrepared()) {
        return;
    }
    QList<Transcription> rows;
    QList<size_t> digests;
    rows.reserve(m_entries.size() + 1);
    digests.reserve(m_entries.size() + 1);
    PreviousRows previous(m_entries);
    int result = SQLITE_ROW;
    while ((result = select.step()) == SQLITE_ROW) {
        const std::int64_t id = select.int64(0);
        const size_t digest = select.digest(1, 8);
        const qsizetype position = previous.positionOf(id);
        if (position >= 0 && m_digests.at(position) == digest) {
            rows.append(m_entries.at(position));
        } else {
            rows.append(mapRow(select));
        }
        digests.append(digest);
    }
    if (result != SQLITE_DONE) {
        // A read that breaks off part-way would publish a list that is not the
        // table; keep the previous one.
        qCWarning(lcHistory).noquote() << QStringLiteral("History cannot be read (%1)")
                                              .arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return;
    }
    publish(std::move(rows), std::move(digests));
}

void HistoryStore::publish(QList<Transcription> entries, QList<size_t> digests) {
    m_entries = std::move(entries);
    m_digests = std::move(digests);
    emit entriesChanged(m_entries);
}

bool HistoryStore::insertDictation(const QString& text, const QString& language,
                                   const std::optional<QString>& rawText) {
    if (!m_db) {
        return false;
    }
    Statement insert(m_db, insertDictationSql);
    if (!insert.isPrepared()) {
        return false;
    }
    insert.bindText(1, text);
    insert.bindDouble(2, secondsSince1970(m_clock.currentDateTime()));
    insert.bindText(3, language);
    insert.bindOptionalText(4, rawText);
    if (insert.step() != SQLITE_DONE) {
        return false;
    }
    reload();
    return true;
}

bool HistoryStore::insertMedia(const QString& text, const Transcript& transcript) {
    if (!m_db || text.isEmpty()) {
        return false;
    }
    Statement insert(m_db, insertMediaSql);
    if (!insert.isPrepared()) {
        return false;
    }
    insert.bindText(1, text);
    insert.bindDouble(2, secondsSince1970(m_clock.currentDateTime()));
    insert.bindText(3, transcript.language);
    insert.bindText(4, TranscriptionSources::rawValue(transcript.source));
    insert.bindText(5, TranscriptSegment::encodeList(transcript.segments));
    insert.bindText(6, transcript.mediaName);
    insert.bindInt64(7, transcript.durationMs);
    if (insert.step() != SQLITE_DONE) {
        return false;
    }
    reload();
    return true;
}

void HistoryStore::deleteEntry(std::int64_t id) {
    if (!m_db) {
        return;
    }
    Statement remove(m_db, deleteSql);
    if (!remove.isPrepared()) {
        return;
    }
    remove.bindInt64(1, id);
    remove.step();
    reload();
}

void HistoryStore::deleteAll() {
    if (!m_db) {
        return;
    }
    sqlite3_exec(m_db, deleteAllSql, nullptr, nullptr, nullptr);
    reload();
}

void HistoryStore::deleteEntries(const QList<Transcription>& groupEntries,
                                 const QList<qsizetype>& positions) {
    QList<std::int64_t> ids;
    ids.reserve(positions.size());
    for (const qsizetype position : positions) {
        if (position >= 0 && position < groupEntries.size()) {
            ids.append(groupEntries[position].id);
        }
    }
    for (const std::int64_t id : std::as_const(ids)) {
        deleteEntry(id);
    }
}

std::optional<QString> HistoryStore::newestText() const {
    if (m_entries.isEmpty()) {
        return std::nullopt;
    }
    return m_entries.first().text;
}
