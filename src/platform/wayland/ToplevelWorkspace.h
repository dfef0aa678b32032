// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Workspace.h"

#include <QHash>

namespace scrivlet {

// What a window list of the compositor tells of one window.
struct ToplevelState
{
    quint64 id = 0; // ours, never reused while the workspace lasts
    QString appId;
    bool active = false;
};

// What the Wayland workspaces share, whichever protocol lists the windows:
// how a window's app id names its application, and that our own windows are
// never the one in front.
class ToplevelWorkspace : public Workspace
{
public:
    [[nodiscard]] std::optional<QString> frontmostApplicationId() override;

protected:
    template<typename Handle>
    using Toplevels = QHash<Handle *, ToplevelState>;

    template<typename Handle>
    [[nodiscard]] static std::optional<WindowRef> activeAmong(const Toplevels<Handle> &toplevels)
    {
        for (const ToplevelState &toplevel : toplevels) {
            if (toplevel.active)
                return refOf(toplevel);
        }
        return std::nullopt;
    }
    // Null when no window has the id (any more).
    template<typename Handle>
    [[nodiscard]] static Handle *handleOf(const Toplevels<Handle> &toplevels, quint64 id)
    {
        for (auto it = toplevels.cbegin(); it != toplevels.cend(); ++it) {
            if (it.value().id == id)
                return it.key();
        }
        return nullptr;
    }

private:
    [[nodiscard]] static std::optional<WindowRef> refOf(const ToplevelState &toplevel);
};

} // namespace scrivlet
