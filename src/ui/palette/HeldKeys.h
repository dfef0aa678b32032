// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>

class QKeyEvent;

namespace scrivlet {

// Tells a key's first press from the presses its auto-repeat sends. Qt's own
// flag is not enough on X11: with detectable auto-repeat the server sends
// presses without releases, and without it Qt sees the release and the press
// that share a timestamp only when both are already queued.
class HeldKeys
{
public:
    // True for a press of a key that is already down, or one that follows
    // its own release at the same instant.
    [[nodiscard]] bool isRepeat(const QKeyEvent &press);
    void released(const QKeyEvent &release);
    // Releases that happen while the palette has no focus are never seen.
    void clear();

private:
    QSet<quint32> m_down;
    quint32 m_lastReleased = 0;
    quint64 m_lastReleaseTime = 0;
};

} // namespace scrivlet
