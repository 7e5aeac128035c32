// Costs on the main thread that grow with stored data: one settings write
// (each assignment replaces the defaults file) and the stored form of a long
// transcript (two hours of segments) as saved to and read from the history.
#include "speech/TranscriptFormat.h"
#include "speech/TranscriptSegment.h"
#include "store/DefaultsStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QList<TranscriptSegment> twoHoursOfSegments() {
    QList<TranscriptSegment> segments;
    for (std::int64_t i = 0; i < 2400; ++i) {
        segments.append({i,
                         QStringLiteral("and this is what the speaker said in segment %1").arg(i),
                         i * 3000, i * 3000 + 2900});
    }
    return segments;
}

void settingsWrite(benchmark::State& state) {
    QTemporaryDir dir;
    DefaultsStore store(dir.filePath(QStringLiteral("defaults.json")));
    for (int i = 0; i < 40; ++i) {
        store.setString(QStringLiteral("key%1").arg(i), QStringLiteral("value"));
    }
    bool flag = false;
    for (auto _ : state) {
        flag = !flag;
        benchmark::DoNotOptimize(store.setBool(QStringLiteral("cleanUpTranscripts"), flag));
    }
}
BENCHMARK(settingsWrite)->Unit(benchmark::kMicrosecond);

void segmentsEncode(benchmark::State& state) {
    const auto segments = twoHoursOfSegments();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TranscriptSegment::encodeList(segments));
    }
}
BENCHMARK(segmentsEncode)->Unit(benchmark::kMillisecond);

void segmentsDecode(benchmark::State& state) {
    const QByteArray json = TranscriptSegment::encodeList(twoHoursOfSegments());
    for (auto _ : state) {
        benchmark::DoNotOptimize(TranscriptSegment::decodeList(json));
    }
}
BENCHMARK(segmentsDecode)->Unit(benchmark::kMillisecond);

void srtOfTwoHours(benchmark::State& state) {
    const auto segments = twoHoursOfSegments();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TranscriptFormat::srtText(segments));
    }
}
BENCHMARK(srtOfTwoHours)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
