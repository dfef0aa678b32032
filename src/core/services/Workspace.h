// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace scrivlet {

// A window of another application, as the desktop knows it.
struct WindowRef
{
    quint64 id = 0;
    std::optional<QString> applicationId;
    QString windowClass; // WM_CLASS class, for telling terminals apart
};

// The desktop's windows and applications.
class Workspace
{
public:
    virtual ~Workspace() = default;
    // The active window; none when there is none.
    [[nodiscard]] virtual std::optional<WindowRef> activeWindow() = 0;
    // Asks the window manager to activate and focus the window.
    virtual void activate(quint64 window) = 0;
    // The application id of the active window: its desktop-entry id without
    // ".desktop", else its WM_CLASS class; none without an active window.
    [[nodiscard]] virtual std::optional<QString> frontmostApplicationId() = 0;
};

} // namespace scrivlet
