// Load and save times of a full library: 200 dictations of realistic length and 500 dictionary entries, and
// of one whose user kept 100,000 entries.
#include "library/AppStore.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace orv;

namespace {

const QString sentence =
    QStringLiteral("so the plan for next week is to finish the migration of the billing service, then we review the "
                   "dashboards with Kubernetes metrics and send the summary to the whole team before Friday. ");

AppStore::Snapshot fullLibrary(int entries = 500)
{
    AppStore::Snapshot snapshot;
    for (int i = 0; i < AppStore::historyLimit; ++i) {
        const QString original = sentence.repeated(1 + i % 4); // about 190 to 760 characters
        QString output = original;
        output[0] = output[0].toUpper();
        snapshot.history.append(TranscriptRecord{QUuid::createUuid(), dateFromReferenceSeconds(790000000.0 + i * 37.5),
                                                 original, output, 4.0 + i % 50, QStringLiteral("Thunderbird"),
                                                 QStringLiteral("Built-in rules")});
    }
    for (int i = 0; i < entries; ++i)
        snapshot.dictionary.append(DictionaryEntry{QUuid::createUuid(), QStringLiteral("heard phrase %1").arg(i),
                                                   QStringLiteral("Replacement %1").arg(i), 1 + i % 7,
                                                   dateFromReferenceSeconds(780000000.0 + i), i % 3 == 0});
    return snapshot;
}

void saveFullLibrary(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orvanta/library.json"));
    AppStore store(path);
    const AppStore::Snapshot snapshot = fullLibrary();
    for (auto _ : state) {
        if (!store.save(snapshot))
            state.SkipWithError("save failed");
    }
    state.counters["bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(saveFullLibrary)->Unit(benchmark::kMillisecond);

void loadFullLibrary(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    if (!AppStore(path).save(fullLibrary(int(state.range(0)))))
        state.SkipWithError("save failed");
    for (auto _ : state) {
        AppStore store(path);
        if (store.loadError() || store.snapshot().history.size() != AppStore::historyLimit)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(store.snapshot());
    }
}
BENCHMARK(loadFullLibrary)->Arg(500)->Arg(100000)->Unit(benchmark::kMillisecond);

void encodeFullLibrary(benchmark::State &state)
{
    const AppStore::Snapshot snapshot = fullLibrary();
    for (auto _ : state)
        benchmark::DoNotOptimize(AppStore::encode(snapshot));
}
BENCHMARK(encodeFullLibrary)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
