// SPDX-License-Identifier: GPL-3.0-or-later
#include "GnomeWorkspace.h"

namespace scrivlet {

GnomeWorkspace::GnomeWorkspace(ShellBridge &bridge)
    : m_bridge(bridge)
{ }

std::optional<WindowRef> GnomeWorkspace::activeWindow()
{
    return m_bridge.focusedWindow();
}

void GnomeWorkspace::activate(quint64 window)
{
    // Not attached, nothing is asked; the window stays behind, as the
    // caller sees.
    m_bridge.activateWindow(window);
}

std::optional<QString> GnomeWorkspace::frontmostApplicationId()
{
    const std::optional<WindowRef> window = m_bridge.focusedWindow();
    if (!window)
        return std::nullopt;
    if (window->applicationId)
        return window->applicationId;
    if (!window->windowClass.isEmpty())
        return window->windowClass;
    return std::nullopt;
}

} // namespace scrivlet
