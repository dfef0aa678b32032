// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/GlobalShortcuts.h"

#include <QObject>
#include <functional>
#include <optional>

namespace scrivlet {

class HotkeyGrabber;

// The palette's shortcut, system-wide: grabbed while started, grabbed anew
// when the user records another, and acting on its release.
class HotkeyManager : public QObject
{
    Q_OBJECT

public:
    HotkeyManager(GlobalShortcuts::ShortcutStore &shortcuts, HotkeyGrabber &grabber,
        std::function<void()> onTrigger, QObject *parent = nullptr);

    void start();
    // Whether the current shortcut is held by us (false when refused).
    [[nodiscard]] bool isRegistered() const { return m_registered.has_value(); }

private:
    void registerCurrent();

    GlobalShortcuts::ShortcutStore &m_shortcuts;
    HotkeyGrabber &m_grabber;
    std::function<void()> m_onTrigger;
    std::optional<GlobalShortcuts::Shortcut> m_registered;
    bool m_started = false;
};

} // namespace scrivlet
