// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/GlobalShortcuts.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace scrivlet {

class HotkeyGrabber;

// The palette's shortcut, system-wide: grabbed while started, grabbed anew
// when the user records another, and acting on its release. A refused grab
// is tried again every few seconds until another program lets the
// combination go.
class HotkeyManager : public QObject
{
    Q_OBJECT

public:
    HotkeyManager(GlobalShortcuts::ShortcutStore &shortcuts, HotkeyGrabber &grabber,
        std::function<void()> onTrigger, QObject *parent = nullptr);

    void start();
    // Whether the current shortcut is held by us (false when refused).
    [[nodiscard]] bool isRegistered() const { return m_registered.has_value(); }
    // Whether a shortcut is set and not held: the user has no working key.
    [[nodiscard]] bool isRefused() const { return m_refused; }
    // Tries a refused grab again now (the palette or the focus moved).
    void retry();

    static constexpr int kRetryMilliseconds = 3000;

Q_SIGNALS:
    // The shortcut became refused, or held again.
    void refusedChanged(bool refused);

private:
    void registerCurrent();
    void setRefused(bool refused);

    GlobalShortcuts::ShortcutStore &m_shortcuts;
    HotkeyGrabber &m_grabber;
    std::function<void()> m_onTrigger;
    std::optional<GlobalShortcuts::Shortcut> m_registered;
    bool m_started = false;
    bool m_refused = false;
    QTimer m_retry;
};

} // namespace scrivlet
