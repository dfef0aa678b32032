// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace scrivlet {

// Which display server Scrivlet speaks to, from the session's environment.
enum class DisplayServer { none, x11, wayland };

struct DisplayServerChoice
{
    DisplayServer server = DisplayServer::none;
    // The desktop's name as it gives it (XDG_CURRENT_DESKTOP's first entry),
    // for messages and for what only some desktops offer.
    QString desktop;
    // Why no display server was chosen; empty when one was.
    QString reason;

    [[nodiscard]] bool isGnome() const;
    // Plasma: KWin and KDE's own services.
    [[nodiscard]] bool isKde() const;
};

// A Wayland session is spoken to natively; an X11 one, or a Wayland session
// where SCRIVLET_DISPLAY=x11 asks for it (through Xwayland), over X11.
[[nodiscard]] DisplayServerChoice chooseDisplayServer(const QProcessEnvironment &environment);

} // namespace scrivlet
