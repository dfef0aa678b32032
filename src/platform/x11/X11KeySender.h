// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeySender.h"

#include <xcb/xcb.h>

namespace scrivlet {

// XTEST keystrokes. In a Wayland session Xwayland still offers XTEST, but its
// keystrokes reach X clients only, so there it counts as unavailable.
class X11KeySender : public KeySender
{
public:
    explicit X11KeySender(xcb_connection_t *connection);

    [[nodiscard]] bool isTrusted() override;
    [[nodiscard]] bool sendPaste(PasteKey key) override;

    [[nodiscard]] static bool isWaylandSession();

private:
    xcb_connection_t *m_connection;
};

} // namespace scrivlet
