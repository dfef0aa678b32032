// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace scrivlet {

// The desktop's windows and applications.
class Workspace
{
public:
    virtual ~Workspace() = default;
    // The application id of the active window: its desktop-entry id without
    // ".desktop", else its WM_CLASS class; none without an active window.
    [[nodiscard]] virtual std::optional<QString> frontmostApplicationId() = 0;
};

} // namespace scrivlet
