// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <optional>

namespace scrivlet {

class DesktopEntries;

// Icons of source applications, by application id, kept once found. A failed
// look-up is not kept: an application installed later is found next time.
class AppIconCache
{
public:
    explicit AppIconCache(DesktopEntries &entries);

    [[nodiscard]] std::optional<QIcon> icon(const std::optional<QString> &applicationId);

private:
    DesktopEntries &m_entries;
    QHash<QString, QIcon> m_cache;
};

} // namespace scrivlet
