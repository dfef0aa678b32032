// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeInputKeySender.h"

#include "WaylandConnection.h"
#include "fake-input-client.h"
#include "platform/linux/XkbKeys.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace scrivlet {

namespace {

// xkb keycodes are evdev codes shifted by 8; fake input takes evdev codes.
constexpr uint32_t kEvdevOffset = 8;

struct KeysymSearch
{
    xkb_keysym_t keysym = XKB_KEY_NoSymbol;
    xkb_layout_index_t group = 0;
    xkb_keycode_t found = XKB_KEYCODE_INVALID;
};

// KWin reads our codes through the seat's keymap: the code is the one that
// types the symbol unshifted in the group the user types in, so that a Dvorak
// user's window reads a V too.
uint32_t evdevCodeOf(
    const QByteArray &keymapText, quint32 group, xkb_keysym_t keysym, uint32_t usCode)
{
    const XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const XkbKeymap keymap(context && !keymapText.isEmpty()
            ? xkb_keymap_new_from_buffer(context.get(), keymapText.constData(),
                size_t(keymapText.size()), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
            : nullptr);
    if (!keymap)
        return usCode;
    KeysymSearch search {keysym, group};
    xkb_keymap_key_for_each(
        keymap.get(),
        [](xkb_keymap *map, xkb_keycode_t code, void *data) {
            auto *wanted = static_cast<KeysymSearch *>(data);
            const xkb_keysym_t *syms = nullptr;
            if (wanted->found == XKB_KEYCODE_INVALID
                && xkb_keymap_key_get_syms_by_level(map, code, wanted->group, 0, &syms) > 0
                && syms[0] == wanted->keysym)
                wanted->found = code;
        },
        &search);
    return search.found == XKB_KEYCODE_INVALID || search.found < kEvdevOffset
        ? usCode
        : search.found - kEvdevOffset;
}

} // namespace

FakeInputKeySender::FakeInputKeySender(WaylandConnection &connection)
    : m_connection(connection)
{ }

bool FakeInputKeySender::isTrusted()
{
    return m_connection.fakeInput();
}

bool FakeInputKeySender::sendPaste(PasteKey key)
{
    org_kde_kwin_fake_input *input = m_connection.fakeInput();
    if (!input)
        return false;
    if (!m_authenticated) {
        // KWin shows the reason where it asks; a granted program is not asked.
        org_kde_kwin_fake_input_authenticate(
            input, "Scrivlet", "Paste the chosen clipboard entry into the window in front");
        m_authenticated = true;
    }
    m_connection.dispatchArrived();
    const uint32_t main = key == PasteKey::shiftInsert
        ? evdevCodeOf(m_connection.keymap(), m_connection.layoutGroup(), XKB_KEY_Insert, KEY_INSERT)
        : evdevCodeOf(m_connection.keymap(), m_connection.layoutGroup(), XKB_KEY_v, KEY_V);
    QList<uint32_t> held;
    if (key != PasteKey::shiftInsert)
        held << KEY_LEFTCTRL;
    if (key != PasteKey::ctrlV)
        held << KEY_LEFTSHIFT;

    // Every key pressed here is released here, the modifiers last: nothing
    // of ours stays held once the keystroke is typed.
    for (const uint32_t modifier : std::as_const(held))
        org_kde_kwin_fake_input_keyboard_key(input, modifier, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(input, main, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(input, main, WL_KEYBOARD_KEY_STATE_RELEASED);
    for (auto it = held.crbegin(); it != held.crend(); ++it)
        org_kde_kwin_fake_input_keyboard_key(input, *it, WL_KEYBOARD_KEY_STATE_RELEASED);
    return m_connection.flush();
}

} // namespace scrivlet
