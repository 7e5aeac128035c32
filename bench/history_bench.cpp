// The full re-read of the history that follows every write, on the main
// thread, for a long history: a mix of dictations (one in three with the
// recogniser's raw text) and saved media transcripts of a few minutes each.
#include "speech/Transcript.h"
#include "speech/TranscriptFormat.h"
#include "store/HistoryStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>

namespace {

constexpr int mediaRowEvery = 10;
constexpr int segmentsPerMediaRow = 60; // about three minutes of speech

QByteArray mediaSegmentsJson(int row) {
    QList<TranscriptSegment> segments;
    for (std::int64_t i = 0; i < segmentsPerMediaRow; ++i) {
        segments.append(
            {i,
             QStringLiteral("segment %1 of recording %2 with a few spoken words").arg(i).arg(row),
             i * 3000, i * 3000 + 2900});
    }
    return TranscriptSegment::encodeList(segments);
}

// Fills a history file with `rows` rows in one transaction (the store itself
// re-reads after each insert, which would make filling quadratic).
void fill(const QString& path, int rows) {
    // The store creates the current schema.
    { HistoryStore create(Clock::system(), path); }
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "BEGIN;", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO transcriptions (text, created_at, language, source_type, "
                       "segments, media_name, duration_ms, raw_text) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?);",
                       -1, &insert, nullptr);
    const QByteArray dictation =
        QByteArrayLiteral("This is a dictated message of about the usual length, with a few "
                          "sentences. It goes on for a little while before it stops.");
    for (int i = 0; i < rows; ++i) {
        const bool media = i % mediaRowEvery == 0;
        const QByteArray segments = media ? mediaSegmentsJson(i) : QByteArray();
        const QByteArray text =
            media ? TranscriptFormat::plainText(*TranscriptSegment::decodeList(segments)).toUtf8()
                  : dictation;
        sqlite3_bind_text(insert, 1, text.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_double(insert, 2, 1700000000.0 + i * 37.5);
        sqlite3_bind_text(insert, 3, "en", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, media ? "mediaFile" : "dictation", -1, SQLITE_STATIC);
        if (media) {
            sqlite3_bind_text(insert, 5, segments.constData(), -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 6, "meeting.m4a", -1, SQLITE_STATIC);
            sqlite3_bind_int64(insert, 7, segmentsPerMediaRow * 3000);
            sqlite3_bind_null(insert, 8);
        } else {
            sqlite3_bind_null(insert, 5);
            sqlite3_bind_null(insert, 6);
            sqlite3_bind_null(insert, 7);
            if (i % 3 == 0) {
                sqlite3_bind_text(insert, 8, "this is a dictated message", -1, SQLITE_STATIC);
            } else {
                sqlite3_bind_null(insert, 8);
            }
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void historyReload(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    fill(path, rows);
    HistoryStore store(Clock::system(), path);
    if (store.entryCount() != rows) {
        state.SkipWithError("history was not filled");
        return;
    }
    for (auto _ : state) {
        store.reload();
        benchmark::DoNotOptimize(store.entries().constData());
    }
    state.counters["rows"] = rows;
    state.counters["segments"] = (rows + mediaRowEvery - 1) / mediaRowEvery * segmentsPerMediaRow;
}
BENCHMARK(historyReload)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// The first read at start-up, which decodes every row's segments.
void historyFirstRead(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    fill(path, rows);
    for (auto _ : state) {
        HistoryStore store(Clock::system(), path);
        benchmark::DoNotOptimize(store.entries().constData());
    }
}
BENCHMARK(historyFirstRead)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
