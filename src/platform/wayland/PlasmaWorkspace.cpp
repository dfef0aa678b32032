// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlasmaWorkspace.h"

#include "WaylandConnection.h"
#include "plasma-window-management-client.h"

#include <wayland-client.h>

namespace scrivlet {

struct PlasmaWorkspace::Listeners
{
    static PlasmaWorkspace *self(void *data) { return static_cast<PlasmaWorkspace *>(data); }

    static void showDesktop(void *, org_kde_plasma_window_management *, uint32_t) { }
    // Before version 13 windows come by number only; from it, by uuid too,
    // and the number is then the deprecated twin of the same window.
    static void window(void *data, org_kde_plasma_window_management *manager, uint32_t id)
    {
        if (self(data) && self(data)->m_connection.windowManagementVersion() < 13)
            self(data)->addWindow(org_kde_plasma_window_management_get_window(manager, id));
    }
    static void windowWithUuid(
        void *data, org_kde_plasma_window_management *manager, uint32_t, const char *uuid)
    {
        // After the workspace went away no window is asked for.
        if (self(data))
            self(data)->addWindow(
                org_kde_plasma_window_management_get_window_by_uuid(manager, uuid));
    }
    static void stackingOrder(void *, org_kde_plasma_window_management *, wl_array *) { }
    static void stackingOrderUuid(void *, org_kde_plasma_window_management *, const char *) { }

    static void appId(void *data, org_kde_plasma_window *handle, const char *appId)
    {
        if (const auto found = self(data)->m_windows.find(handle);
            found != self(data)->m_windows.end())
            found->appId = QString::fromUtf8(appId);
    }
    static void state(void *data, org_kde_plasma_window *handle, uint32_t flags)
    {
        if (const auto found = self(data)->m_windows.find(handle);
            found != self(data)->m_windows.end())
            found->active = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
    }
    static void unmapped(void *data, org_kde_plasma_window *handle)
    {
        self(data)->m_windows.remove(handle);
        org_kde_plasma_window_destroy(handle);
    }
    static void text(void *, org_kde_plasma_window *, const char *) { }
    static void number(void *, org_kde_plasma_window *, int32_t) { }
    static void count(void *, org_kde_plasma_window *, uint32_t) { }
    static void nothing(void *, org_kde_plasma_window *) { }
    static void parent(void *, org_kde_plasma_window *, org_kde_plasma_window *) { }
    static void geometry(void *, org_kde_plasma_window *, int32_t, int32_t, uint32_t, uint32_t) { }
    static void menu(void *, org_kde_plasma_window *, const char *, const char *) { }

    static constexpr org_kde_plasma_window_management_listener managerListener {
        showDesktop, window, stackingOrder, stackingOrderUuid, windowWithUuid};
    static constexpr org_kde_plasma_window_listener windowListener {text, appId, state, number,
        text, unmapped, nothing, parent, geometry, nothing, count, text, text, menu, text, text,
        text};
};

PlasmaWorkspace::PlasmaWorkspace(WaylandConnection &connection)
    : m_connection(connection)
{
    org_kde_plasma_window_management *manager = m_connection.windowManagement();
    if (!manager)
        return;
    // Fails when another workspace listens on this connection.
    m_listening
        = org_kde_plasma_window_management_add_listener(manager, &Listeners::managerListener, this)
        == 0;
    // The windows that exist now, then each one's details.
    if (m_listening && m_connection.roundtrip())
        (void)m_connection.roundtrip();
}

PlasmaWorkspace::~PlasmaWorkspace()
{
    for (auto it = m_windows.cbegin(); it != m_windows.cend(); ++it)
        org_kde_plasma_window_destroy(it.key());
    // The manager belongs to the connection, which may outlive us, and has no
    // request to stop: windows announced later are left unasked for.
    if (org_kde_plasma_window_management *manager = m_connection.windowManagement();
        manager && m_listening)
        wl_proxy_set_user_data(reinterpret_cast<wl_proxy *>(manager), nullptr);
    m_connection.flush();
}

void PlasmaWorkspace::addWindow(org_kde_plasma_window *handle)
{
    ToplevelState fresh;
    fresh.id = m_nextId++;
    m_windows.insert(handle, fresh);
    org_kde_plasma_window_add_listener(handle, &Listeners::windowListener, this);
}

bool PlasmaWorkspace::isAvailable()
{
    return m_listening && m_connection.windowManagement();
}

std::optional<WindowRef> PlasmaWorkspace::activeWindow()
{
    if (!isAvailable())
        return std::nullopt;
    // Focus may have moved since the last events were read.
    (void)m_connection.roundtrip();
    if (!isAvailable())
        return std::nullopt;
    return activeAmong(m_windows);
}

void PlasmaWorkspace::activate(quint64 window)
{
    if (!isAvailable() || !window)
        return;
    if (org_kde_plasma_window *handle = handleOf(m_windows, window)) {
        org_kde_plasma_window_set_state(handle, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE,
            ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
        m_connection.flush();
    }
}

} // namespace scrivlet
