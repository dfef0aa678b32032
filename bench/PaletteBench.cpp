// SPDX-License-Identifier: GPL-3.0-or-later
// The palette with 200 entries: opening it, refiltering and redrawing on a
// keystroke, and the memory opening it adds (thumbnails included). Runs on
// the platform Qt is given (QT_QPA_PLATFORM=xcb under an X server maps a
// real window; offscreen by default).
#include "core/AppSettings.h"
#include "core/ClipStore.h"
#include "core/Crypto.h"
#include "core/DefaultsStore.h"
#include "core/DesktopEntries.h"
#include "core/ModelContainer.h"
#include "platform/KeySender.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "ui/AppIconCache.h"
#include "ui/palette/PaletteController.h"
#include "ui/palette/PaletteWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>

namespace {

using namespace scrivlet;

class NoPasteboard : public Pasteboard
{
public:
    qint64 changeCount() const override { return 0; }
    void readSnapshot(SnapshotHandler) override { }
    void write(const Representations &) override { }
};
class NoWorkspace : public Workspace
{
public:
    std::optional<QString> frontmostApplicationId() override { return std::nullopt; }
    std::optional<WindowRef> activeWindow() override { return std::nullopt; }
    void activate(quint64) override { }
};
class NoKeys : public KeySender
{
public:
    bool isTrusted() override { return false; }
    bool sendPaste(PasteKey) override { return false; }
};

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kilobytes = 0;
            status >> kilobytes;
            return kilobytes;
        }
    }
    return 0;
}

// A history of 200 entries: texts of a few lines, and one image in ten.
struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<ModelContainer> container;
    std::optional<ImageStore> images;
    std::unique_ptr<ClipStore> store;
    std::unique_ptr<DefaultsStore> defaults;
    std::unique_ptr<AppSettings> settings;
    DesktopEntries entries {QStringList {}};
    std::unique_ptr<AppIconCache> icons;
    NoPasteboard pasteboard;
    NoWorkspace workspace;
    NoKeys keys;
    std::unique_ptr<PaletteController> palette;

    Fixture()
    {
        Crypto::setShared(Crypto(SecretBytes(32)));
        container = std::move(ModelContainer::open(dir.path())).value();
        images.emplace(dir.path() + QStringLiteral("/images"), Crypto::shared());
        store = std::make_unique<ClipStore>(container->mainContext(), *images);
        for (int i = 0; i < 200; ++i) {
            if (i % 10 == 0) {
                QImage image(800, 600, QImage::Format_RGB32);
                image.fill(QColor::fromHsv(i, 200, 200));
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image.save(&buffer, "PNG");
                store->recordContent(ClipContent::image(png), std::nullopt);
            } else {
                store->recordContent(
                    ClipContent::text(QStringLiteral("Entrée %1 : le café de la gare ouvre à "
                                                     "sept heures\net ferme à vingt heures")
                                          .arg(i)),
                    std::nullopt);
            }
        }
        defaults = std::make_unique<DefaultsStore>(dir.path() + QStringLiteral("/config"));
        settings = std::make_unique<AppSettings>(*defaults);
        icons = std::make_unique<AppIconCache>(entries);
        palette = std::make_unique<PaletteController>(PaletteController::Services {
            *store, *images, *settings, *defaults, pasteboard, workspace, keys, entries, *icons});
    }
};

Fixture &fixture()
{
    static Fixture instance;
    return instance;
}

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
