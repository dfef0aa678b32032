// SPDX-License-Identifier: GPL-3.0-or-later
// defaults.json is a file the user, or any program of theirs, may edit:
// loading it and reading every preference must give values of their types,
// writing the preferences back must keep every other key, and an unreadable
// file must be kept aside unchanged.
#include "core/desktop/DesktopEntries.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "core/settings/PasteKeys.h"
#include "core/shortcuts/GlobalShortcuts.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace scrivlet;
using namespace scrivlet::GlobalShortcuts;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QTemporaryDir *folder;

// What AppSettings writes back.
const QStringList kWritten = {QStringLiteral("historyLimit"), QStringLiteral("retentionDays"),
    QStringLiteral("captureEnabled"), QStringLiteral("excludedApps"),
    QStringLiteral("pasteOnSingleClick"), QStringLiteral("appearance"),
    QStringLiteral("accentColorID"), QStringLiteral("language"), QStringLiteral("AppleLanguages")};

struct Preferences
{
    qint64 historyLimit;
    qint64 retentionDays;
    bool captureEnabled;
    QStringList excludedApps;
    bool pasteOnSingleClick;
    QString appearance;
    QString accentColorID;
    QString language;

    explicit Preferences(const AppSettings &s)
        : historyLimit(s.historyLimit())
        , retentionDays(s.retentionDays())
        , captureEnabled(s.captureEnabled())
        , excludedApps(s.excludedApps())
        , pasteOnSingleClick(s.pasteOnSingleClick())
        , appearance(s.appearance())
        , accentColorID(s.accentColorID())
        , language(s.language())
    { }
    bool operator==(const Preferences &) const = default;
};

void readEverything(DefaultsStore &store, const AppSettings &settings)
{
    // Whole numbers that a JSON double holds exactly.
    for (const qint64 number : {settings.historyLimit(), settings.retentionDays()})
        check(number >= -9'000'000'000'000'000 && number <= 9'000'000'000'000'000);
    const AccentChoice &accent = AccentChoice::by(settings.accentColorID());
    check(accent.id == settings.accentColorID() || accent.id == QLatin1String("system"));

    DesktopEntries noEntries(QStringList {});
    const QJsonObject overrides = store.value(QStringLiteral("pasteKeys")).toObject();
    for (const QString &id : overrides.keys().mid(0, 32)) {
        const PasteKey key = pasteKeyFor(id, QString(), noEntries, store);
        check(
            key == PasteKey::ctrlV || key == PasteKey::ctrlShiftV || key == PasteKey::shiftInsert);
        if (const auto chosen = pasteKeyFromName(overrides.value(id).toString()))
            check(key == *chosen);
    }

    const ShortcutStore shortcuts(store);
    for (const QString &name : shortcuts.allNames().mid(0, 32)) {
        if (const auto shortcut = shortcuts.shortcut(name))
            check((shortcut->carbonModifiers & ~Modifier::known) == 0
                && shortcut->carbonKeyCode >= 0 && shortcut->carbonKeyCode <= 1023);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // tmpfs when there is one: every input is written, then rewritten.
    const QString base
        = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    folder = new QTemporaryDir(base + QStringLiteral("/defaults_fuzz-XXXXXX"));
    check(folder->isValid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QDir dir(folder->path());
    for (const QString &left : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(left);
    QFile file(dir.filePath(QLatin1String(DefaultsStore::kFileName)));
    check(file.open(QIODevice::WriteOnly) && file.write(input) == input.size());
    file.close();

    QJsonObject before;
    std::optional<Preferences> read;
    {
        DefaultsStore store(folder->path());
        if (!store.setAsidePath().isEmpty()) {
            QFile aside(store.setAsidePath());
            check(aside.open(QIODevice::ReadOnly) && aside.readAll() == input);
            // Replaced by a file that names the copy, and nothing else.
            check(store.keys() == QStringList {QLatin1String(DefaultsStore::kReplacedKey)});
            check(store.value(QLatin1String(DefaultsStore::kReplacedKey)).toString()
                == store.setAsidePath());
        }
        for (const QString &key : store.keys())
            before.insert(key, store.value(key));

        AppSettings settings(store, [](AppAppearance appearance) {
            check(appearance == AppAppearance::system || appearance == AppAppearance::light
                || appearance == AppAppearance::dark);
        });
        readEverything(store, settings);
        read.emplace(settings);

        settings.setHistoryLimit(read->historyLimit);
        settings.setRetentionDays(read->retentionDays);
        settings.setCaptureEnabled(read->captureEnabled);
        settings.setExcludedApps(read->excludedApps);
        settings.setPasteOnSingleClick(read->pasteOnSingleClick);
        settings.setAppearance(read->appearance);
        settings.setAccentColorID(read->accentColorID);
        settings.setLanguage(read->language);
        check(Preferences(settings) == *read);
    }

    // What was written reads back the same, beside every key it did not own.
    DefaultsStore again(folder->path());
    check(again.setAsidePath().isEmpty());
    AppSettings settings(again);
    check(Preferences(settings) == *read);
    for (const QString &key : before.keys()) {
        if (!kWritten.contains(key))
            check(again.value(key) == before.value(key));
    }
    return 0;
}
