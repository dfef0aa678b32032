// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11KeyboardLayout.h"

#include <xkbcommon/xkbcommon-x11.h>

namespace scrivlet {

X11KeyboardLayout::X11KeyboardLayout(xcb_connection_t *connection)
    : m_connection(connection)
    , m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{
    if (m_connection)
        xkb_x11_setup_xkb_extension(m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
            XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
            nullptr, nullptr);
}

XkbKeymap X11KeyboardLayout::currentKeymap() const
{
    if (!m_connection || !m_context)
        return nullptr;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
    if (device < 0)
        return nullptr;
    return XkbKeymap(xkb_x11_keymap_new_from_device(
        m_context.get(), m_connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

std::optional<xcb_keycode_t> X11KeyboardLayout::keycodeFor(GlobalShortcuts::Key key) const
{
    if (!key.xkbPosition())
        return std::nullopt;
    const XkbKeymap keymap = currentKeymap();
    const std::optional<uint32_t> code = XkbKeys::keycodeOf(keymap.get(), key);
    if (!code)
        return std::nullopt;
    return xcb_keycode_t(*code);
}

std::optional<GlobalShortcuts::Key> X11KeyboardLayout::keyAt(quint32 nativeScanCode)
{
    const XkbKeymap keymap = currentKeymap();
    return XkbKeys::keyAt(keymap.get(), nativeScanCode);
}

std::optional<QString> X11KeyboardLayout::character(GlobalShortcuts::Key key)
{
    const XkbKeymap keymap = currentKeymap();
    if (!keymap)
        return std::nullopt;
    // The active group, read from the server's state.
    const int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
    const XkbState live(xkb_x11_state_new_from_device(keymap.get(), m_connection, device));
    if (!live)
        return std::nullopt;
    return XkbKeys::characterOf(
        keymap.get(), key, xkb_state_serialize_layout(live.get(), XKB_STATE_LAYOUT_EFFECTIVE));
}

} // namespace scrivlet
