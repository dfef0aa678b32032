// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/UniqueHandle.h"
#include "core/services/KeySender.h"

#include <QByteArray>
#include <xkbcommon/xkbcommon.h>

struct zwp_virtual_keyboard_v1;

namespace scrivlet {

class WaylandConnection;

// Keystrokes through a virtual keyboard of the seat (zwp_virtual_keyboard_v1),
// which reach the focused window of any client.
class WaylandKeySender : public KeySender
{
public:
    explicit WaylandKeySender(WaylandConnection &connection);
    ~WaylandKeySender() override;
    WaylandKeySender(const WaylandKeySender &) = delete;
    WaylandKeySender &operator=(const WaylandKeySender &) = delete;

    [[nodiscard]] bool isTrusted() override;
    [[nodiscard]] bool sendPaste(PasteKey key) override;

private:
    // The keyboard, made on first use, with the seat's current keymap.
    [[nodiscard]] bool prepareKeyboard();
    [[nodiscard]] bool uploadKeymap(const QByteArray &text);

    WaylandConnection &m_connection;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
    UniqueHandle<xkb_keymap, xkb_keymap_unref> m_keymap; // the keyboard's, compiled
    QByteArray m_uploaded; // the keymap the keyboard has
    QByteArray m_basedOn; // the seat's keymap it was taken from
};

} // namespace scrivlet
