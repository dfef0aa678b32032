// SPDX-License-Identifier: GPL-3.0-or-later
#include "GlobalShortcuts.h"

#include "core/settings/DefaultsStore.h"

#include <algorithm>

namespace scrivlet::GlobalShortcuts {

ShortcutStore::ShortcutStore(DefaultsStore &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    // A shortcut edited in the file by hand takes effect as a recorded one.
    connect(&defaults, &DefaultsStore::changed, this, [this](const QStringList &keys) {
        for (const QString &key : keys) {
            if (key.startsWith(QLatin1String(kStoragePrefix)))
                Q_EMIT shortcutChanged(key.mid(int(qstrlen(kStoragePrefix))));
        }
    });
}

QString ShortcutStore::storageKey(const QString &name)
{
    return QLatin1String(kStoragePrefix) + name;
}

void ShortcutStore::declare(const Name &name)
{
    m_defaultsByName.insert(name.rawValue, name.defaultShortcut);
    if (name.defaultShortcut && !contains(name.rawValue))
        setShortcut(name.defaultShortcut, name.rawValue);
}

bool ShortcutStore::contains(const QString &name) const
{
    return m_defaults.contains(storageKey(name));
}

std::optional<Shortcut> ShortcutStore::shortcut(const QString &name) const
{
    const QJsonValue stored = m_defaults.value(storageKey(name));
    // A value of another type, or text that does not decode, is no shortcut;
    // it is left in place.
    if (!stored.isString())
        return std::nullopt;
    return Shortcut::fromJson(stored.toString().toUtf8());
}

void ShortcutStore::setShortcut(const std::optional<Shortcut> &shortcut, const QString &name)
{
    if (shortcut) {
        m_defaults.setValue(storageKey(name), QString::fromUtf8(shortcut->toJson()));
    } else {
        if (!this->shortcut(name))
            return;
        if (m_defaultsByName.value(name))
            m_defaults.setValue(storageKey(name), false);
        else
            m_defaults.remove(storageKey(name));
    }
    Q_EMIT shortcutChanged(name);
}

void ShortcutStore::reset(const QString &name)
{
    const std::optional<Shortcut> fallback = m_defaultsByName.value(name);
    if (fallback)
        setShortcut(fallback, name);
    else if (shortcut(name))
        setShortcut(std::nullopt, name);
}

void ShortcutStore::resetAll()
{
    // Every declared name gets its default back, and so do stored ones.
    QStringList names = allNames();
    for (const QString &declared : m_defaultsByName.keys()) {
        if (!names.contains(declared))
            names.append(declared);
    }
    for (const QString &name : std::as_const(names))
        reset(name);
}

void ShortcutStore::setRecorderActive(bool active)
{
    const bool wasActive = isRecorderActive();
    m_activeRecorders = std::max(0, m_activeRecorders + (active ? 1 : -1));
    if (isRecorderActive() != wasActive)
        Q_EMIT recorderActiveChanged(isRecorderActive());
}

QStringList ShortcutStore::allNames() const
{
    QStringList names;
    for (const QString &key : m_defaults.keys()) {
        if (key.startsWith(QLatin1String(kStoragePrefix)))
            names.append(key.mid(int(qstrlen(kStoragePrefix))));
    }
    return names;
}

} // namespace scrivlet::GlobalShortcuts
