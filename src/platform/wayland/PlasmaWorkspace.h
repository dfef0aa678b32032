// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ToplevelWorkspace.h"

struct org_kde_plasma_window;

namespace scrivlet {

class WaylandConnection;

// The windows KWin lists through Plasma's window management, which it
// offers only to a program its installed desktop entry grants it to.
// One workspace a connection: the manager's events have one listener.
class PlasmaWorkspace : public ToplevelWorkspace
{
public:
    explicit PlasmaWorkspace(WaylandConnection &connection);
    ~PlasmaWorkspace() override;
    PlasmaWorkspace(const PlasmaWorkspace &) = delete;
    PlasmaWorkspace &operator=(const PlasmaWorkspace &) = delete;

    // Whether KWin lists its windows to us at all.
    [[nodiscard]] bool isAvailable();

    [[nodiscard]] std::optional<WindowRef> activeWindow() override;
    void activate(quint64 window) override;

private:
    struct Listeners;
    friend struct Listeners;

    void addWindow(org_kde_plasma_window *handle);

    WaylandConnection &m_connection;
    Toplevels<org_kde_plasma_window> m_windows;
    quint64 m_nextId = 1;
    bool m_listening = false;
};

} // namespace scrivlet
