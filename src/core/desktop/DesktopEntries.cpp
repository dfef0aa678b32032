// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <functional>

namespace scrivlet {

namespace {

std::optional<DesktopEntries::Entry> parse(const QString &path, const QString &id)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.size() > 1024LL * 1024)
        return std::nullopt;
    DesktopEntries::Entry entry;
    entry.id = id;
    entry.path = path;
    bool inMainGroup = false;
    bool isApplication = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || equals <= 0 || line.startsWith(QLatin1Char('#')))
            continue;
        // Localised keys (Name[fr]) are left to the untranslated name.
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Type"))
            isApplication = value == QLatin1String("Application");
        else if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("Icon"))
            entry.icon = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.startupWMClass = value;
        else if (key == QLatin1String("Categories"))
            entry.categories = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        else if ((key == QLatin1String("NoDisplay") || key == QLatin1String("Hidden"))
            && value == QLatin1String("true"))
            entry.hidden = true;
    }
    if (!isApplication)
        return std::nullopt;
    if (entry.name.isEmpty())
        entry.name = id;
    return entry;
}

// A folder's time and its number of entries: either moves when an
// application is installed or removed (times alone are too coarse).
qint64 stampOf(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return -1;
    const qint64 entries
        = qint64(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
    return info.lastModified().toMSecsSinceEpoch() * 4096 + entries;
}

} // namespace

QStringList DesktopEntries::defaultFolders()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders {home + QStringLiteral("/applications")};
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            folders.append(dir + QStringLiteral("/applications"));
    }
    return folders;
}

DesktopEntries::DesktopEntries(QStringList folders)
    : m_folders(std::move(folders))
{ }

void DesktopEntries::loadIfStale()
{
    // Installing or removing an application touches its folder.
    bool stale = !m_loaded;
    for (const QString &folder : std::as_const(m_folders))
        stale = stale || m_folderStamps.value(folder, -2) != stampOf(folder);
    if (!stale)
        return;
    m_loaded = true;
    m_entries.clear();
    m_folderStamps.clear();
    QSet<QString> seen;
    for (const QString &folder : std::as_const(m_folders)) {
        m_folderStamps.insert(folder, stampOf(folder));
        const QDir base(folder);
        QDirIterator it(
            folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = base.relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue; // an earlier folder's entry of the same id wins
            seen.insert(id);
            if (auto entry = parse(path, id))
                m_entries.push_back(std::move(*entry));
        }
    }
}

const std::vector<DesktopEntries::Entry> &DesktopEntries::entries()
{
    loadIfStale();
    return m_entries;
}

std::optional<DesktopEntries::Entry> DesktopEntries::byId(const QString &id)
{
    for (const Entry &entry : entries()) {
        if (entry.id == id)
            return entry;
    }
    return std::nullopt;
}

std::optional<QString> DesktopEntries::idForWindowClass(
    const QString &windowClass, const QString &instance)
{
    if (windowClass.isEmpty())
        return std::nullopt;
    const std::vector<Entry> &all = entries();
    // From the most to the least telling match.
    const std::function<bool(const Entry &)> rules[] = {
        [&](const Entry &e) { return e.startupWMClass == windowClass; },
        [&](const Entry &e) { return e.id.compare(windowClass, Qt::CaseInsensitive) == 0; },
        [&](const Entry &e) {
            return e.startupWMClass.compare(windowClass, Qt::CaseInsensitive) == 0;
        },
        [&](const Entry &e) {
            return !instance.isEmpty() && e.id.compare(instance, Qt::CaseInsensitive) == 0;
        },
        [&](const Entry &e) {
            return e.id.section(QLatin1Char('.'), -1).compare(windowClass, Qt::CaseInsensitive)
                == 0;
        },
    };
    for (const auto &rule : rules) {
        for (const Entry &entry : all) {
            if (rule(entry))
                return entry.id;
        }
    }
    return std::nullopt;
}

} // namespace scrivlet
