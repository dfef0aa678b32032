// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>
#include <optional>

namespace scrivlet {

class DesktopEntries;

// Icons of source applications, by application id, kept once found. A
// failed look-up is kept too, until forgetMisses(): every row drawn asks,
// and asking again would scan the applications folders each time.
class AppIconCache
{
public:
    explicit AppIconCache(DesktopEntries &entries);

    [[nodiscard]] std::optional<QIcon> icon(const std::optional<QString> &applicationId);
    // The next look-up of an application not found so far asks again.
    void forgetMisses() { m_misses.clear(); }

private:
    DesktopEntries &m_entries;
    QHash<QString, QIcon> m_cache;
    QSet<QString> m_misses;
};

} // namespace scrivlet
