// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/PointerButtons.h"

struct xcb_connection_t;

namespace scrivlet {

// The buttons as the X server has them, asked on each look: one round trip,
// made only while a selection settles.
class X11PointerButtons : public PointerButtons
{
public:
    explicit X11PointerButtons(xcb_connection_t *connection);
    [[nodiscard]] bool isAnyHeld() override;

private:
    xcb_connection_t *m_connection;
};

} // namespace scrivlet
