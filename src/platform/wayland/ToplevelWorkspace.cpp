// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToplevelWorkspace.h"

#include "core/Paths.h"

namespace scrivlet {

std::optional<QString> ToplevelWorkspace::frontmostApplicationId()
{
    const std::optional<WindowRef> window = activeWindow();
    return window ? window->applicationId : std::nullopt;
}

std::optional<WindowRef> ToplevelWorkspace::refOf(const ToplevelState &toplevel)
{
    // Our own windows (the palette) are never the window to paste into.
    if (toplevel.appId == QLatin1String(paths::kApplicationId))
        return std::nullopt;
    // Compositors give the desktop entry's file name where they know it.
    QString id = toplevel.appId;
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return WindowRef {
        toplevel.id, id.isEmpty() ? std::nullopt : std::optional<QString>(id), toplevel.appId};
}

} // namespace scrivlet
