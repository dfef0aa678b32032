// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppIconCache.h"

#include "core/desktop/DesktopEntries.h"

#include <QDir>
#include <QFileInfo>

namespace scrivlet {

AppIconCache::AppIconCache(DesktopEntries &entries)
    : m_entries(entries)
{ }

std::optional<QIcon> AppIconCache::icon(const std::optional<QString> &applicationId)
{
    if (!applicationId || applicationId->isEmpty())
        return std::nullopt;
    if (const auto cached = m_cache.constFind(*applicationId); cached != m_cache.constEnd())
        return *cached;
    if (m_misses.contains(*applicationId))
        return std::nullopt;
    const std::optional<DesktopEntries::Entry> entry = m_entries.byId(*applicationId);
    // Icon= holds a theme name, or the path of a file.
    QIcon icon;
    if (entry && !entry->icon.isEmpty())
        icon = QDir::isAbsolutePath(entry->icon)
            ? (QFileInfo::exists(entry->icon) ? QIcon(entry->icon) : QIcon())
            : QIcon::fromTheme(entry->icon);
    if (icon.isNull()) {
        m_misses.insert(*applicationId);
        return std::nullopt;
    }
    m_cache.insert(*applicationId, icon);
    return icon;
}

} // namespace scrivlet
