// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Workspace.h"

#include <QHash>
#include <xcb/xcb.h>

namespace scrivlet {

class DesktopEntries;

// The active window as the window manager announces it (_NET_ACTIVE_WINDOW),
// named by its application's desktop entry where one can be found. The
// desktop and docks are never the active window here: a paste there would
// drop files on the desktop or type into a panel.
class X11Workspace : public Workspace
{
public:
    X11Workspace(xcb_connection_t *connection, DesktopEntries &entries);

    [[nodiscard]] std::optional<QString> frontmostApplicationId() override;
    [[nodiscard]] std::optional<WindowRef> activeWindow() override;
    void activate(quint64 window) override;

    [[nodiscard]] std::optional<QString> applicationIdOf(xcb_window_t window);

private:
    // The window named by _NET_ACTIVE_WINDOW, or 0.
    [[nodiscard]] xcb_window_t activeWindowId();
    [[nodiscard]] QString windowClassOf(xcb_window_t window);
    // The desktop's background and its panels: never a paste target.
    [[nodiscard]] bool isDesktopOrDock(xcb_window_t window);

    [[nodiscard]] xcb_atom_t atom(const char *name);
    [[nodiscard]] QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type);

    xcb_connection_t *m_connection;
    // Interned once: every copy asks for the active window's properties.
    QHash<QByteArray, xcb_atom_t> m_atoms;
    DesktopEntries &m_entries;
    xcb_window_t m_root = 0;
};

} // namespace scrivlet
