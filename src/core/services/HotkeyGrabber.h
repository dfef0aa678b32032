// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/Shortcut.h"

#include <QObject>

namespace scrivlet {

// System-wide key combinations, delivered whatever window has the focus.
class HotkeyGrabber : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // False when the combination cannot be had: another program holds it, or
    // the key has no place on this keyboard, or a modifier has no equivalent.
    [[nodiscard]] virtual bool grab(const GlobalShortcuts::Shortcut &shortcut) = 0;
    virtual void ungrab(const GlobalShortcuts::Shortcut &shortcut) = 0;
    // Whether grab() would succeed, for a combination we do not hold: tried,
    // then let go.
    [[nodiscard]] virtual bool isAvailable(const GlobalShortcuts::Shortcut &shortcut)
    {
        if (!grab(shortcut))
            return false;
        ungrab(shortcut);
        return true;
    }

    // How the desktop shows the key it bound for us, where the desktop, not
    // Scrivlet, decides it; empty otherwise.
    [[nodiscard]] virtual QString triggerDescription() const { return {}; }

Q_SIGNALS:
    void triggerChanged();
    // Once per press and once per release; key repeat is not a press.
    void pressed(const GlobalShortcuts::Shortcut &shortcut);
    void released(const GlobalShortcuts::Shortcut &shortcut);
};

} // namespace scrivlet
