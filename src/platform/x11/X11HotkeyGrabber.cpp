// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11HotkeyGrabber.h"

#include "core/UniqueHandle.h"

#include <QCoreApplication>
#include <xcb/xcb_keysyms.h>
// xcb's XKB header names a member `explicit`, which C++ reserves.
#define explicit dont_use_cxx_explicit
#include <xcb/xkb.h>
#undef explicit

namespace scrivlet {

namespace {

namespace Modifier = GlobalShortcuts::Modifier;

constexpr xcb_keysym_t kKeysymNumLock = 0xff7f;
constexpr uint8_t kMappingNotify = 34;

// The X modifiers of a stored mask; none when one has no X equivalent.
std::optional<uint16_t> xModifiers(int mask)
{
    if (mask & Modifier::function)
        return std::nullopt;
    uint16_t modifiers = 0;
    if (mask & Modifier::control)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (mask & Modifier::option)
        modifiers |= XCB_MOD_MASK_1;
    if (mask & Modifier::shift)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (mask & Modifier::command)
        modifiers |= XCB_MOD_MASK_4;
    return modifiers;
}

} // namespace

X11HotkeyGrabber::X11HotkeyGrabber(xcb_connection_t *connection, QObject *parent)
    : HotkeyGrabber(parent)
    , m_connection(connection)
    , m_layout(connection)
{
    if (m_connection) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        if (screens.rem > 0)
            m_root = screens.data->root;
        // Held keys then repeat as presses alone, without releases between.
        xcb_xkb_use_extension(m_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION);
        xcb_discard_reply(m_connection,
            xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD,
                XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0)
                .sequence);
    }
    reloadKeymap();
    // Installed before the first grab, so no grabbed key goes unseen.
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyGrabber::~X11HotkeyGrabber()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Grab &grab : std::as_const(m_grabs)) {
        for (uint16_t locks : lockCombinations())
            ungrabKey(grab.keycode, grab.modifiers | locks);
    }
    if (m_connection)
        xcb_flush(m_connection);
}

void X11HotkeyGrabber::reloadKeymap()
{
    if (!m_connection)
        return;
    const UniqueHandle<xcb_key_symbols_t, xcb_key_symbols_free> symbols(
        xcb_key_symbols_alloc(m_connection));
    const MallocPtr<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    m_numLockMask = 0;
    if (!symbols || !map)
        return;
    const MallocPtr<xcb_keycode_t> numLock(
        xcb_key_symbols_get_keycode(symbols.get(), kKeysymNumLock));
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map.get());
    for (int row = 0; row < 8 && numLock; ++row) {
        for (int i = 0; i < map->keycodes_per_modifier; ++i) {
            if (codes[row * map->keycodes_per_modifier + i] == *numLock.get())
                m_numLockMask = uint16_t(1 << row);
        }
    }
}

std::optional<xcb_keycode_t> X11HotkeyGrabber::keycodeFor(int keyCode) const
{
    return m_layout.keycodeFor(GlobalShortcuts::Key {keyCode});
}

QList<uint16_t> X11HotkeyGrabber::lockCombinations() const
{
    QList<uint16_t> combinations {0, XCB_MOD_MASK_LOCK};
    if (m_numLockMask)
        combinations << m_numLockMask << uint16_t(m_numLockMask | XCB_MOD_MASK_LOCK);
    return combinations;
}

bool X11HotkeyGrabber::grabKey(xcb_keycode_t keycode, uint16_t modifiers)
{
    const xcb_void_cookie_t cookie = xcb_grab_key_checked(
        m_connection, 1, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const MallocPtr<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
    return !error;
}

void X11HotkeyGrabber::ungrabKey(xcb_keycode_t keycode, uint16_t modifiers)
{
    if (m_connection)
        xcb_ungrab_key(m_connection, keycode, m_root, modifiers);
}

bool X11HotkeyGrabber::grab(const GlobalShortcuts::Shortcut &shortcut)
{
    const std::optional<uint16_t> modifiers = xModifiers(shortcut.carbonModifiers);
    const std::optional<xcb_keycode_t> keycode = keycodeFor(shortcut.carbonKeyCode);
    if (!m_connection || !modifiers || !keycode)
        return false;
    QList<uint16_t> grabbed;
    for (uint16_t locks : lockCombinations()) {
        if (!grabKey(*keycode, *modifiers | locks)) {
            // Refused (another program holds it): nothing half-grabbed stays.
            for (uint16_t done : std::as_const(grabbed))
                ungrabKey(*keycode, *modifiers | done);
            xcb_flush(m_connection);
            return false;
        }
        grabbed << locks;
    }
    m_grabs.append({shortcut, *keycode, *modifiers});
    return true;
}

void X11HotkeyGrabber::ungrab(const GlobalShortcuts::Shortcut &shortcut)
{
    for (qsizetype i = m_grabs.size() - 1; i >= 0; --i) {
        if (!(m_grabs[i].shortcut == shortcut))
            continue;
        for (uint16_t locks : lockCombinations())
            ungrabKey(m_grabs[i].keycode, m_grabs[i].modifiers | locks);
        m_grabs.removeAt(i);
    }
    if (m_connection)
        xcb_flush(m_connection);
}

bool X11HotkeyGrabber::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type == kMappingNotify) {
        // Keys may have moved: grab everything anew at its new place.
        const QList<Grab> previous = m_grabs;
        for (const Grab &old : previous)
            ungrab(old.shortcut);
        reloadKeymap();
        for (const Grab &old : previous)
            (void)grab(old.shortcut); // one that no longer fits stays ungrabbed
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    if (type == XCB_KEY_RELEASE) {
        // Matched to its press by the key alone: Super is often let go first.
        if (!m_held || *m_held != key->detail)
            return false;
        m_held.reset();
        for (const Grab &grab : std::as_const(m_grabs)) {
            if (grab.keycode == key->detail) {
                Q_EMIT released(grab.shortcut);
                return true;
            }
        }
        return false;
    }
    const uint16_t state = key->state
        & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
    for (const Grab &grab : std::as_const(m_grabs)) {
        if (grab.keycode != key->detail || grab.modifiers != state)
            continue;
        if (m_held && *m_held == key->detail)
            return true; // held down: a repeat
        m_held = key->detail;
        Q_EMIT pressed(grab.shortcut);
        return true;
    }
    return false;
}

} // namespace scrivlet
