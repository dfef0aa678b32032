// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/HotkeyGrabber.h"

#include <QDBusConnection>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QDBusMessage;

namespace scrivlet {

// The palette's shortcut through KDE's global shortcut service, where it is
// listed among the desktop's shortcuts and may be bound anew there. The
// desktop's binding wins over ours, until the user records another key in
// Scrivlet.
class KGlobalAccelHotkeyGrabber : public HotkeyGrabber
{
    Q_OBJECT

public:
    explicit KGlobalAccelHotkeyGrabber(QObject *parent = nullptr);
    ~KGlobalAccelHotkeyGrabber() override;

    // Whether the session bus has the service (KWin holds it on Plasma 6).
    [[nodiscard]] static bool isOffered();
    // The shortcut as the service's key: a Qt key and its modifiers, as KWin
    // reports a press on a US layout; none for a key without an equivalent.
    [[nodiscard]] static std::optional<int> qtKey(const GlobalShortcuts::Shortcut &shortcut);

    // The desktop's own key for the action when it has one (the user bound
    // it in the desktop's settings); false when the action ends up with no
    // key, the combination being another component's.
    [[nodiscard]] bool grab(const GlobalShortcuts::Shortcut &shortcut) override;
    // The action stays listed, with its key kept for the next grab.
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override;
    [[nodiscard]] bool isAvailable(const GlobalShortcuts::Shortcut &shortcut) override;

    // The desktop's key when it is not the one asked ("aucune touche" when
    // it took the key away); empty otherwise.
    [[nodiscard]] QString triggerDescription() const override { return m_triggerDescription; }

private Q_SLOTS:
    void onPressed(const QString &component, const QString &action, qlonglong timestamp);
    void onShortcutsChanged(const QDBusMessage &message);

private:
    [[nodiscard]] std::optional<QList<QKeySequence>> setKeys(
        const QList<QKeySequence> &keys, uint flags);
    // Whether a press of the key would reach our action: it is free or ours.
    [[nodiscard]] bool answersUs(const QKeySequence &key) const;
    void watchComponent();
    void takeKeys(const QList<QKeySequence> &keys);

    QDBusConnection m_bus;
    QStringList m_actionId;
    std::optional<GlobalShortcuts::Shortcut> m_shortcut;
    // The keys of the action that reach it: never empty while grabbed.
    QList<QKeySequence> m_keys;
    // The desktop took the key away from this shortcut: not asked again.
    std::optional<GlobalShortcuts::Shortcut> m_clearedByDesktop;
    QString m_componentPath;
    QString m_triggerDescription;
};

} // namespace scrivlet
