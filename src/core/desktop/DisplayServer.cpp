// SPDX-License-Identifier: GPL-3.0-or-later
#include "DisplayServer.h"

namespace scrivlet {

bool DisplayServerChoice::isGnome() const
{
    return desktop.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0
        || desktop.endsWith(QLatin1String("-GNOME"), Qt::CaseInsensitive)
        || desktop.compare(QLatin1String("ubuntu"), Qt::CaseInsensitive) == 0;
}

bool DisplayServerChoice::isKde() const
{
    return desktop.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0;
}

DisplayServerChoice chooseDisplayServer(const QProcessEnvironment &environment)
{
    DisplayServerChoice session;
    session.desktop = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                          .section(QLatin1Char(':'), 0, 0)
                          .trimmed();
    const QString wayland = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    const bool hasX11 = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    const QString asked = environment.value(QStringLiteral("SCRIVLET_DISPLAY")).toLower();

    if (asked == QLatin1String("x11")) {
        if (hasX11)
            session.server = DisplayServer::x11;
        else
            session.reason = QStringLiteral("SCRIVLET_DISPLAY=x11, but DISPLAY is not set");
        return session;
    }
    if (!wayland.isEmpty()) {
        session.server = DisplayServer::wayland;
        return session;
    }
    if (hasX11) {
        session.server = DisplayServer::x11;
        return session;
    }
    session.reason = QStringLiteral("neither WAYLAND_DISPLAY nor DISPLAY is set");
    return session;
}

} // namespace scrivlet
