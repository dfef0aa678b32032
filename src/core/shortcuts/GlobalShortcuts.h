// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Shortcut.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace scrivlet {
class DefaultsStore;
}

namespace scrivlet::GlobalShortcuts {

inline constexpr char kStoragePrefix[] = "GlobalShortcuts_";

// A named, user-changeable shortcut.
struct Name
{
    QString rawValue;
    std::optional<Shortcut> defaultShortcut;

    // The palette's: Super+Shift+V.
    static Name togglePalette()
    {
        return {QStringLiteral("togglePalette"), Shortcut::make(9, 768)};
    }
};

// The shortcuts as stored in the defaults: "GlobalShortcuts_" + name holds
// the shortcut's JSON text, or false once the user removed a shortcut that
// has a default. Hotkey registration follows the change notice.
class ShortcutStore : public QObject
{
    Q_OBJECT

public:
    explicit ShortcutStore(DefaultsStore &defaults, QObject *parent = nullptr);

    // Makes the name known; a name never stored starts with its default.
    void declare(const Name &name);
    [[nodiscard]] std::optional<Shortcut> shortcut(const QString &name) const;
    // None removes the shortcut (false is kept for a name with a default, so
    // that the default does not come back at the next start).
    void setShortcut(const std::optional<Shortcut> &shortcut, const QString &name);
    // Back to the declared default, or none.
    void reset(const QString &name);
    void resetAll();
    [[nodiscard]] QStringList allNames() const;
    [[nodiscard]] bool contains(const QString &name) const;

    // A recorder records: hotkeys are let go meanwhile, so that pressing a
    // current shortcut records it instead of acting. Counted, for several
    // recorders.
    void setRecorderActive(bool active);
    [[nodiscard]] bool isRecorderActive() const { return m_activeRecorders > 0; }

Q_SIGNALS:
    void shortcutChanged(const QString &name);
    void recorderActiveChanged(bool isActive);

private:
    [[nodiscard]] static QString storageKey(const QString &name);

    DefaultsStore &m_defaults;
    QHash<QString, std::optional<Shortcut>> m_defaultsByName;
    int m_activeRecorders = 0;
};

} // namespace scrivlet::GlobalShortcuts
