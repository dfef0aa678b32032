// SPDX-License-Identifier: GPL-3.0-or-later
// filterClips over sealed 200-character texts: every call opens every entry.
#include "core/crypto/Crypto.h"
#include "core/filter/ClipFilter.h"

#include <benchmark/benchmark.h>

namespace {

using namespace scrivlet;

std::vector<ClipItemPtr> makeItems(int count, const QString &filler)
{
    std::vector<ClipItemPtr> items;
    for (int i = 0; i < count; ++i) {
        QString text = QStringLiteral("Entrée n°%1 — ").arg(i);
        while (text.size() < 200)
            text += filler;
        text.truncate(200);
        items.push_back(ClipItem::create());
        items.back()->setText(text);
    }
    return items;
}

void run(benchmark::State &state, const QString &filler, const QString &query)
{
    Crypto::setShared(Crypto(SecretBytes(32)));
    const auto items = makeItems(int(state.range(0)), filler);
    for (auto _ : state)
        benchmark::DoNotOptimize(filterClips(items, query));
    Crypto::setShared(std::nullopt);
}

// Accented Latin: decomposed, stripped, nothing to recompose.
void filterClipsBench(benchmark::State &state)
{
    run(state, QStringLiteral("le café de la gare ouvre à sept heures "),
        QStringLiteral("CAFE DE LA"));
}
BENCHMARK(filterClipsBench)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond);

// Hangul and kana with voicing marks: decomposed and recomposed.
void filterClipsCjkBench(benchmark::State &state)
{
    run(state, QStringLiteral("서울역에서 만나요 がぎぐげご ばびぶべぼ "), QStringLiteral("만나"));
}
BENCHMARK(filterClipsCjkBench)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
