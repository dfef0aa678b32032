// SPDX-License-Identifier: GPL-3.0-or-later
#include "GnomeHotkeyGrabber.h"

#include "platform/linux/ShortcutKeysym.h"

#include <QDebug>
#include <QStringList>

namespace scrivlet {

using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

GnomeHotkeyGrabber::GnomeHotkeyGrabber(ShellBridge &bridge, QObject *parent)
    : HotkeyGrabber(parent)
    , m_bridge(bridge)
{
    connect(&m_bridge, &ShellBridge::attachedChanged, this, [this](bool attached) {
        if (attached)
            bindHeld();
    });
    connect(&m_bridge, &ShellBridge::shortcutActivated, this, [this] {
        if (!m_held)
            return;
        // The Shell reports the press alone.
        const Shortcut shortcut = *m_held;
        Q_EMIT pressed(shortcut);
        Q_EMIT released(shortcut);
    });
}

GnomeHotkeyGrabber::~GnomeHotkeyGrabber()
{
    if (m_held && m_bridge.isAttached())
        static_cast<void>(m_bridge.bindShortcut(QString()));
}

std::optional<QString> GnomeHotkeyGrabber::accelerator(const Shortcut &shortcut)
{
    const std::optional<QString> name = shortcutKeysymName(shortcut);
    if (!name)
        return std::nullopt;
    QString accelerator;
    for (const auto &[bit, word] :
        {std::pair {Modifier::control, "<Control>"}, {Modifier::option, "<Alt>"},
            {Modifier::shift, "<Shift>"}, {Modifier::command, "<Super>"}}) {
        if (shortcut.carbonModifiers & bit)
            accelerator += QLatin1String(word);
    }
    return accelerator + *name;
}

bool GnomeHotkeyGrabber::grab(const Shortcut &shortcut)
{
    const std::optional<QString> wanted = accelerator(shortcut);
    if (!wanted)
        return false;
    m_held = shortcut;
    return m_bridge.bindShortcut(*wanted);
}

void GnomeHotkeyGrabber::ungrab(const Shortcut &shortcut)
{
    if (m_held != shortcut)
        return;
    m_held.reset();
    // Refused or not attached, nothing is bound for us either way.
    static_cast<void>(m_bridge.bindShortcut(QString()));
}

bool GnomeHotkeyGrabber::isAvailable(const Shortcut &shortcut)
{
    if (m_held == shortcut)
        return m_bridge.isAttached();
    const std::optional<QString> tried = accelerator(shortcut);
    if (!tried || !m_bridge.bindShortcut(*tried))
        return false;
    bindHeld();
    if (!m_held)
        static_cast<void>(m_bridge.bindShortcut(QString()));
    return true;
}

void GnomeHotkeyGrabber::bindHeld()
{
    if (!m_held)
        return;
    if (!m_bridge.bindShortcut(accelerator(*m_held).value_or(QString())))
        qWarning("Scrivlet: GNOME Shell refused the palette's shortcut.");
}

} // namespace scrivlet
