#pragma once

#include "platform/Clock.h"
#include "store/HistoryStoreInterface.h"
#include "store/Transcription.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

struct Transcript;
struct sqlite3;

// Every finished dictation and every saved media transcript, kept in one
// SQLite file and published as the complete list of rows, newest first. Each
// write is followed by a full re-read of the table, so `entries` always equals
// the table's content. An index on the saving time lets that re-read walk the
// rows newest first instead of sorting the whole table each time.
//
// When the database cannot be opened (a directory that cannot be created, a
// file that is not an SQLite database) the store has no connection for the
// rest of the run: every operation does nothing, `entries` stays empty and the
// file on disk is left exactly as it was. Main thread only.
class HistoryStore final : public QObject, public HistoryStoreInterface {
    Q_OBJECT

public:
    // An empty `databasePath` means "history.sqlite" in the application's data
    // directory. Opens the file (creating it and its directory when missing),
    // brings its table up to the current columns and reads every row.
    explicit HistoryStore(Clock& clock = Clock::system(), QString databasePath = {},
                          QObject* parent = nullptr);
    ~HistoryStore() override;

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    static QString defaultDatabasePath();

    const QList<Transcription>& entries() const { return m_entries; }
    bool isOpen() const { return m_db != nullptr; }
    QString databasePath() const { return m_databasePath; }

    // Replaces `entries` with every row, newest first. Without a connection the
    // list becomes empty; when the table cannot be read it stays as it was.
    void reload();

    bool insertDictation(const QString& text, const QString& language,
                         const std::optional<QString>& rawText) override;
    // Stores a media transcript whose plain text is `text`. False when `text`
    // is empty, when there is no connection or when the write fails.
    bool insertMedia(const QString& text, const Transcript& transcript) override;

    // Removes the row with `id` (nothing happens for an unknown id).
    void deleteEntry(std::int64_t id);
    void deleteAll();
    // Removes the entries at `positions` of one day group's `groupEntries`.
    // The rows are picked before the first delete, so later positions are not
    // shifted by earlier deletes; positions outside the group are skipped.
    void deleteEntries(const QList<Transcription>& groupEntries, const QList<qsizetype>& positions);

    qsizetype entryCount() const override { return m_entries.size(); }
    std::optional<QString> newestText() const override;

signals:
    // Emitted each time a reload publishes the list.
    void entriesChanged(const QList<Transcription>& entries);

private:
    void open();
    void createTable();
    void migrate();
    void publish(QList<Transcription> entries, QList<size_t> digests);

    Clock& m_clock;
    QString m_databasePath;
    QList<Transcription> m_entries;
    sqlite3* m_db = nullptr;
    // A digest of each listed row's stored values, by position in `entries`.
    // Rows are only ever added and removed, so a re-read after a write finds
    // almost every row unchanged: such a row is taken from `entries` instead
    // of being converted and its segment JSON parsed again. Any difference in
    // a stored value changes the digest and the row is read afresh, so the
    // list still equals the table.
    QList<size_t> m_digests;
};
