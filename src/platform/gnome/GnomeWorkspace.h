// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ShellBridge.h"
#include "core/services/Workspace.h"

namespace scrivlet {

// The focused window as the Shell extension last announced it.
class GnomeWorkspace : public Workspace
{
public:
    explicit GnomeWorkspace(ShellBridge &bridge);

    [[nodiscard]] std::optional<WindowRef> activeWindow() override;
    // Asked of the Shell without waiting: the caller watches activeWindow().
    void activate(quint64 window) override;
    [[nodiscard]] std::optional<QString> frontmostApplicationId() override;

private:
    ShellBridge &m_bridge;
};

} // namespace scrivlet
