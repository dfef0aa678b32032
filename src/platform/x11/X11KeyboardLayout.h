// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeyboardLayout.h"

#include <xcb/xcb.h>

struct xkb_context;
struct xkb_keymap;

namespace scrivlet {

// The server's current keymap, read afresh on each question: keymap and group
// changes are then always seen, and questions come at the pace of key presses.
class X11KeyboardLayout : public KeyboardLayout
{
public:
    explicit X11KeyboardLayout(xcb_connection_t *connection);
    ~X11KeyboardLayout() override;
    X11KeyboardLayout(const X11KeyboardLayout &) = delete;
    X11KeyboardLayout &operator=(const X11KeyboardLayout &) = delete;

    [[nodiscard]] std::optional<GlobalShortcuts::Key> keyAt(quint32 nativeScanCode) override;
    [[nodiscard]] std::optional<QString> character(GlobalShortcuts::Key key) override;
    // The X keycode at the key's position; none when it has none here.
    [[nodiscard]] std::optional<xcb_keycode_t> keycodeFor(GlobalShortcuts::Key key) const;

private:
    [[nodiscard]] xkb_keymap *currentKeymap() const;

    xcb_connection_t *m_connection;
    xkb_context *m_context;
};

} // namespace scrivlet
