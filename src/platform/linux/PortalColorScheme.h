// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/ColorScheme.h"

#include <QDBusVariant>

namespace scrivlet {

// The desktop portal's "color-scheme" setting (0 no preference, 1 dark,
// 2 light), followed as it changes.
class PortalColorScheme : public ColorScheme
{
    Q_OBJECT

public:
    explicit PortalColorScheme(QObject *parent = nullptr);

    [[nodiscard]] std::optional<bool> prefersDark() override { return m_prefersDark; }

private Q_SLOTS:
    void onSettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    std::optional<bool> m_prefersDark;
};

} // namespace scrivlet
