// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppDelegate.h"
#include "core/desktop/DisplayServer.h"
#include "core/services/ClipboardLimits.h"

#include <QString>
#include <memory>

namespace scrivlet {

class DesktopEntries;
class HotkeyGrabber;
class KeyboardLayout;
class KeySender;
class Pasteboard;
class Workspace;

// The clipboard, keystroke, window and shortcut services of this session,
// X11 or Wayland, made once at start and kept until the end.
class DesktopSession
{
public:
    DesktopSession(const DisplayServerChoice &session, ClipboardLimits limits,
        DesktopEntries &applications, QString configFolder);
    ~DesktopSession();
    DesktopSession(const DesktopSession &) = delete;
    DesktopSession &operator=(const DesktopSession &) = delete;

    [[nodiscard]] Pasteboard &pasteboard() const;
    [[nodiscard]] Workspace &workspace() const;
    [[nodiscard]] KeySender &keys() const;
    [[nodiscard]] HotkeyGrabber &hotkeys() const;
    [[nodiscard]] KeyboardLayout &keyboardLayout() const;
    [[nodiscard]] DesktopAbilities abilities() const { return m_abilities; }

    // What KWin withholds, as `abilities().withheld` lists it: the paste
    // keyboard and the window list come only to a program its installed
    // desktop entry grants them to.
    struct KwinGrants
    {
        bool fakeInput = false; // or any other keyboard of the seat
        bool windowManagement = false; // or any other list of windows
        bool portalKeys = false; // the RemoteDesktop portal stands in for fake input
        QString executable; // this program's real path, which the entry must name
    };
    [[nodiscard]] static QStringList withheldBy(const KwinGrants &grants);

    // X11 only: takes the clipboard of programs that quit (the clipboard
    // manager's role), answering through `delegate`.
    void keepClipboardsFor(AppDelegate &delegate);

private:
    struct X11;
    struct Wayland;
    void makeX11(ClipboardLimits limits, DesktopEntries &applications);
    void makeWayland(const DisplayServerChoice &session, ClipboardLimits limits);

    std::unique_ptr<X11> m_x11;
    std::unique_ptr<Wayland> m_wayland;
    DesktopAbilities m_abilities;
    QString m_configFolder;
};

} // namespace scrivlet
