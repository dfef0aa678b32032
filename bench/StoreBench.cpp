// SPDX-License-Identifier: GPL-3.0-or-later
// The history's hot paths on a real database file.
#include "BenchRecords.h"
#include "support/TestHistory.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <stdexcept>

using namespace scrivlet;

namespace {

using bench::kTextLength;
constexpr int kRepetitions = 7;

// Distinct for every `n`, always kTextLength characters.
QString textNumber(qint64 n)
{
    static const QString filler = [] {
        QString s;
        while (s.size() < kTextLength)
            s += QStringLiteral("The quick brown fox jumps over the lazy dog. ");
        return s;
    }();
    QString text = QString::number(n) + QLatin1Char(' ');
    text += QStringView(filler).left(kTextLength - text.size());
    return text;
}

// Written once per size, in one transaction, with the fields recordContent
// gives a text; each run works on its own copy.
const QString &templateFile(int records)
{
    static QTemporaryDir root;
    static std::map<int, QString> files;
    if (const auto found = files.find(records); found != files.end())
        return found->second;

    const QString file = root.path() + QStringLiteral("/history-%1.sqlite").arg(records);
    testing::TestHistory history;
    ModelContext &context = history.container().mainContext();
    bench::insertRecords(context, records, textNumber);
    if (!context.save())
        throw std::runtime_error("cannot fill the template history");
    history.close();
    if (!QFile::copy(history.databaseFile(), file))
        throw std::runtime_error("cannot keep the template history");
    return files.emplace(records, file).first->second;
}

// A fresh history holding a copy of the template of `records` entries.
std::unique_ptr<testing::TestHistory> historyOf(int records)
{
    const QString &source = templateFile(records);
    auto history = std::make_unique<testing::TestHistory>();
    history->close();
    if (!QFile::remove(history->databaseFile()) || !QFile::copy(source, history->databaseFile()))
        throw std::runtime_error("cannot copy the template history");
    history->reopen();
    return history;
}

void recordContent(benchmark::State &state)
{
    const int records = int(state.range(0));
    const auto history = historyOf(records);
    ClipStore &store = history->store();
    store.maxItems = records;
    // The app's default retention, with every record inside it: the age
    // query runs on each record and finds nothing.
    store.retentionDays = 30;
    history->clock.time = 1'700'000'000.0 + double(records) + 1;

    qint64 n = records;
    for (auto _ : state)
        store.recordContent(
            ClipContent::text(textNumber(++n)), QStringLiteral("org.example.Bench"));

    if (store.recentItems(records + 1).size() != std::size_t(records))
        state.SkipWithError("the history did not keep its size");
}
// The history is full and the limit is its size: every record also prunes
// the oldest entry, as the app's recordContent + enforceLimits do.
BENCHMARK(recordContent)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

void recentItems(benchmark::State &state)
{
    const auto history = historyOf(int(state.range(0)));
    ClipStore &store = history->store();

    for (auto _ : state) {
        auto items = store.recentItems(200);
        benchmark::DoNotOptimize(items);
        if (items.size() != 200)
            state.SkipWithError("fewer than 200 records");
    }
}
BENCHMARK(recentItems)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

void openStore(benchmark::State &state)
{
    const auto history = historyOf(int(state.range(0)));

    for (auto _ : state) {
        // Closing is not part of opening.
        state.PauseTiming();
        history->close();
        state.ResumeTiming();
        history->reopen();
        benchmark::DoNotOptimize(history->store().nextSeq());
    }
}
BENCHMARK(openStore)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
