// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11KeySender.h"

#include "core/UniqueHandle.h"

#include <QString>
#include <vector>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace scrivlet {

namespace {

constexpr xcb_keysym_t kKeysymV = 0x0076;
constexpr xcb_keysym_t kKeysymInsert = 0xff63;
constexpr xcb_keysym_t kKeysymControlL = 0xffe3;
constexpr xcb_keysym_t kKeysymShiftL = 0xffe1;

// Modifier rows of the X modifier map, in its order.
constexpr int kShiftRow = 0;
constexpr int kControlRow = 2;
constexpr int kAltRow = 3;
constexpr int kSuperRow = 6;

// The first key that produces the symbol in the current keymap, so that the
// letter follows the layout (V is elsewhere on some keyboards).
xcb_keycode_t keycodeFor(xcb_key_symbols_t *symbols, xcb_keysym_t keysym)
{
    const MallocPtr<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols, keysym));
    return codes ? codes.get()[0] : xcb_keycode_t(XCB_NO_SYMBOL);
}

// The keys of one modifier row that are down now.
std::vector<xcb_keycode_t> heldKeys(
    const xcb_get_modifier_mapping_reply_t *map, const xcb_query_keymap_reply_t *keymap, int row)
{
    std::vector<xcb_keycode_t> held;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map);
    const int perRow = map->keycodes_per_modifier;
    for (int i = 0; i < perRow; ++i) {
        const xcb_keycode_t code = codes[row * perRow + i];
        if (code && (keymap->keys[code / 8] & (1 << (code % 8))))
            held.push_back(code);
    }
    return held;
}

void fake(xcb_connection_t *c, uint8_t type, xcb_keycode_t code)
{
    xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

} // namespace

X11KeySender::X11KeySender(xcb_connection_t *connection)
    : m_connection(connection)
{ }

bool X11KeySender::isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

bool X11KeySender::isTrusted()
{
    if (!m_connection || isWaylandSession())
        return false;
    const xcb_query_extension_reply_t *xtest = xcb_get_extension_data(m_connection, &xcb_test_id);
    return xtest && xtest->present;
}

bool X11KeySender::sendPaste(PasteKey key)
{
    if (!isTrusted())
        return false;
    const UniqueHandle<xcb_key_symbols_t, xcb_key_symbols_free> symbols(
        xcb_key_symbols_alloc(m_connection));
    const MallocPtr<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    const MallocPtr<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr));
    if (!symbols || !map || !keymap)
        return false;

    const bool wantsControl = key != PasteKey::shiftInsert;
    const bool wantsShift = key != PasteKey::ctrlV;
    const xcb_keycode_t main
        = keycodeFor(symbols.get(), key == PasteKey::shiftInsert ? kKeysymInsert : kKeysymV);
    const xcb_keycode_t control = keycodeFor(symbols.get(), kKeysymControlL);
    const xcb_keycode_t shift = keycodeFor(symbols.get(), kKeysymShiftL);
    if (main == XCB_NO_SYMBOL || (wantsControl && control == XCB_NO_SYMBOL)
        || (wantsShift && shift == XCB_NO_SYMBOL))
        return false;

    // XTEST adds to what the user still holds (the palette's own Shift+Return,
    // the hotkey's Super): let go of what this keystroke does not want.
    for (const auto &[row, wanted] : {std::pair {kShiftRow, wantsShift},
             {kControlRow, wantsControl}, {kAltRow, false}, {kSuperRow, false}}) {
        if (!wanted) {
            for (xcb_keycode_t code : heldKeys(map.get(), keymap.get(), row))
                fake(m_connection, XCB_KEY_RELEASE, code);
        }
    }
    const bool controlDown = !heldKeys(map.get(), keymap.get(), kControlRow).empty();
    const bool shiftDown = !heldKeys(map.get(), keymap.get(), kShiftRow).empty();
    const bool pressControl = wantsControl && !controlDown;
    const bool pressShift = wantsShift && !shiftDown;
    if (pressControl)
        fake(m_connection, XCB_KEY_PRESS, control);
    if (pressShift)
        fake(m_connection, XCB_KEY_PRESS, shift);
    fake(m_connection, XCB_KEY_PRESS, main);
    fake(m_connection, XCB_KEY_RELEASE, main);
    if (pressShift)
        fake(m_connection, XCB_KEY_RELEASE, shift);
    if (pressControl)
        fake(m_connection, XCB_KEY_RELEASE, control);
    return xcb_flush(m_connection) > 0;
}

} // namespace scrivlet
