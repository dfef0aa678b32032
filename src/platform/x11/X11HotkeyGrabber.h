// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "X11KeyboardLayout.h"
#include "core/services/HotkeyGrabber.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <optional>
#include <xcb/xcb.h>

namespace scrivlet {

// Passive grabs on the root window, one per combination of Num Lock and Caps
// Lock. Keys are found by their position's XKB name, so the grab holds on
// keyboards whose keycodes are not evdev's; a keymap change grabs anew.
class X11HotkeyGrabber : public HotkeyGrabber, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit X11HotkeyGrabber(xcb_connection_t *connection, QObject *parent = nullptr);
    ~X11HotkeyGrabber() override;

    [[nodiscard]] bool grab(const GlobalShortcuts::Shortcut &shortcut) override;
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // The X keycode at the key's position; none when it has none here.
    [[nodiscard]] std::optional<xcb_keycode_t> keycodeFor(int keyCode) const;

private:
    struct Grab
    {
        GlobalShortcuts::Shortcut shortcut;
        xcb_keycode_t keycode;
        uint16_t modifiers;
    };
    [[nodiscard]] bool grabKey(xcb_keycode_t keycode, uint16_t modifiers);
    void ungrabKey(xcb_keycode_t keycode, uint16_t modifiers);
    [[nodiscard]] QList<uint16_t> lockCombinations() const;
    void reloadKeymap();

    xcb_connection_t *m_connection;
    xcb_window_t m_root = 0;
    X11KeyboardLayout m_layout;
    QList<Grab> m_grabs;
    uint16_t m_numLockMask = 0;
    // The keycode of the combination being held, so that its release (often
    // after Super was let go) is matched, and repeats are ignored.
    std::optional<xcb_keycode_t> m_held;
};

} // namespace scrivlet
