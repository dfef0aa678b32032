// SPDX-License-Identifier: GPL-3.0-or-later
#include "GnomeKeySender.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace scrivlet {

GnomeKeySender::GnomeKeySender(ShellBridge &bridge)
    : m_bridge(bridge)
{ }

bool GnomeKeySender::isTrusted()
{
    return m_bridge.isAttached();
}

bool GnomeKeySender::sendPaste(PasteKey key)
{
    // The extension's keyboard is a device of its own: modifiers the user
    // holds on the real one are not held on it.
    return m_bridge.sendKeys(keystroke(key));
}

QList<std::pair<quint32, bool>> GnomeKeySender::keystroke(PasteKey key)
{
    QList<quint32> held;
    quint32 tapped = XKB_KEY_v;
    switch (key) {
    case PasteKey::ctrlV:
        held = {XKB_KEY_Control_L};
        break;
    case PasteKey::ctrlShiftV:
        held = {XKB_KEY_Control_L, XKB_KEY_Shift_L};
        break;
    case PasteKey::shiftInsert:
        held = {XKB_KEY_Shift_L};
        tapped = XKB_KEY_Insert;
        break;
    }
    QList<std::pair<quint32, bool>> keys;
    for (const quint32 modifier : std::as_const(held))
        keys.append({modifier, true});
    keys.append({tapped, true});
    keys.append({tapped, false});
    for (auto modifier = held.crbegin(); modifier != held.crend(); ++modifier)
        keys.append({*modifier, false});
    return keys;
}

} // namespace scrivlet
