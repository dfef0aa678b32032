// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11PointerButtons.h"

#include "core/UniqueHandle.h"

#include <xcb/xcb.h>

namespace scrivlet {

X11PointerButtons::X11PointerButtons(xcb_connection_t *connection)
    : m_connection(connection)
{ }

bool X11PointerButtons::isAnyHeld()
{
    if (!m_connection)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    const MallocPtr<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, root), nullptr));
    // No answer: taken as released, so that a selection is not held back forever.
    if (!reply)
        return false;
    constexpr uint16_t buttons = XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3
        | XCB_BUTTON_MASK_4 | XCB_BUTTON_MASK_5;
    return (reply->mask & buttons) != 0;
}

} // namespace scrivlet
