// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppDelegate.h"
#include "core/desktop/DisplayServer.h"
#include "core/services/ClipboardLimits.h"

#include <QString>
#include <functional>
#include <memory>

namespace scrivlet {

class DesktopEntries;
class HotkeyGrabber;
class KeyboardLayout;
class KeySender;
class Pasteboard;
class PointerButtons;
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
    // The primary selection, none where it cannot be followed (GNOME).
    [[nodiscard]] Pasteboard *selection() const;
    // Whether a pointer button is down, none where the desktop does not say.
    [[nodiscard]] PointerButtons *pointerButtons() const;
    [[nodiscard]] Workspace &workspace() const;
    [[nodiscard]] KeySender &keys() const;
    [[nodiscard]] HotkeyGrabber &hotkeys() const;
    [[nodiscard]] KeyboardLayout &keyboardLayout() const;
    // As the desktop lets Scrivlet do now: on GNOME, its Shell extension comes
    // and goes.
    [[nodiscard]] DesktopAbilities abilities() const;
    // Called after each such change.
    void onAbilitiesChanged(std::function<void()> changed);
    // GNOME: turns Scrivlet's Shell extension on; none elsewhere.
    [[nodiscard]] std::function<void()> shellExtensionEnabler() const;

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
    struct Gnome;
    void makeX11(ClipboardLimits limits, DesktopEntries &applications);
    void makeWayland(const DisplayServerChoice &session, ClipboardLimits limits);
    void makeGnome(ClipboardLimits limits);
    void gnomeChanged();

    std::unique_ptr<X11> m_x11;
    std::unique_ptr<Wayland> m_wayland;
    std::unique_ptr<Gnome> m_gnome;
    DesktopAbilities m_abilities;
    std::function<void()> m_changed;
    QString m_configFolder;
};

} // namespace scrivlet
