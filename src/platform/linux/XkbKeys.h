// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/UniqueHandle.h"
#include "core/shortcuts/Key.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <xkbcommon/xkbcommon.h>

// The key table's positions in an xkbcommon keymap, for every display server
// whose keymap xkbcommon reads (X11 and Wayland alike).
namespace scrivlet {

using XkbContext = UniqueHandle<xkb_context, xkb_context_unref>;
using XkbKeymap = UniqueHandle<xkb_keymap, xkb_keymap_unref>;
using XkbState = UniqueHandle<xkb_state, xkb_state_unref>;

} // namespace scrivlet

namespace scrivlet::XkbKeys {

// The keycode at the key's position; none when the keymap has no such key.
[[nodiscard]] std::optional<uint32_t> keycodeOf(xkb_keymap *keymap, GlobalShortcuts::Key key);
// The table's key at a keycode; none for keys outside the table.
[[nodiscard]] std::optional<GlobalShortcuts::Key> keyAt(xkb_keymap *keymap, uint32_t keycode);
// What the key types in the layout group without modifiers; none when it
// types nothing printable.
[[nodiscard]] std::optional<QString> characterOf(
    xkb_keymap *keymap, GlobalShortcuts::Key key, uint32_t group);

} // namespace scrivlet::XkbKeys
