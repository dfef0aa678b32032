// SPDX-License-Identifier: GPL-3.0-or-later
// The history's hot paths on a real database file.
#include "core/history/ClipStore.h"
#include "core/crypto/Crypto.h"
#include "core/history/ModelContainer.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>
#include <stdexcept>

using namespace scrivlet;

namespace {

constexpr int kTextLength = 1024;
constexpr int kRepetitions = 7;

void setKey()
{
    if (Crypto::shared())
        return;
    SecretBytes key(32);
    for (std::size_t i = 0; i < key.size(); ++i)
        key.data()[i] = static_cast<unsigned char>(i * 7 + 3);
    Crypto::setShared(Crypto(std::move(key)));
}

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

std::unique_ptr<ModelContainer> openContainer(const QString &folder)
{
    auto opened = ModelContainer::open(folder);
    if (!opened)
        throw std::runtime_error(opened.error().toStdString());
    return std::move(opened).value();
}

// Written once per size, in one transaction, with the fields recordContent
// gives a text; each run works on its own copy.
const QString &templateFile(int records)
{
    static QTemporaryDir root;
    static std::map<int, QString> files;
    if (const auto found = files.find(records); found != files.end())
        return found->second;

    const QString folder = root.path() + QStringLiteral("/template-%1").arg(records);
    {
        auto container = openContainer(folder);
        const SecretBytes hashKey = ClipStore::hashKeyFor(Crypto::shared()->key());
        for (qint64 seq = 1; seq <= records; ++seq) {
            const QString text = textNumber(seq);
            ClipRecord record;
            record.id = QUuid::createUuid();
            record.createdAt = 1'700'000'000.0 + double(seq);
            record.seq = seq;
            record.kindRaw = QStringLiteral("text");
            record.contentHash = *ClipStore::contentHash(ClipContent::text(text), hashKey);
            record.sourceAppBundleID = QStringLiteral("org.example.Bench");
            record.byteSize = text.toUtf8().size();
            ClipItemPtr item = ClipItem::create(std::move(record));
            item->setText(text);
            container->mainContext().insert(item);
        }
        if (!container->mainContext().save())
            throw std::runtime_error("cannot fill the template history");
    }
    return files.emplace(records, folder + QStringLiteral("/history.sqlite")).first->second;
}

// A fresh folder holding a copy of the history of `records` entries.
class History
{
public:
    explicit History(int records)
    {
        if (!QFile::copy(templateFile(records), folder() + QStringLiteral("/history.sqlite")))
            throw std::runtime_error("cannot copy the template history");
    }

    QString folder() const { return m_dir.path(); }
    ImageStore imageStore() const
    {
        return ImageStore(folder() + QStringLiteral("/images"), Crypto::shared());
    }

private:
    QTemporaryDir m_dir;
};

void recordContent(benchmark::State &state)
{
    const int records = int(state.range(0));
    History history(records);
    auto container = openContainer(history.folder());
    ClipStore store(container->mainContext(), history.imageStore());
    store.maxItems = records;

    qint64 n = records;
    for (auto _ : state)
        store.recordContent(
            ClipContent::text(textNumber(++n)), QStringLiteral("org.example.Bench"));

    if (store.recentItems(records + 1).size() != std::size_t(records))
        state.SkipWithError("the history did not keep its size");
}
BENCHMARK(recordContent)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

void recentItems(benchmark::State &state)
{
    History history(10'000);
    auto container = openContainer(history.folder());
    ClipStore store(container->mainContext(), history.imageStore());

    for (auto _ : state) {
        auto items = store.recentItems(200);
        benchmark::DoNotOptimize(items);
        if (items.size() != 200)
            state.SkipWithError("fewer than 200 records");
    }
}
BENCHMARK(recentItems)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

void openStore(benchmark::State &state)
{
    History history(10'000);

    for (auto _ : state) {
        auto container = openContainer(history.folder());
        auto store = std::make_unique<ClipStore>(container->mainContext(), history.imageStore());
        benchmark::DoNotOptimize(store->nextSeq());
        // Closing is not part of opening.
        state.PauseTiming();
        store.reset();
        container.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(openStore)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    setKey();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Crypto::setShared(std::nullopt);
    return 0;
}
