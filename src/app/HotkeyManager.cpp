// SPDX-License-Identifier: GPL-3.0-or-later
#include "HotkeyManager.h"

#include "core/services/HotkeyGrabber.h"

#include <QTextStream>

namespace scrivlet {

namespace {

const QString kName = GlobalShortcuts::Name::togglePalette().rawValue;

} // namespace

HotkeyManager::HotkeyManager(GlobalShortcuts::ShortcutStore &shortcuts, HotkeyGrabber &grabber,
    std::function<void()> onTrigger, QObject *parent)
    : QObject(parent)
    , m_shortcuts(shortcuts)
    , m_grabber(grabber)
    , m_onTrigger(std::move(onTrigger))
{
    m_retry.setInterval(kRetryMilliseconds);
    connect(&m_retry, &QTimer::timeout, this, &HotkeyManager::retry);
}

void HotkeyManager::retry()
{
    if (m_started && m_refused && !m_shortcuts.isRecorderActive())
        registerCurrent();
}

void HotkeyManager::setRefused(bool refused)
{
    if (refused)
        m_retry.start();
    else
        m_retry.stop();
    if (refused == m_refused)
        return;
    m_refused = refused;
    Q_EMIT refusedChanged(refused);
}

void HotkeyManager::start()
{
    if (m_started)
        return;
    m_started = true;
    m_shortcuts.declare(GlobalShortcuts::Name::togglePalette());
    connect(&m_shortcuts, &GlobalShortcuts::ShortcutStore::shortcutChanged, this,
        [this](const QString &name) {
            if (name == kName)
                registerCurrent();
        });
    // A recorder takes the keys: ours are let go until it ends.
    connect(&m_shortcuts, &GlobalShortcuts::ShortcutStore::recorderActiveChanged, this,
        [this](bool) { registerCurrent(); });
    // On the release: the palette then opens with no key of the shortcut
    // still down to reach it.
    connect(&m_grabber, &HotkeyGrabber::released, this,
        [this](const GlobalShortcuts::Shortcut &shortcut) {
            if (m_registered && shortcut == *m_registered && m_onTrigger)
                m_onTrigger();
        });
    registerCurrent();
}

void HotkeyManager::registerCurrent()
{
    if (m_registered)
        m_grabber.ungrab(*m_registered);
    m_registered.reset();
    const std::optional<GlobalShortcuts::Shortcut> shortcut = m_shortcuts.shortcut(kName);
    if (!shortcut) {
        setRefused(false);
        return;
    }
    if (m_shortcuts.isRecorderActive())
        return; // let go on purpose; what was refused stays refused
    if (m_grabber.grab(*shortcut)) {
        m_registered = shortcut;
        setRefused(false);
        return;
    }
    // Not counted as registered: tried again on the timer and at each change.
    const bool saidAlready = m_refused;
    setRefused(true);
    if (saidAlready)
        return;
    QTextStream(stdout) << "Error registering hotkey " << shortcut->displayText(Language::english)
                        << ": refused (another program holds it, or this keyboard has no such key)"
                        << Qt::endl;
}

} // namespace scrivlet
