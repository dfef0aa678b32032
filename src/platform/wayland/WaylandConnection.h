// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <memory>

class QSocketNotifier;
struct wl_display;
struct wl_keyboard;
struct wl_registry;
struct wl_seat;
struct org_kde_kwin_fake_input;
struct org_kde_plasma_window_management;
struct wl_interface;
struct zwlr_foreign_toplevel_manager_v1;
struct zwp_virtual_keyboard_manager_v1;

namespace scrivlet {

// A Wayland connection of our own, dispatched from the event loop of the
// thread that made it: Qt's own connection only hears about our windows.
// Everything made on it (the key sender's keyboard, the workspace's toplevels)
// must be destroyed before it.
class WaylandConnection : public QObject
{
    Q_OBJECT
public:
    explicit WaylandConnection(QObject *parent = nullptr);
    ~WaylandConnection() override;
    WaylandConnection(const WaylandConnection &) = delete;
    WaylandConnection &operator=(const WaylandConnection &) = delete;

    [[nodiscard]] bool isConnected() const { return m_display && !m_lost; }
    // Waits for the compositor to have answered every request sent so far and
    // dispatches what came meanwhile; false when it did not answer within
    // about a second or the connection is gone.
    [[nodiscard]] bool roundtrip();
    // Dispatches what has already arrived, without waiting.
    void dispatchArrived();
    // Sends the requests made so far; false when the connection is gone.
    bool flush();

    // Null when not connected or not offered.
    [[nodiscard]] wl_seat *seat() const { return isConnected() ? m_seat : nullptr; }
    [[nodiscard]] zwp_virtual_keyboard_manager_v1 *virtualKeyboardManager() const;
    // KWin offers it only to a program its desktop entry grants it to.
    [[nodiscard]] org_kde_kwin_fake_input *fakeInput() const;
    // Bound on the first call, by the one who listens to it.
    [[nodiscard]] zwlr_foreign_toplevel_manager_v1 *toplevelManager();
    // Bound on the first call, by the one who listens to it; KWin offers it
    // only to a program its desktop entry grants it to.
    [[nodiscard]] org_kde_plasma_window_management *windowManagement();
    [[nodiscard]] quint32 windowManagementVersion() const { return m_windowManagement.version; }

    // The seat's keymap as the compositor last sent it (XKB text); empty
    // before the seat has a keyboard.
    [[nodiscard]] QByteArray keymap() const { return m_keymap; }
    // The seat's keyboard capability, as last announced.
    [[nodiscard]] bool seatHasKeyboard() const { return m_seatHasKeyboard; }
    // The layout group last announced to us; 0 when none was.
    [[nodiscard]] quint32 layoutGroup() const { return m_group; }

private:
    struct Listeners;
    friend struct Listeners;
    // A global bound only once someone listens to it.
    struct Offer
    {
        quint32 name = 0;
        quint32 version = 0;
        void *bound = nullptr;
    };

    void *bind(Offer &offer, const wl_interface &interface);

    void onReadable();
    // After a failed call: logs why once and stops everything.
    void checkError();
    void lose(const QString &why);
    void setSeatCapabilities(quint32 capabilities);

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    quint32 m_seatVersion = 0;
    wl_keyboard *m_keyboard = nullptr;
    zwp_virtual_keyboard_manager_v1 *m_keyboardManager = nullptr;
    org_kde_kwin_fake_input *m_fakeInput = nullptr;
    Offer m_toplevelManager;
    Offer m_windowManagement;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_keymap;
    quint32 m_group = 0;
    bool m_seatHasKeyboard = false;
    bool m_lost = false;
};

} // namespace scrivlet
