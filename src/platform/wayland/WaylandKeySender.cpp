// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandKeySender.h"

#include "WaylandConnection.h"
#include "platform/linux/UniqueFd.h"
#include "virtual-keyboard-unstable-v1-client.h"

#include <QThread>
#include <chrono>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace scrivlet {

namespace {

// xkb keycodes are evdev codes shifted by 8; the protocol takes evdev codes.
constexpr uint32_t kEvdevOffset = 8;
// A seat that had no keyboard gains one with ours; the focused client needs
// a moment to bind it, or the first keys reach nobody.
constexpr unsigned long kNewKeyboardGraceMs = 300;

using Context = UniqueHandle<xkb_context, xkb_context_unref>;
using Keymap = UniqueHandle<xkb_keymap, xkb_keymap_unref>;

struct KeyPosition
{
    xkb_keycode_t keycode = XKB_KEYCODE_INVALID;
    xkb_layout_index_t group = 0;
};

// The key that types the symbol without modifiers, in the first group that
// has one: a "ru,us" user's V is in the second.
KeyPosition positionOf(xkb_keymap *keymap, xkb_keysym_t keysym)
{
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap);
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_layout_index_t group = 0; group < xkb_keymap_num_layouts(keymap); ++group) {
        for (xkb_keycode_t code = first; code <= last; ++code) {
            const xkb_keysym_t *syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, code, group, 0, &syms);
            for (int i = 0; i < count; ++i) {
                if (syms[i] == keysym)
                    return {code, group};
            }
        }
    }
    return {};
}

uint32_t modifierMask(xkb_keymap *keymap, const char *name)
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : 1u << index;
}

uint32_t nowMs()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QByteArray defaultKeymap()
{
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context)
        return {};
    // Null names: xkbcommon's defaults, which XKB_DEFAULT_LAYOUT and friends adjust.
    const Keymap keymap(
        xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return {};
    const MallocPtr<char> text(xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1));
    return QByteArray(text.get());
}

} // namespace

WaylandKeySender::WaylandKeySender(WaylandConnection &connection)
    : m_connection(connection)
{ }

WaylandKeySender::~WaylandKeySender()
{
    if (!m_keyboard)
        return;
    zwp_virtual_keyboard_v1_destroy(m_keyboard);
    m_connection.flush();
}

bool WaylandKeySender::isTrusted()
{
    return m_connection.virtualKeyboardManager() && m_connection.seat();
}

bool WaylandKeySender::uploadKeymap(const QByteArray &text)
{
    // A keymap the compositor cannot compile would cost us the connection.
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    Keymap keymap(context ? xkb_keymap_new_from_buffer(context.get(), text.constData(),
                      size_t(text.size()), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
                          : nullptr);
    if (!keymap)
        return false;
    // libwayland sends its own copy of the descriptor: ours closes here.
    const UniqueFd file(memfd_create("scrivlet-keymap", MFD_CLOEXEC));
    if (!file)
        return false;
    // The compositor reads it as a C string: the size counts the final zero.
    const qsizetype size = text.size() + 1;
    if (write(file.get(), text.constData(), size_t(size)) != ssize_t(size))
        return false;
    zwp_virtual_keyboard_v1_keymap(
        m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.get(), uint32_t(size));
    m_uploaded = text;
    m_keymap = std::move(keymap);
    return true;
}

bool WaylandKeySender::prepareKeyboard()
{
    m_connection.dispatchArrived();
    const QByteArray seatKeymap = m_connection.keymap();
    // The seat echoes our own keymap back once our keyboard is the one typing.
    if (m_keymap && (seatKeymap.isEmpty() || seatKeymap == m_basedOn || seatKeymap == m_uploaded))
        return true;
    const bool seatHadKeyboard = m_connection.seatHasKeyboard();
    if (!m_keyboard) {
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
            m_connection.virtualKeyboardManager(), m_connection.seat());
    }
    // The seat's own keymap, so that the focused client's layout stays as it is.
    if (!uploadKeymap(seatKeymap.isEmpty() ? defaultKeymap() : seatKeymap))
        return false;
    m_basedOn = seatKeymap;
    // Keys sent before the compositor took the keymap would be lost.
    if (!m_connection.roundtrip())
        return false;
    if (!seatHadKeyboard) {
        (void)m_connection.roundtrip(); // the seat's new keyboard, as our own connection sees it
        QThread::msleep(kNewKeyboardGraceMs);
        m_connection.dispatchArrived();
    }
    return m_connection.isConnected();
}

bool WaylandKeySender::sendPaste(PasteKey key)
{
    if (!isTrusted() || !prepareKeyboard())
        return false;
    xkb_keymap *keymap = m_keymap.get();
    const KeyPosition main
        = positionOf(keymap, key == PasteKey::shiftInsert ? XKB_KEY_Insert : XKB_KEY_v);
    if (main.keycode == XKB_KEYCODE_INVALID || main.keycode < kEvdevOffset)
        return false;
    uint32_t mods = 0;
    if (key != PasteKey::shiftInsert)
        mods |= modifierMask(keymap, XKB_MOD_NAME_CTRL);
    if (key != PasteKey::ctrlV)
        mods |= modifierMask(keymap, XKB_MOD_NAME_SHIFT);

    // The modifiers are our keyboard's state, which replaces whatever the
    // user still holds: one keystroke, on top of nothing else.
    const uint32_t time = nowMs();
    const uint32_t code = main.keycode - kEvdevOffset;
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, mods, 0, 0, main.group);
    zwp_virtual_keyboard_v1_key(m_keyboard, time, code, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(m_keyboard, time + 1, code, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, main.group);
    return m_connection.flush();
}

} // namespace scrivlet
