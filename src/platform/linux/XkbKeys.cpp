// SPDX-License-Identifier: GPL-3.0-or-later
#include "XkbKeys.h"

#include <memory>
#include <xkbcommon/xkbcommon.h>

namespace scrivlet::XkbKeys {

namespace {

constexpr int kHighestKeyCode = 127;

using State = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;

} // namespace

std::optional<uint32_t> keycodeOf(xkb_keymap *keymap, GlobalShortcuts::Key key)
{
    const std::optional<QString> position = key.xkbPosition();
    if (!keymap || !position)
        return std::nullopt;
    // By name, so that aliases resolve as the keymap declares them.
    const xkb_keycode_t code = xkb_keymap_key_by_name(keymap, position->toLatin1().constData());
    if (code == XKB_KEYCODE_INVALID || code > 255)
        return std::nullopt;
    return code;
}

std::optional<GlobalShortcuts::Key> keyAt(xkb_keymap *keymap, uint32_t keycode)
{
    if (!keymap)
        return std::nullopt;
    for (int code = 0; code <= kHighestKeyCode; ++code) {
        if (keycodeOf(keymap, GlobalShortcuts::Key {code}) == keycode)
            return GlobalShortcuts::Key {code};
    }
    return std::nullopt;
}

std::optional<QString> characterOf(xkb_keymap *keymap, GlobalShortcuts::Key key, uint32_t group)
{
    const std::optional<uint32_t> code = keycodeOf(keymap, key);
    if (!code)
        return std::nullopt;
    // A state of our own without the modifiers held right now: Control would
    // turn letters into control characters.
    const State plain(xkb_state_new(keymap), xkb_state_unref);
    if (!plain)
        return std::nullopt;
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

} // namespace scrivlet::XkbKeys
