// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11KeySender.h"

#include <QString>
#include <cstdlib>
#include <memory>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace scrivlet {

namespace {

constexpr xcb_keysym_t kKeysymV = 0x0076;
constexpr xcb_keysym_t kKeysymControlL = 0xffe3;

struct KeySymbolsDeleter
{
    void operator()(xcb_key_symbols_t *symbols) const { xcb_key_symbols_free(symbols); }
};

// The first key that produces the symbol in the current keymap, so that the
// letter follows the layout (V is elsewhere on some keyboards).
xcb_keycode_t keycodeFor(xcb_key_symbols_t *symbols, xcb_keysym_t keysym)
{
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_keycode_t code = codes ? codes[0] : XCB_NO_SYMBOL;
    std::free(codes);
    return code;
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

bool X11KeySender::sendPaste()
{
    if (!isTrusted())
        return false;
    std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> symbols(
        xcb_key_symbols_alloc(m_connection));
    if (!symbols)
        return false;
    const xcb_keycode_t control = keycodeFor(symbols.get(), kKeysymControlL);
    const xcb_keycode_t v = keycodeFor(symbols.get(), kKeysymV);
    if (control == XCB_NO_SYMBOL || v == XCB_NO_SYMBOL)
        return false;
    const xcb_window_t none = XCB_NONE;
    for (const auto &[type, code] : {std::pair {XCB_KEY_PRESS, control}, {XCB_KEY_PRESS, v},
             {XCB_KEY_RELEASE, v}, {XCB_KEY_RELEASE, control}})
        xcb_test_fake_input(m_connection, uint8_t(type), code, XCB_CURRENT_TIME, none, 0, 0, 0);
    return xcb_flush(m_connection) > 0;
}

} // namespace scrivlet
