// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeyboardLayout.h"
#include "platform/linux/XkbKeys.h"

#include <xcb/xcb.h>

namespace scrivlet {

// The server's current keymap, read afresh on each question: keymap and group
// changes are then always seen, and questions come at the pace of key presses.
class X11KeyboardLayout : public KeyboardLayout
{
public:
    explicit X11KeyboardLayout(xcb_connection_t *connection);

    [[nodiscard]] std::optional<GlobalShortcuts::Key> keyAt(quint32 nativeScanCode) override;
    [[nodiscard]] std::optional<QString> character(GlobalShortcuts::Key key) override;
    // The X keycode at the key's position; none when it has none here.
    [[nodiscard]] std::optional<xcb_keycode_t> keycodeFor(GlobalShortcuts::Key key) const;

private:
    [[nodiscard]] XkbKeymap currentKeymap() const;

    xcb_connection_t *m_connection;
    XkbContext m_context;
};

} // namespace scrivlet
