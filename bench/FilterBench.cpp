// SPDX-License-Identifier: GPL-3.0-or-later
// filterClips over sealed 200-character texts: every call opens every entry.
#include "core/ClipFilter.h"
#include "core/Crypto.h"

#include <benchmark/benchmark.h>

namespace {

using namespace scrivlet;

std::vector<ClipItemPtr> makeItems(int count)
{
    std::vector<ClipItemPtr> items;
    for (int i = 0; i < count; ++i) {
        QString text = QStringLiteral("Entrée n°%1 — ").arg(i);
        while (text.size() < 200)
            text += QStringLiteral("le café de la gare ouvre à sept heures ");
        text.truncate(200);
        items.push_back(ClipItem::create());
        items.back()->setText(text);
    }
    return items;
}

void filterClipsBench(benchmark::State &state)
{
    Crypto::setShared(Crypto(SecretBytes(32)));
    const auto items = makeItems(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(filterClips(items, QStringLiteral("CAFE DE LA")));
    Crypto::setShared(std::nullopt);
}
BENCHMARK(filterClipsBench)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
