// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandKeyboardLayout.h"

#include "WaylandConnection.h"
#include "platform/linux/XkbKeys.h"

namespace scrivlet {

WaylandKeyboardLayout::WaylandKeyboardLayout(WaylandConnection &connection)
    : m_connection(connection)
    , m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{ }

xkb_keymap *WaylandKeyboardLayout::currentKeymap()
{
    // A layout switch may sit unread in the socket while Qt's own connection
    // already delivers a key of the new layout.
    m_connection.dispatchArrived();
    if (!m_connection.isConnected() || !m_context)
        return nullptr;
    const QByteArray text = m_connection.keymap();
    if (text != m_keymapText) {
        m_keymap.reset(text.isEmpty()
                ? nullptr
                : xkb_keymap_new_from_buffer(m_context.get(), text.constData(), size_t(text.size()),
                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
        m_keymapText = text;
    }
    return m_keymap.get();
}

std::optional<GlobalShortcuts::Key> WaylandKeyboardLayout::keyAt(quint32 nativeScanCode)
{
    return XkbKeys::keyAt(currentKeymap(), nativeScanCode);
}

std::optional<QString> WaylandKeyboardLayout::character(GlobalShortcuts::Key key)
{
    xkb_keymap *keymap = currentKeymap();
    return XkbKeys::characterOf(keymap, key, m_connection.layoutGroup());
}

} // namespace scrivlet
