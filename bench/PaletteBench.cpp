// SPDX-License-Identifier: GPL-3.0-or-later
// The palette with 200 entries: opening it, refiltering and redrawing on a
// keystroke, and the memory opening it adds (thumbnails included). Runs on
// the platform Qt is given (QT_QPA_PLATFORM=xcb under an X server maps a
// real window; offscreen by default).
#include "PaletteFixture.h"
#include "core/crypto/Crypto.h"
#include "ui/palette/PaletteWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <benchmark/benchmark.h>

namespace {

using namespace scrivlet;
using namespace scrivlet::bench;

void showPalette(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        f.palette->show();
        // Mapped and painted once: what the user waits for.
        f.palette->window()->repaint();
        QCoreApplication::processEvents();
        state.PauseTiming();
        f.palette->hide();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(showPalette)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void keystroke(benchmark::State &state)
{
    Fixture &f = fixture();
    f.palette->show();
    QLineEdit &search = f.palette->window()->searchField();
    const QStringList queries {
        QStringLiteral("c"), QStringLiteral("ca"), QStringLiteral("caf"), QStringLiteral("cafe")};
    int i = 0;
    for (auto _ : state) {
        search.setText(queries.at(i++ % queries.size()));
        f.palette->window()->list().viewport()->repaint();
    }
    f.palette->hide();
}
BENCHMARK(keystroke)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Fixture &f = fixture();
    const long before = residentKilobytes();
    f.palette->show();
    f.palette->window()->repaint();
    // Every row drawn once, so every thumbnail is decoded.
    for (int row = 0; row < 200; row += 4) {
        f.palette->window()->list().scrollTo(f.palette->window()->list().model()->index(row, 0));
        f.palette->window()->list().viewport()->repaint();
    }
    const long after = residentKilobytes();
    f.palette->hide();
    std::printf("memory added by opening the palette with 200 entries: %.1f MB\n",
        double(after - before) / 1024.0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Crypto::setShared(std::nullopt);
    return 0;
}
