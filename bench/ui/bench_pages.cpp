// What a model notification costs the History, Dictionary and Settings pages: with nothing changed (a level
// report or a tick, about 17 a second while recording) and with one record changed. The pages are shown on
// Qt's offscreen platform over the model's fakes, with a full history (200 dictations) and a dictionary of
// 500 entries (the model's limit) and of 2,000.
#include "core/AppModel.h"
#include "library/LinuxSettings.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeFormatter.h"
#include "tests/support/FakeLoginItemController.h"
#include "tests/support/FakeSpeechEngine.h"
#include "tests/support/FakeTextDelivery.h"
#include "tests/support/InMemoryKeyValueStore.h"
#include "tests/support/VirtualScheduler.h"
#include "ui/DictionaryViewController.h"
#include "ui/HistoryViewController.h"
#include "ui/SettingsViewController.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace orv;

namespace {

const QString sentence =
    QStringLiteral("so the plan for next week is to finish the migration of the billing service, then we review the "
                   "dashboards with Kubernetes metrics and send the summary to the whole team before Friday. ");

QList<DictionaryEntry> dictionary(int size)
{
    QList<DictionaryEntry> entries;
    for (int i = 0; i < size; ++i)
        entries.append(DictionaryEntry{QUuid::createUuid(), QStringLiteral("heard phrase %1").arg(i),
                                       QStringLiteral("Replacement %1").arg(i), 1 + i % 7,
                                       dateFromReferenceSeconds(780000000.0 + i), i % 3 == 0});
    return entries;
}

// The model over fakes and a library of 200 dictations and 500 entries.
struct Fixture
{
    Fixture()
    {
        AppStore::Snapshot library;
        for (int i = 0; i < AppStore::historyLimit; ++i) {
            const QString text = sentence.repeated(1 + i % 4);
            library.history.append(TranscriptRecord{QUuid::createUuid(),
                                                    dateFromReferenceSeconds(790000000.0 - i * 600.0), text, text, 4.0,
                                                    QStringLiteral("Thunderbird"), QStringLiteral("Built-in rules")});
        }
        library.dictionary = dictionary(int(AppModel::dictionaryLimit));
        const QString path = dir.filePath(QStringLiteral("library.json"));
        (void)AppStore(path).save(library);
        model = std::make_unique<AppModel>(
            AppModel::Services{scheduler, std::make_unique<test::FakeLoginItemController>(),
                               std::make_unique<test::InMemoryKeyValueStore>(), std::make_unique<AppStore>(path),
                               std::make_unique<test::FakeSpeechEngine>(), std::make_unique<test::FakeFormatter>(),
                               std::make_unique<test::FakeTextDelivery>(), std::make_unique<test::FakeDesktop>()});
        scheduler.runPending();
    }

    // The page alone, shown, and no longer following the model: each iteration calls refresh() itself.
    template <typename Page>
    void detach(Page &page)
    {
        page.resize(1000, 720);
        page.show();
        QObject::disconnect(model.get(), &AppModel::changed, &page, nullptr);
    }

    QTemporaryDir dir;
    test::VirtualScheduler scheduler;
    std::unique_ptr<AppModel> model;
};

void historyUnchanged(benchmark::State &state)
{
    Fixture fixture;
    ui::HistoryViewController page(*fixture.model);
    fixture.detach(page);
    for (auto _ : state)
        page.refresh();
}
BENCHMARK(historyUnchanged)->Unit(benchmark::kMicrosecond);

// With painted = 1 the drawing that follows is counted too (the application defers it to the event loop).
void historyOneRecordChanged(benchmark::State &state)
{
    Fixture fixture;
    ui::HistoryViewController page(*fixture.model);
    fixture.detach(page);
    const TranscriptRecord record = fixture.model->history().at(100);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fixture.model->editTranscript(record.id, record.output + QString::number(++round % 2));
        state.ResumeTiming();
        page.refresh();
        if (state.range(0))
            benchmark::DoNotOptimize(page.grab()); // the whole page drawn, as a repaint draws it
    }
}
BENCHMARK(historyOneRecordChanged)->ArgName("painted")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void dictionaryUnchanged(benchmark::State &state)
{
    Fixture fixture;
    ui::DictionaryViewController page(*fixture.model);
    fixture.detach(page);
    const QList<DictionaryEntry> entries = dictionary(int(state.range(0)));
    page.draw(entries);
    for (auto _ : state)
        page.draw(entries);
}
BENCHMARK(dictionaryUnchanged)->Arg(500)->Arg(2000)->Unit(benchmark::kMicrosecond);

void dictionaryOneEntryChanged(benchmark::State &state)
{
    Fixture fixture;
    ui::DictionaryViewController page(*fixture.model);
    fixture.detach(page);
    QList<DictionaryEntry> entries = dictionary(int(state.range(0)));
    page.draw(entries);
    for (auto _ : state) {
        state.PauseTiming();
        ++entries[entries.size() / 2].occurrenceCount; // one more occurrence learned
        state.ResumeTiming();
        page.draw(entries);
        if (state.range(1))
            benchmark::DoNotOptimize(page.grab()); // the whole page drawn, as a repaint draws it
    }
}
BENCHMARK(dictionaryOneEntryChanged)
    ->ArgNames({"entries", "painted"})
    ->ArgsProduct({{500, 2000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

void settingsUnchanged(benchmark::State &state)
{
    Fixture fixture;
    LinuxSettings choices(std::make_unique<test::InMemoryKeyValueStore>());
    ui::SettingsViewController page(*fixture.model, &choices);
    page.resize(1000, 720);
    page.show();
    for (auto _ : state)
        fixture.model->notifyChanged(); // the page and its card of Linux choices
}
BENCHMARK(settingsUnchanged)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
