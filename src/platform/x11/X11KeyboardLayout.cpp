// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11KeyboardLayout.h"

#include <memory>
#include <xkbcommon/xkbcommon-x11.h>

namespace scrivlet {

namespace {

constexpr int kHighestKeyCode = 127;

using Keymap = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;
using State = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;

std::optional<xkb_keycode_t> keycodeIn(xkb_keymap *keymap, GlobalShortcuts::Key key)
{
    const std::optional<QString> position = key.xkbPosition();
    if (!keymap || !position)
        return std::nullopt;
    // By name, so that aliases resolve as the server's keymap declares them.
    const xkb_keycode_t code = xkb_keymap_key_by_name(keymap, position->toLatin1().constData());
    if (code == XKB_KEYCODE_INVALID || code > 255)
        return std::nullopt;
    return code;
}

} // namespace

X11KeyboardLayout::X11KeyboardLayout(xcb_connection_t *connection)
    : m_connection(connection)
    , m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{
    if (m_connection)
        xkb_x11_setup_xkb_extension(m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
            XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
            nullptr, nullptr);
}

X11KeyboardLayout::~X11KeyboardLayout()
{
    xkb_context_unref(m_context);
}

xkb_keymap *X11KeyboardLayout::currentKeymap() const
{
    if (!m_connection || !m_context)
        return nullptr;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
    if (device < 0)
        return nullptr;
    return xkb_x11_keymap_new_from_device(
        m_context, m_connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

std::optional<xcb_keycode_t> X11KeyboardLayout::keycodeFor(GlobalShortcuts::Key key) const
{
    if (!key.xkbPosition())
        return std::nullopt;
    const Keymap keymap(currentKeymap(), xkb_keymap_unref);
    const std::optional<xkb_keycode_t> code = keycodeIn(keymap.get(), key);
    if (!code)
        return std::nullopt;
    return xcb_keycode_t(*code);
}

std::optional<GlobalShortcuts::Key> X11KeyboardLayout::keyAt(quint32 nativeScanCode)
{
    const Keymap keymap(currentKeymap(), xkb_keymap_unref);
    if (!keymap)
        return std::nullopt;
    for (int code = 0; code <= kHighestKeyCode; ++code) {
        if (keycodeIn(keymap.get(), GlobalShortcuts::Key {code}) == nativeScanCode)
            return GlobalShortcuts::Key {code};
    }
    return std::nullopt;
}

std::optional<QString> X11KeyboardLayout::character(GlobalShortcuts::Key key)
{
    const Keymap keymap(currentKeymap(), xkb_keymap_unref);
    const std::optional<xkb_keycode_t> code = keycodeIn(keymap.get(), key);
    if (!code)
        return std::nullopt;
    // The active group, without the modifiers held right now: Control would
    // turn letters into control characters.
    const int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
    const State live(
        xkb_x11_state_new_from_device(keymap.get(), m_connection, device), xkb_state_unref);
    const State plain(xkb_state_new(keymap.get()), xkb_state_unref);
    if (!live || !plain)
        return std::nullopt;
    const xkb_layout_index_t group
        = xkb_state_serialize_layout(live.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    xkb_state_update_mask(plain.get(), 0, 0, 0, 0, 0, group);
    char text[16] {};
    const int length = xkb_state_key_get_utf8(plain.get(), *code, text, sizeof text);
    if (length <= 0 || length >= int(sizeof text))
        return std::nullopt;
    const QString result = QString::fromUtf8(text, length);
    if (result.isEmpty() || !result.at(0).isPrint() || result.at(0).isSpace())
        return std::nullopt;
    return result;
}

} // namespace scrivlet
