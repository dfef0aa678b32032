// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandWorkspace.h"

#include "WaylandConnection.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

#include <wayland-client.h>

namespace scrivlet {

struct WaylandWorkspace::Listeners
{
    static Pending *find(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
    {
        auto *self = static_cast<WaylandWorkspace *>(data);
        const auto found = self->m_pending.find(handle);
        return found == self->m_pending.end() ? nullptr : &found.value();
    }

    static void toplevel(
        void *data, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *handle)
    {
        auto *self = static_cast<WaylandWorkspace *>(data);
        if (!self) { // after the workspace went away
            zwlr_foreign_toplevel_handle_v1_destroy(handle);
            return;
        }
        ToplevelState fresh;
        fresh.id = self->m_nextId++;
        self->m_toplevels.insert(handle, fresh);
        self->m_pending.insert(handle, {});
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, self);
    }
    // The manager itself is the connection's to destroy.
    static void finished(void *data, zwlr_foreign_toplevel_manager_v1 *)
    {
        if (auto *self = static_cast<WaylandWorkspace *>(data))
            self->m_finished = true;
    }

    static void title(void *, zwlr_foreign_toplevel_handle_v1 *, const char *) { }
    static void appId(void *data, zwlr_foreign_toplevel_handle_v1 *handle, const char *appId)
    {
        if (Pending *pending = find(data, handle))
            pending->appId = QString::fromUtf8(appId);
    }
    static void output(void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) { }
    static void state(void *data, zwlr_foreign_toplevel_handle_v1 *handle, wl_array *states)
    {
        Pending *pending = find(data, handle);
        if (!pending)
            return;
        pending->active = false;
        const auto *values = static_cast<const uint32_t *>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
            if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
                pending->active = true;
        }
    }
    static void done(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
    {
        auto *self = static_cast<WaylandWorkspace *>(data);
        const Pending *pending = find(data, handle);
        const auto toplevel = self->m_toplevels.find(handle);
        if (pending && toplevel != self->m_toplevels.end()) {
            toplevel->appId = pending->appId;
            toplevel->active = pending->active;
        }
    }
    static void closed(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
    {
        auto *self = static_cast<WaylandWorkspace *>(data);
        self->m_toplevels.remove(handle);
        self->m_pending.remove(handle);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    }
    static void parent(void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *)
    { }

    static constexpr zwlr_foreign_toplevel_manager_v1_listener managerListener {toplevel, finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener handleListener {
        title, appId, output, output, state, done, closed, parent};
};

WaylandWorkspace::WaylandWorkspace(WaylandConnection &connection)
    : m_connection(connection)
{
    zwlr_foreign_toplevel_manager_v1 *manager = m_connection.toplevelManager();
    if (!manager)
        return;
    if (zwlr_foreign_toplevel_manager_v1_add_listener(manager, &Listeners::managerListener, this)
        != 0) {
        m_finished = true; // another workspace listens on this connection
        return;
    }
    // The windows that exist now, each with its details.
    (void)m_connection.roundtrip();
}

WaylandWorkspace::~WaylandWorkspace()
{
    for (auto it = m_toplevels.cbegin(); it != m_toplevels.cend(); ++it)
        zwlr_foreign_toplevel_handle_v1_destroy(it.key());
    if (zwlr_foreign_toplevel_manager_v1 *manager = m_connection.toplevelManager();
        manager && !m_finished) {
        // The manager belongs to the connection, which may outlive us: listen no more.
        zwlr_foreign_toplevel_manager_v1_stop(manager);
        wl_proxy_set_user_data(reinterpret_cast<wl_proxy *>(manager), nullptr);
    }
}

bool WaylandWorkspace::isAvailable() const
{
    return m_connection.toplevelManager() && !m_finished;
}

std::optional<WindowRef> WaylandWorkspace::activeWindow()
{
    if (!isAvailable())
        return std::nullopt;
    // Focus may have moved since the last events were read.
    (void)m_connection.roundtrip();
    if (!isAvailable())
        return std::nullopt;
    return activeAmong(m_toplevels);
}

void WaylandWorkspace::activate(quint64 window)
{
    if (!isAvailable() || !m_connection.seat() || !window)
        return;
    if (zwlr_foreign_toplevel_handle_v1 *handle = handleOf(m_toplevels, window)) {
        zwlr_foreign_toplevel_handle_v1_activate(handle, m_connection.seat());
        m_connection.flush();
    }
}

} // namespace scrivlet
