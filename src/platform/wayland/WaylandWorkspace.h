// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ToplevelWorkspace.h"

struct zwlr_foreign_toplevel_handle_v1;

namespace scrivlet {

class WaylandConnection;

// The windows the compositor lists through wlr foreign toplevel management.
// Compositors without it (KWin 5.27, GNOME) tell nothing: no active window.
// One workspace a connection: the manager's events have one listener.
class WaylandWorkspace : public ToplevelWorkspace
{
public:
    explicit WaylandWorkspace(WaylandConnection &connection);
    ~WaylandWorkspace() override;
    WaylandWorkspace(const WaylandWorkspace &) = delete;
    WaylandWorkspace &operator=(const WaylandWorkspace &) = delete;

    // Whether the compositor tells the active window at all; without it the
    // excluded applications cannot apply.
    [[nodiscard]] bool isAvailable() const;

    [[nodiscard]] std::optional<WindowRef> activeWindow() override;
    void activate(quint64 window) override;

private:
    // What comes before a "done" event, which completes it.
    struct Pending
    {
        QString appId;
        bool active = false;
    };
    struct Listeners;
    friend struct Listeners;

    WaylandConnection &m_connection;
    Toplevels<zwlr_foreign_toplevel_handle_v1> m_toplevels;
    QHash<zwlr_foreign_toplevel_handle_v1 *, Pending> m_pending;
    quint64 m_nextId = 1;
    bool m_finished = false;
};

} // namespace scrivlet
