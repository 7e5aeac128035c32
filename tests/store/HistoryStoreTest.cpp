#include "store/HistoryStore.h"

#include "LogCapture.h"
#include "ManualClock.h"
#include "TestEnvironment.h"
#include "speech/Transcript.h"
#include "speech/TranscriptFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTimeZone>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

const QStringList currentColumns = {
    QStringLiteral("id"),         QStringLiteral("text"),        QStringLiteral("created_at"),
    QStringLiteral("language"),   QStringLiteral("source_type"), QStringLiteral("segments"),
    QStringLiteral("media_name"), QStringLiteral("duration_ms"), QStringLiteral("raw_text")};

// The table as the first release created it.
constexpr const char* originalSchema = "CREATE TABLE transcriptions (\n"
                                       "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                                       "    text TEXT NOT NULL,\n"
                                       "    created_at REAL NOT NULL,\n"
                                       "    language TEXT NOT NULL\n"
                                       ");";

// A second connection to a database file, to prepare rows the application
// could not write itself and to look at what it did write.
class Database {
public:
    explicit Database(const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK) {
            ADD_FAILURE() << "cannot open " << path.toStdString();
        }
    }
    ~Database() { sqlite3_close(m_db); }

    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << sql.toStdString() << ": " << (error ? error : "?");
        }
        sqlite3_free(error);
    }

    // Every row of `sql`, each column as text ("<null>" for NULL).
    QList<QStringList> rows(const QString& sql) {
        QList<QStringList> result;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) !=
            SQLITE_OK) {
            ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(m_db);
            sqlite3_finalize(statement);
            return result;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
                row.append(text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
            }
            result.append(row);
        }
        sqlite3_finalize(statement);
        return result;
    }

    QString value(const QString& sql) {
        const auto result = rows(sql);
        return result.isEmpty() || result.first().isEmpty() ? QString() : result.first().first();
    }

    QStringList columnNames() {
        QStringList names;
        for (const QStringList& row : rows(QStringLiteral("PRAGMA table_info(transcriptions);"))) {
            names.append(row.value(1));
        }
        return names;
    }

private:
    sqlite3* m_db = nullptr;
};

QDateTime utc(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), QTimeZone::utc());
}

Transcript mediaTranscript() {
    Transcript transcript;
    transcript.segments = {{0, QStringLiteral("Hello"), 0, 1500},
                           {1, QStringLiteral("w\u00f6rld / \"quoted\""), 1500, 3000}};
    transcript.language = QStringLiteral("de");
    transcript.source = TranscriptionSource::mediaURL;
    transcript.mediaName = QStringLiteral("https://example.org/talk.mp3");
    transcript.durationMs = 7325000;
    return transcript;
}

class HistoryStoreTest : public ::testing::Test {
protected:
    HistoryStoreTest() { clock.setCurrentDateTime(utc(2026, 3, 14, 9, 30, 5, 250)); }

    QString defaultPath() const { return home.path(QStringLiteral("data/murmex/history.sqlite")); }

    ScopedTestHome home;
    ManualClock clock;
};

TEST_F(HistoryStoreTest, FreshDatabaseIsCreatedInTheDataDirectoryWithAllColumnsInOrder) {
    HistoryStore store(clock);
    EXPECT_TRUE(store.isOpen());
    EXPECT_EQ(store.databasePath(), defaultPath());
    EXPECT_TRUE(QFileInfo::exists(defaultPath()));
    EXPECT_TRUE(store.entries().isEmpty());
    EXPECT_EQ(store.entryCount(), 0);
    EXPECT_EQ(store.newestText(), std::nullopt);

    Database db(defaultPath());
    EXPECT_EQ(db.columnNames(), currentColumns);
    // type, not null, default of each column
    const auto info = db.rows(QStringLiteral("PRAGMA table_info(transcriptions);"));
    ASSERT_EQ(info.size(), 9);
    EXPECT_EQ(info[4].mid(2, 3), (QStringList{QStringLiteral("TEXT"), QStringLiteral("1"),
                                              QStringLiteral("'dictation'")}));
    EXPECT_EQ(info[7].value(2), QStringLiteral("INTEGER"));
    EXPECT_EQ(info[8].value(3), QStringLiteral("0"));

    // The newest-first listing is read in index order, without sorting the
    // table (segments included) on every re-read.
    const auto plan = db.rows(QStringLiteral(
        "EXPLAIN QUERY PLAN SELECT id, text, created_at, language, source_type, segments, "
        "media_name, duration_ms, raw_text FROM transcriptions ORDER BY created_at DESC;"));
    ASSERT_FALSE(plan.isEmpty());
    for (const QStringList& step : plan) {
        EXPECT_FALSE(step.last().contains(QStringLiteral("TEMP B-TREE")))
            << step.last().toStdString();
    }
}

TEST_F(HistoryStoreTest, DatabaseMissingTheLaterColumnsIsMigratedAndItsRowsReadAsDictations) {
    {
        Database db(defaultPath());
        db.exec(QString::fromUtf8(originalSchema));
        db.exec(QStringLiteral("INSERT INTO transcriptions (text, created_at, language) VALUES "
                               "('first words', 1700000000.5, 'en'), "
                               "('zweite Worte', 1700000100.25, 'de');"));
    }

    HistoryStore store(clock);
    ASSERT_TRUE(store.isOpen());
    ASSERT_EQ(store.entries().size(), 2);
    Transcription newest;
    newest.id = 2;
    newest.text = QStringLiteral("zweite Worte");
    newest.createdAt = QDateTime::fromMSecsSinceEpoch(1700000100250, QTimeZone::utc());
    newest.language = QStringLiteral("de");
    Transcription oldest;
    oldest.id = 1;
    oldest.text = QStringLiteral("first words");
    oldest.createdAt = QDateTime::fromMSecsSinceEpoch(1700000000500, QTimeZone::utc());
    oldest.language = QStringLiteral("en");
    EXPECT_EQ(store.entries(), (QList<Transcription>{newest, oldest}));

    Database db(defaultPath());
    EXPECT_EQ(db.columnNames(), currentColumns);
    EXPECT_EQ(db.value(QStringLiteral("SELECT source_type FROM transcriptions WHERE id = 1;")),
              QStringLiteral("dictation"));
}

TEST_F(HistoryStoreTest, StartingTwiceAddsNoColumnTwiceAndKeepsTheRows) {
    {
        Database db(defaultPath());
        db.exec(QString::fromUtf8(originalSchema));
        db.exec(QStringLiteral("INSERT INTO transcriptions (text, created_at, language) "
                               "VALUES ('kept', 1700000000, 'en');"));
    }
    { HistoryStore first(clock); }
    HistoryStore second(clock);
    ASSERT_EQ(second.entries().size(), 1);
    EXPECT_EQ(second.entries().first().text, QStringLiteral("kept"));
    EXPECT_EQ(Database(defaultPath()).columnNames(), currentColumns);
}

TEST_F(HistoryStoreTest, DatabaseWithSomeLaterColumnsGetsOnlyTheMissingOnes) {
    {
        Database db(defaultPath());
        db.exec(QString::fromUtf8(originalSchema));
        db.exec(QStringLiteral("ALTER TABLE transcriptions ADD COLUMN source_type TEXT NOT NULL "
                               "DEFAULT 'dictation';"));
        db.exec(QStringLiteral("ALTER TABLE transcriptions ADD COLUMN segments TEXT;"));
        db.exec(QStringLiteral("INSERT INTO transcriptions (text, created_at, language, "
                               "source_type) VALUES ('from a file', 1700000000, 'en', "
                               "'mediaFile');"));
    }
    HistoryStore store(clock);
    EXPECT_EQ(Database(defaultPath()).columnNames(), currentColumns);
    ASSERT_EQ(store.entries().size(), 1);
    EXPECT_EQ(store.entries().first().source, TranscriptionSource::mediaFile);
    EXPECT_EQ(store.entries().first().durationMs, std::nullopt);
}

TEST_F(HistoryStoreTest, DictationIsStoredWithTheCurrentTimeAndRawTextOnlyWhenGiven) {
    HistoryStore store(clock);
    QSignalSpy changed(&store, &HistoryStore::entriesChanged);

    EXPECT_TRUE(store.insertDictation(QStringLiteral("Hello there."), QStringLiteral("en"),
                                      QStringLiteral("hello there")));
    clock.advance(std::chrono::seconds(2));
    EXPECT_TRUE(
        store.insertDictation(QStringLiteral("Same text"), QStringLiteral("en"), std::nullopt));
    EXPECT_EQ(changed.count(), 2);

    Database db(defaultPath());
    EXPECT_EQ(
        db.rows(QStringLiteral("SELECT text, created_at, language, source_type, "
                               "typeof(raw_text), raw_text, typeof(segments), "
                               "typeof(media_name), typeof(duration_ms) "
                               "FROM transcriptions ORDER BY id;")),
        (QList<QStringList>{
            {QStringLiteral("Hello there."), QStringLiteral("1773480605.25"), QStringLiteral("en"),
             QStringLiteral("dictation"), QStringLiteral("text"), QStringLiteral("hello there"),
             QStringLiteral("null"), QStringLiteral("null"), QStringLiteral("null")},
            {QStringLiteral("Same text"), QStringLiteral("1773480607.25"), QStringLiteral("en"),
             QStringLiteral("dictation"), QStringLiteral("null"), QStringLiteral("<null>"),
             QStringLiteral("null"), QStringLiteral("null"), QStringLiteral("null")}}));

    ASSERT_EQ(store.entryCount(), 2);
    EXPECT_EQ(store.newestText(), QStringLiteral("Same text"));
    const Transcription& older = store.entries()[1];
    EXPECT_EQ(older.createdAt, utc(2026, 3, 14, 9, 30, 5, 250));
    EXPECT_EQ(older.rawText, QStringLiteral("hello there"));
    EXPECT_EQ(older.source, TranscriptionSource::dictation);
    EXPECT_EQ(store.entries()[0].rawText, std::nullopt);
    EXPECT_EQ(changed.last().first().value<QList<Transcription>>(), store.entries());
}

TEST_F(HistoryStoreTest, MediaTranscriptIsStoredWithSegmentsNameAndDurationAndReadBack) {
    HistoryStore store(clock);
    const Transcript transcript = mediaTranscript();
    const QString text = TranscriptFormat::plainText(transcript.segments);

    ASSERT_TRUE(store.insertMedia(text, transcript));

    Database db(defaultPath());
    EXPECT_EQ(
        db.rows(QStringLiteral("SELECT source_type, segments, media_name, duration_ms, "
                               "typeof(duration_ms), typeof(raw_text) FROM transcriptions;")),
        (QList<QStringList>{{QStringLiteral("mediaURL"),
                             QString::fromUtf8(TranscriptSegment::encodeList(transcript.segments)),
                             transcript.mediaName, QStringLiteral("7325000"),
                             QStringLiteral("integer"), QStringLiteral("null")}}));

    Transcription expected;
    expected.id = 1;
    expected.text = text;
    expected.createdAt = utc(2026, 3, 14, 9, 30, 5, 250);
    expected.language = QStringLiteral("de");
    expected.source = TranscriptionSource::mediaURL;
    expected.segments = transcript.segments;
    expected.mediaName = transcript.mediaName;
    expected.durationMs = 7325000;
    EXPECT_EQ(store.entries(), QList<Transcription>{expected});

    // What was stored is what a later run reads.
    HistoryStore reopened(clock);
    EXPECT_EQ(reopened.entries(), store.entries());
}

TEST_F(HistoryStoreTest, MediaTranscriptWithoutTextIsNotStored) {
    HistoryStore store(clock);
    QSignalSpy changed(&store, &HistoryStore::entriesChanged);
    Transcript silent = mediaTranscript();
    silent.segments.clear();

    EXPECT_FALSE(store.insertMedia(QString(), silent));
    EXPECT_TRUE(store.entries().isEmpty());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(Database(defaultPath()).value(QStringLiteral("SELECT count(*) FROM transcriptions;")),
              QStringLiteral("0"));
}

// Rows that a damaged or foreign writer left behind still list.
TEST_F(HistoryStoreTest, OddStoredValuesReadWithSafeDefaults) {
    struct Case {
        const char* name;
        const char* sourceType;
        const char* segments;
        TranscriptionSource source;
        bool hasSegments;
    };
    const Case cases[] = {
        {"segments not JSON", "'mediaFile'", "'[{\"index\":0,'", TranscriptionSource::mediaFile,
         false},
        {"segments not an array", "'mediaFile'", "'{\"index\":0}'", TranscriptionSource::mediaFile,
         false},
        {"segment lacks a key", "'mediaFile'", "'[{\"index\":0,\"text\":\"a\",\"startMs\":0}]'",
         TranscriptionSource::mediaFile, false},
        {"empty segment list", "'mediaURL'", "'[]'", TranscriptionSource::mediaURL, true},
        {"unknown source word", "'voiceMemo'", "NULL", TranscriptionSource::dictation, false},
        {"source in other case", "'MEDIAFILE'", "NULL", TranscriptionSource::dictation, false},
        {"empty source", "''", "NULL", TranscriptionSource::dictation, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTestHome ownHome;
        { HistoryStore create(clock); }
        {
            Database db(HistoryStore::defaultDatabasePath());
            db.exec(QStringLiteral("INSERT INTO transcriptions (text, created_at, language, "
                                   "source_type, segments) VALUES ('row', 1700000000, 'en', %1, "
                                   "%2);")
                        .arg(QString::fromUtf8(c.sourceType), QString::fromUtf8(c.segments)));
        }
        HistoryStore store(clock);
        ASSERT_EQ(store.entries().size(), 1);
        const Transcription& entry = store.entries().first();
        EXPECT_EQ(entry.text, QStringLiteral("row"));
        EXPECT_EQ(entry.source, c.source);
        EXPECT_EQ(entry.segments.has_value(), c.hasSegments);
    }
}

TEST_F(HistoryStoreTest, EntriesAreNewestFirstBySavingTime) {
    HistoryStore store(clock);
    clock.setCurrentDateTime(utc(2026, 3, 14, 12, 0));
    store.insertDictation(QStringLiteral("noon"), QStringLiteral("en"), std::nullopt);
    // A clock set back still orders by the stored time, not by insertion.
    clock.setCurrentDateTime(utc(2026, 3, 14, 8, 0));
    store.insertDictation(QStringLiteral("morning"), QStringLiteral("en"), std::nullopt);
    clock.setCurrentDateTime(utc(2026, 3, 15, 8, 0));
    store.insertMedia(QStringLiteral("next day"), mediaTranscript());

    QStringList texts;
    for (const Transcription& entry : store.entries()) {
        texts.append(entry.text);
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("next day"), QStringLiteral("noon"),
                                  QStringLiteral("morning")}));
    EXPECT_EQ(store.newestText(), QStringLiteral("next day"));
}

class HistoryStoreDeleteTest : public HistoryStoreTest {
protected:
    HistoryStoreDeleteTest() {
        for (const char* text : {"one", "two", "three", "four", "five"}) {
            store.insertDictation(QString::fromUtf8(text), QStringLiteral("en"), std::nullopt);
            clock.advance(std::chrono::minutes(1));
        }
    }

    QStringList texts() const {
        QStringList result;
        for (const Transcription& entry : store.entries()) {
            result.append(entry.text);
        }
        return result;
    }

    HistoryStore store{clock};
};

TEST_F(HistoryStoreDeleteTest, DeletingOneEntryRemovesOnlyThatRow) {
    QSignalSpy changed(&store, &HistoryStore::entriesChanged);
    store.deleteEntry(store.entries()[1].id);
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("five"), QStringLiteral("three"),
                                    QStringLiteral("two"), QStringLiteral("one")}));
    EXPECT_EQ(changed.count(), 1);

    store.deleteEntry(999);
    EXPECT_EQ(store.entryCount(), 4);
}

TEST_F(HistoryStoreDeleteTest, DeletingAllEmptiesTheHistoryAndIdsAreNotReused) {
    const std::int64_t highestId = store.entries().first().id;
    store.deleteAll();
    EXPECT_TRUE(store.entries().isEmpty());
    EXPECT_EQ(store.newestText(), std::nullopt);

    store.insertDictation(QStringLiteral("after"), QStringLiteral("en"), std::nullopt);
    ASSERT_EQ(store.entryCount(), 1);
    EXPECT_GT(store.entries().first().id, highestId);
}

TEST_F(HistoryStoreDeleteTest, DeletingPositionsOfAGroupRemovesTheRowsChosenBeforehand) {
    // The group as the screen showed it: positions refer to this list even
    // though every delete reloads the store.
    const QList<Transcription> group = store.entries();
    QSignalSpy changed(&store, &HistoryStore::entriesChanged);

    store.deleteEntries(group, {0, 2, 7, -1});

    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("four"), QStringLiteral("two"), QStringLiteral("one")}));
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(HistoryStoreDeleteTest, RowsChangedByAnotherWriterAreReadAgainOnTheNextReload) {
    ASSERT_TRUE(store.insertMedia(QStringLiteral("media"), mediaTranscript()));
    const std::int64_t mediaId = store.entries().first().id;
    {
        Database db(defaultPath());
        db.exec(QStringLiteral("UPDATE transcriptions SET text = 'TWO' WHERE text = 'two';"));
        db.exec(QStringLiteral("UPDATE transcriptions SET segments = '[{\"index\":0,\"text\":"
                               "\"changed\",\"startMs\":5,\"endMs\":9}]' WHERE id = %1;")
                    .arg(mediaId));
        db.exec(QStringLiteral("UPDATE transcriptions SET duration_ms = NULL, raw_text = 'r' "
                               "WHERE text = 'four';"));
    }
    store.reload();

    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("media"), QStringLiteral("five"), QStringLiteral("four"),
                           QStringLiteral("three"), QStringLiteral("TWO"), QStringLiteral("one")}));
    EXPECT_EQ(store.entries()[0].segments,
              (QList<TranscriptSegment>{{0, QStringLiteral("changed"), 5, 9}}));
    EXPECT_EQ(store.entries()[2].rawText, QStringLiteral("r"));

    Database(defaultPath())
        .exec(QStringLiteral("UPDATE transcriptions SET segments = 'broken' WHERE id = %1;")
                  .arg(mediaId));
    store.reload();
    EXPECT_EQ(store.entries()[0].segments, std::nullopt);
    // Everything else is what a fresh start reads.
    HistoryStore fresh(clock);
    EXPECT_EQ(store.entries(), fresh.entries());
}

TEST_F(HistoryStoreDeleteTest, AWriteThatCannotRunLeavesTheListAndReportsFailure) {
    const QList<Transcription> before = store.entries();
    Database(defaultPath()).exec(QStringLiteral("DROP TABLE transcriptions;"));

    store.reload();
    EXPECT_EQ(store.entries(), before);
    EXPECT_FALSE(store.insertDictation(QStringLiteral("lost"), QStringLiteral("en"), std::nullopt));
    EXPECT_FALSE(store.insertMedia(QStringLiteral("lost"), mediaTranscript()));
    store.deleteEntry(before.first().id);
    store.deleteAll();
    EXPECT_EQ(store.entries(), before);
}

TEST_F(HistoryStoreTest, UnreachableDataDirectoryLeavesAHistoryThatDoesNothing) {
    // A plain file where the data directory should be.
    const QString blocker = home.path(QStringLiteral("data/murmex"));
    writeFile(blocker, "not a directory");
    LogCapture log;

    HistoryStore store(clock);
    QSignalSpy changed(&store, &HistoryStore::entriesChanged);

    EXPECT_FALSE(store.isOpen());
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.History"), defaultPath()));
    EXPECT_FALSE(
        store.insertDictation(QStringLiteral("text"), QStringLiteral("en"), QStringLiteral("raw")));
    EXPECT_FALSE(store.insertMedia(QStringLiteral("text"), mediaTranscript()));
    store.deleteEntry(1);
    store.deleteEntries({Transcription{}}, {0});
    store.deleteAll();
    store.reload();
    EXPECT_TRUE(store.entries().isEmpty());
    EXPECT_EQ(store.entryCount(), 0);
    EXPECT_EQ(store.newestText(), std::nullopt);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(readFile(blocker), QByteArray("not a directory"));
}

TEST_F(HistoryStoreTest, FileThatIsNotADatabaseIsLeftUntouched) {
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i) {
        garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    }
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"binary noise", garbage},
        {"a text file", QByteArray("my notes\nthat are not a database\n").repeated(40)},
        {"a short file", QByteArray("hello")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTestHome ownHome;
        const QString path = HistoryStore::defaultDatabasePath();
        writeFile(path, c.bytes);
        {
            LogCapture log;
            HistoryStore store(clock);
            EXPECT_FALSE(store.isOpen());
            EXPECT_TRUE(store.entries().isEmpty());
            EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.History"), path));
            EXPECT_FALSE(
                store.insertDictation(QStringLiteral("text"), QStringLiteral("en"), std::nullopt));
            EXPECT_FALSE(store.insertMedia(QStringLiteral("text"), mediaTranscript()));
            store.deleteAll();
        }
        EXPECT_EQ(readFile(path), c.bytes);
        EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files),
                  QStringList{QStringLiteral("history.sqlite")});
    }
}

TEST_F(HistoryStoreTest, ExplicitPathIsCreatedWithItsDirectories) {
    const QString path = home.path(QStringLiteral("elsewhere/deep/history.sqlite"));
    HistoryStore store(clock, path);
    EXPECT_TRUE(store.isOpen());
    EXPECT_TRUE(store.insertDictation(QStringLiteral("x"), QStringLiteral("en"), std::nullopt));
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(defaultPath()));
}

TEST_F(HistoryStoreTest, WorksThroughTheInterfaceTheDictationPipelineUses) {
    HistoryStore store(clock);
    HistoryStoreInterface& history = store;
    EXPECT_TRUE(history.insertDictation(QStringLiteral("Grüße, 世界 👋"), QStringLiteral("de"),
                                        std::nullopt));
    EXPECT_EQ(history.entryCount(), 1);
    EXPECT_EQ(history.newestText(), QStringLiteral("Grüße, 世界 👋"));
}

} // namespace
