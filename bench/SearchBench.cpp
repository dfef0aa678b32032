// SPDX-License-Identifier: GPL-3.0-or-later
// The palette over a large history (10,000 entries unless told: the first
// argument): opening the history, the palette shown after the hotkey (the
// first time included, cold and prepared as Scrivlet prepares it), building the search index, one
// keystroke of search (three letters typed, each timed, the list redrawn) and the process's
// proportional memory once the palette has been shown. Offscreen unless
// QT_QPA_PLATFORM says otherwise.
#include "BenchRecords.h"
#include "PaletteFixture.h"
#include "core/crypto/Crypto.h"
#include "core/history/ModelContainer.h"
#include "support/ResidentMemory.h"
#include "support/TestKeys.h"
#include "ui/palette/PaletteWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace scrivlet;
using namespace scrivlet::bench;

constexpr int kRounds = 15;

// Sentences of common words, about kTextLength characters, distinct by
// their number; "caf" is in about one in four, "c" in nearly all.
QString textNumber(qint64 n)
{
    static const char *const kWords[] = {"le", "matin", "réunion", "projet", "café", "notes",
        "adresse", "envoyer", "demain", "bureau", "train", "gare", "heure", "rapport", "liste",
        "courses", "pain", "lait", "sucre", "table", "chaise", "fenêtre", "porte", "rue", "ville",
        "été", "hiver", "soleil", "pluie", "neige", "livre", "page", "mot", "phrase", "texte",
        "copie", "collé", "lien", "site", "mail"};
    constexpr int kWordCount = int(sizeof kWords / sizeof *kWords);
    quint64 state = quint64(n) * 6364136223846793005ULL + 1442695040888963407ULL;
    QString text = QString::number(n);
    while (text.size() < kTextLength) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        text += QLatin1Char(' ') + QString::fromUtf8(kWords[(state >> 33) % kWordCount]);
    }
    return text.left(kTextLength);
}

// In a child process, so that the parent's memory is that of a program
// that opened an existing history, not of one that wrote it.
void seed(const QString &folder, int records)
{
    const pid_t child = fork();
    if (child == 0) {
        Crypto::setShared(Crypto(testing::testKey(0x11)));
        auto container = ModelContainer::open(folder);
        if (!container.ok())
            _exit(1);
        ModelContext &context = container.value()->mainContext();
        insertRecords(context, records, textNumber);
        _exit(context.save().ok() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cannot seed the history\n");
        std::exit(1);
    }
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void printSpread(const char *what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    std::printf("%-40s median %7.2f ms   max %7.2f ms   (%zu runs)\n", what,
        samples[samples.size() / 2], samples.back(), samples.size());
}

} // namespace

int main(int argc, char **argv)
{
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    QTemporaryDir folder;
    seed(folder.path(), records);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Crypto::setShared(Crypto(testing::testKey(0x11)));

    QElapsedTimer timer;
    timer.start();
    auto container = ModelContainer::open(folder.path());
    if (!container.ok())
        return 1;
    ImageStore images(folder.path() + QStringLiteral("/images"), Crypto::shared());
    ClipStore store(container.value()->mainContext(), images);
    std::printf("%d entries\n", records);
    std::printf("%-40s %7.2f ms\n", "history opened", milliseconds(timer));

    DefaultsStore defaults(folder.path() + QStringLiteral("/config"));
    AppSettings settings(defaults);
    DesktopEntries entries {QStringList {}};
    AppIconCache icons(entries);
    NoPasteboard pasteboard;
    NoWorkspace workspace;
    NoKeys keys;
    const PaletteController::Services services {
        store, images, settings, defaults, pasteboard, workspace, keys, entries, icons};
    const auto show = [](PaletteController &palette) {
        QElapsedTimer shown;
        shown.start();
        palette.show();
        // Mapped and painted once: what the user waits for.
        palette.window()->repaint();
        QCoreApplication::processEvents();
        return milliseconds(shown);
    };
    {
        PaletteController cold(services);
        std::printf("%-40s %7.2f ms\n", "palette shown, first time, cold", show(cold));
    }
    // As Scrivlet does once started: made and laid out while hidden.
    PaletteController palette(services);
    timer.restart();
    palette.prepare();
    std::printf("%-40s %7.2f ms\n", "palette prepared at start-up", milliseconds(timer));
    std::printf("%-40s %7.2f ms\n", "palette shown, first time, prepared", show(palette));
    std::vector<double> shows;
    for (int i = 0; i < kRounds; ++i) {
        palette.hide();
        QCoreApplication::processEvents();
        shows.push_back(show(palette));
    }
    printSpread("palette shown again", shows);

    timer.restart();
    store.prepareSearch();
    std::printf("%-40s %7.2f ms\n", "search index built", milliseconds(timer));

    QLineEdit &search = palette.window()->searchField();
    const QStringList letters {QStringLiteral("c"), QStringLiteral("ca"), QStringLiteral("caf")};
    std::vector<std::vector<double>> typed(std::size_t(letters.size()));
    int matches = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < letters.size(); ++i) {
            QElapsedTimer keystroke;
            keystroke.start();
            search.setText(letters.at(i));
            palette.window()->list().viewport()->repaint();
            typed[std::size_t(i)].push_back(milliseconds(keystroke));
        }
        matches = palette.window()->list().model()->rowCount();
        search.clear();
        QCoreApplication::processEvents();
    }
    for (int i = 0; i < letters.size(); ++i)
        printSpread(qPrintable(QStringLiteral("keystroke \"%1\"").arg(letters.at(i))),
            typed[std::size_t(i)]);
    std::printf("%-40s %d\n", "rows listed for \"caf\"", matches);

    palette.hide();
    QCoreApplication::processEvents();
    std::printf("%-40s %7.1f MB\n", "process PSS, palette shown and searched",
        double(testing::proportionalKilobytes()) / 1024.0);
    Crypto::setShared(std::nullopt);
    return 0;
}
