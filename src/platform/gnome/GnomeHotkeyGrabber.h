// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ShellBridge.h"
#include "core/services/HotkeyGrabber.h"

#include <optional>

namespace scrivlet {

// The palette's shortcut, bound by the Shell extension. The shortcut held is
// bound again whenever the bridge attaches anew (the Shell restarted, the
// extension came back).
class GnomeHotkeyGrabber : public HotkeyGrabber
{
    Q_OBJECT

public:
    explicit GnomeHotkeyGrabber(ShellBridge &bridge, QObject *parent = nullptr);
    ~GnomeHotkeyGrabber() override;

    // The shortcut in GTK's syntax ("<Super><Shift>v"); none for a key with
    // no keysym or with Function held.
    [[nodiscard]] static std::optional<QString> accelerator(
        const GlobalShortcuts::Shortcut &shortcut);

    // False when the Shell refused it or the bridge is not attached; kept
    // either way, and bound at the next attach.
    [[nodiscard]] bool grab(const GlobalShortcuts::Shortcut &shortcut) override;
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override;
    // Tried without losing the shortcut held.
    [[nodiscard]] bool isAvailable(const GlobalShortcuts::Shortcut &shortcut) override;

private:
    void bindHeld();

    ShellBridge &m_bridge;
    std::optional<GlobalShortcuts::Shortcut> m_held;
};

} // namespace scrivlet
