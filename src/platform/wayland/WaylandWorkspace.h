// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Workspace.h"

#include <QHash>

struct zwlr_foreign_toplevel_handle_v1;

namespace scrivlet {

class WaylandConnection;

// The windows the compositor lists through wlr foreign toplevel management.
// Compositors without it (KWin 5.27, GNOME) tell nothing: no active window.
// One workspace a connection: the manager's events have one listener.
class WaylandWorkspace : public Workspace
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
    [[nodiscard]] std::optional<QString> frontmostApplicationId() override;

private:
    struct Toplevel
    {
        quint64 id = 0;
        // As last completed by a "done" event; the pending ones come before it.
        QString appId, title, pendingAppId, pendingTitle;
        bool activated = false, pendingActivated = false;
    };
    struct Listeners;
    friend struct Listeners;

    WaylandConnection &m_connection;
    QHash<zwlr_foreign_toplevel_handle_v1 *, Toplevel> m_toplevels;
    quint64 m_nextId = 1;
    bool m_finished = false;
};

} // namespace scrivlet
