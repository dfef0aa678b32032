// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeyboardLayout.h"
#include "platform/linux/XkbKeys.h"

#include <QByteArray>

namespace scrivlet {

class WaylandConnection;

// The seat's keymap as the compositor sends it to our connection. Native scan
// codes are xkb keycodes (evdev + 8), as Qt's Wayland platform reports them.
class WaylandKeyboardLayout : public KeyboardLayout
{
public:
    explicit WaylandKeyboardLayout(WaylandConnection &connection);

    [[nodiscard]] std::optional<GlobalShortcuts::Key> keyAt(quint32 nativeScanCode) override;
    [[nodiscard]] std::optional<QString> character(GlobalShortcuts::Key key) override;

private:
    // The compiled keymap, compiled again only when the compositor's text
    // changed; null without one.
    [[nodiscard]] xkb_keymap *currentKeymap();

    WaylandConnection &m_connection;
    XkbContext m_context;
    XkbKeymap m_keymap;
    QByteArray m_keymapText;
};

} // namespace scrivlet
