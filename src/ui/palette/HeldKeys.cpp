// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeldKeys.h"

#include <QKeyEvent>

namespace scrivlet {

namespace {

// The key's place on the keyboard; synthetic events have none, and are told
// apart by their key.
quint32 keyOf(const QKeyEvent &event)
{
    return event.nativeScanCode() ? event.nativeScanCode() : quint32(event.key()) | 0x80000000u;
}

} // namespace

bool HeldKeys::isRepeat(const QKeyEvent &press)
{
    const quint32 key = keyOf(press);
    const bool repeat = press.isAutoRepeat() || m_down.contains(key)
        || (key == m_lastReleased && press.timestamp() != 0
            && press.timestamp() == m_lastReleaseTime);
    m_down.insert(key);
    return repeat;
}

void HeldKeys::released(const QKeyEvent &release)
{
    if (release.isAutoRepeat())
        return;
    const quint32 key = keyOf(release);
    m_down.remove(key);
    m_lastReleased = key;
    m_lastReleaseTime = release.timestamp();
}

void HeldKeys::clear()
{
    m_down.clear();
    m_lastReleased = 0;
    m_lastReleaseTime = 0;
}

} // namespace scrivlet
