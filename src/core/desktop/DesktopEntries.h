// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace scrivlet {

// The installed applications, from the desktop entries in the XDG data
// folders. An application's id is its desktop-file id without ".desktop".
class DesktopEntries
{
public:
    struct Entry
    {
        QString id;
        QString name;
        QString icon;
        QString startupWMClass;
        QStringList categories;
        QString path;
        bool hidden = false; // NoDisplay or Hidden: installed, not offered
    };

    // The applications folders in precedence order: $XDG_DATA_HOME first,
    // then $XDG_DATA_DIRS.
    static QStringList defaultFolders();

    explicit DesktopEntries(QStringList folders = defaultFolders());

    [[nodiscard]] const std::vector<Entry> &entries();
    [[nodiscard]] std::optional<Entry> byId(const QString &id);
    // The id of the application whose windows carry this WM_CLASS.
    [[nodiscard]] std::optional<QString> idForWindowClass(
        const QString &windowClass, const QString &instance = {});

private:
    void loadIfStale();

    QStringList m_folders;
    std::vector<Entry> m_entries;
    QHash<QString, qint64> m_folderStamps;
    bool m_loaded = false;
};

} // namespace scrivlet
