// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/HotkeyGrabber.h"

#include <QDBusConnection>
#include <QString>
#include <optional>

class QDBusMessage;

namespace scrivlet {

struct PortalAnswer;

// The palette's shortcut through the desktop portal's GlobalShortcuts, for
// Wayland desktops where no program may grab keys itself. The desktop has the
// last word: it may ask the user, bind another trigger, or refuse; its answer
// comes after grab() has returned.
class PortalHotkeyGrabber : public HotkeyGrabber
{
    Q_OBJECT

public:
    explicit PortalHotkeyGrabber(QObject *parent = nullptr);
    ~PortalHotkeyGrabber() override;

    // Whether the session's portal offers GlobalShortcuts; waits at most a
    // second for an answer.
    [[nodiscard]] static bool isOffered();
    // The shortcut in the portal's trigger format, "SHIFT+LOGO+v"; none for
    // a key without a name there or a modifier without an equivalent.
    [[nodiscard]] static std::optional<QString> portalTrigger(
        const GlobalShortcuts::Shortcut &shortcut);

    // True once the binding is asked; a refusal arrives later and is logged.
    [[nodiscard]] bool grab(const GlobalShortcuts::Shortcut &shortcut) override;
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override;
    // The desktop decides, and asking may show the user a dialog: no trial.
    [[nodiscard]] bool isAvailable(const GlobalShortcuts::Shortcut &) override { return true; }

    // The trigger the desktop bound, in its words; empty until it says.
    [[nodiscard]] QString triggerDescription() const override { return m_triggerDescription; }

private Q_SLOTS:
    void onActivated(const QDBusMessage &message);
    void onDeactivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);

private:
    void createSession();
    void bindShortcut(quint64 generation);
    void closeSession();
    void refuse(const QString &reason);
    void takeBoundShortcuts(const QVariant &shortcuts);
    void setTriggerDescription(const QString &description);
    [[nodiscard]] bool isOurs(const QDBusMessage &message) const;

    QDBusConnection m_bus;
    std::optional<GlobalShortcuts::Shortcut> m_shortcut;
    QString m_session;
    bool m_creating = false;
    // Answers to requests made before the last ungrab are stale.
    quint64 m_generation = 0;
    bool m_held = false;
    QString m_triggerDescription;
};

} // namespace scrivlet
