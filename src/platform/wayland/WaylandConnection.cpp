// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandConnection.h"

#include "fake-input-client.h"
#include "plasma-window-management-client.h"
#include "platform/linux/UniqueFd.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QtDebug>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <wayland-client.h>

namespace scrivlet {

namespace {

// A compositor that does not answer within this is treated as stalled for
// the question at hand; it may still answer later.
constexpr int kRoundtripMs = 1000;
constexpr quint32 kSeatVersion = 5;
constexpr quint32 kToplevelManagerVersion = 3;
// Keys came in version 4; the protocol file we build from stops there.
constexpr quint32 kFakeInputVersion = 4;
// Windows named by uuid came in version 13; our protocol file stops at 16.
constexpr quint32 kWindowManagementMinVersion = 13;
constexpr quint32 kWindowManagementVersion = 16;
// The keymap is a few tens of kilobytes; anything far larger is not one.
constexpr quint32 kKeymapCap = 4 << 20;

void log(const char *what, const QString &why)
{
    qWarning().noquote() << QStringLiteral("Scrivlet: %1: %2").arg(QLatin1String(what), why);
}

int msLeft(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

// One read in the prepare_read pattern, waiting up to timeoutMs for data;
// stops early when *until is already true.
bool readAndDispatch(wl_display *display, int timeoutMs, const bool *until)
{
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    }
    if (until && *until) {
        wl_display_cancel_read(display);
        return true;
    }
    pollfd fd {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) > 0) {
        if (wl_display_read_events(display) < 0)
            return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0;
}

} // namespace

struct WaylandConnection::Listeners
{
    static void global(
        void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
    {
        auto *self = static_cast<WaylandConnection *>(data);
        const auto is = [interface](const wl_interface &candidate) {
            return std::strcmp(interface, candidate.name) == 0;
        };
        // The first seat is the user's: compositors here offer one.
        if (is(wl_seat_interface) && !self->m_seat) {
            self->m_seatVersion = qMin(version, kSeatVersion);
            self->m_seat = static_cast<wl_seat *>(
                wl_registry_bind(registry, name, &wl_seat_interface, self->m_seatVersion));
            wl_seat_add_listener(self->m_seat, &seatListener, self);
        } else if (is(zwp_virtual_keyboard_manager_v1_interface) && !self->m_keyboardManager) {
            self->m_keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        } else if (is(org_kde_kwin_fake_input_interface) && !self->m_fakeInput
            && version >= kFakeInputVersion) {
            self->m_fakeInput = static_cast<org_kde_kwin_fake_input *>(wl_registry_bind(
                registry, name, &org_kde_kwin_fake_input_interface, kFakeInputVersion));
        } else if (is(zwlr_foreign_toplevel_manager_v1_interface)
            && !self->m_toplevelManager.name) {
            // Bound when a workspace listens: unheard, every window's handle
            // would be made by libwayland and never destroyed.
            self->m_toplevelManager = {name, qMin(version, kToplevelManagerVersion)};
        } else if (is(org_kde_plasma_window_management_interface) && !self->m_windowManagement.name
            && version >= kWindowManagementMinVersion) {
            self->m_windowManagement = {name, qMin(version, kWindowManagementVersion)};
        }
    }
    // Seats and managers are not withdrawn while a session lasts.
    static void globalRemove(void *, wl_registry *, uint32_t) { }

    static void capabilities(void *data, wl_seat *, uint32_t capabilities)
    {
        static_cast<WaylandConnection *>(data)->setSeatCapabilities(capabilities);
    }
    static void seatName(void *, wl_seat *, const char *) { }

    static void keymap(void *data, wl_keyboard *, uint32_t format, int32_t fd, uint32_t size)
    {
        auto *self = static_cast<WaylandConnection *>(data);
        const UniqueFd file(fd);
        QByteArray text;
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0 && size <= kKeymapCap) {
            void *mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.get(), 0);
            if (mapped != MAP_FAILED) {
                const auto *bytes = static_cast<const char *>(mapped);
                text = QByteArray(bytes, qsizetype(strnlen(bytes, size)));
                munmap(mapped, size);
            }
        }
        if (!text.isEmpty())
            self->m_keymap = text;
    }
    // We own no surface: focus and keys never come here, only the group.
    static void enter(void *, wl_keyboard *, uint32_t, wl_surface *, wl_array *) { }
    static void leave(void *, wl_keyboard *, uint32_t, wl_surface *) { }
    static void key(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) { }
    static void modifiers(
        void *data, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t group)
    {
        static_cast<WaylandConnection *>(data)->m_group = group;
    }
    static void repeatInfo(void *, wl_keyboard *, int32_t, int32_t) { }

    static void syncDone(void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; }

    static constexpr wl_registry_listener registryListener {global, globalRemove};
    static constexpr wl_seat_listener seatListener {capabilities, seatName};
    static constexpr wl_keyboard_listener keyboardListener {
        keymap, enter, leave, key, modifiers, repeatInfo};
    static constexpr wl_callback_listener syncListener {syncDone};
};

WaylandConnection::WaylandConnection(QObject *parent)
    : QObject(parent)
{
    // Without this check libwayland would try "wayland-0" on its own.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_SOCKET")) {
        log("no Wayland connection", QStringLiteral("WAYLAND_DISPLAY is not set"));
        return;
    }
    m_display = wl_display_connect(nullptr);
    if (!m_display) {
        log("no Wayland connection", QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_notifier
        = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &WaylandConnection::onReadable);
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &Listeners::registryListener, this);
    // The globals, then the seat's capabilities, then its keyboard's keymap:
    // each answer leads to the next request.
    if (roundtrip() && m_seat && roundtrip() && m_keyboard)
        (void)roundtrip();
}

WaylandConnection::~WaylandConnection()
{
    m_notifier.reset();
    if (!m_display)
        return;
    if (m_keyboard) {
        if (m_seatVersion >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(m_keyboard);
        else
            wl_keyboard_destroy(m_keyboard);
    }
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_keyboardManager)
        zwp_virtual_keyboard_manager_v1_destroy(m_keyboardManager);
    if (m_fakeInput)
        org_kde_kwin_fake_input_destroy(m_fakeInput);
    if (m_toplevelManager.bound)
        zwlr_foreign_toplevel_manager_v1_destroy(
            static_cast<zwlr_foreign_toplevel_manager_v1 *>(m_toplevelManager.bound));
    if (m_windowManagement.bound)
        org_kde_plasma_window_management_destroy(
            static_cast<org_kde_plasma_window_management *>(m_windowManagement.bound));
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (!m_lost)
        wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

zwp_virtual_keyboard_manager_v1 *WaylandConnection::virtualKeyboardManager() const
{
    return isConnected() ? m_keyboardManager : nullptr;
}

org_kde_kwin_fake_input *WaylandConnection::fakeInput() const
{
    return isConnected() ? m_fakeInput : nullptr;
}

void *WaylandConnection::bind(Offer &offer, const wl_interface &interface)
{
    if (!isConnected())
        return nullptr;
    if (!offer.bound && offer.name)
        offer.bound = wl_registry_bind(m_registry, offer.name, &interface, offer.version);
    return offer.bound;
}

zwlr_foreign_toplevel_manager_v1 *WaylandConnection::toplevelManager()
{
    return static_cast<zwlr_foreign_toplevel_manager_v1 *>(
        bind(m_toplevelManager, zwlr_foreign_toplevel_manager_v1_interface));
}

org_kde_plasma_window_management *WaylandConnection::windowManagement()
{
    return static_cast<org_kde_plasma_window_management *>(
        bind(m_windowManagement, org_kde_plasma_window_management_interface));
}

void WaylandConnection::setSeatCapabilities(quint32 capabilities)
{
    m_seatHasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (m_seatHasKeyboard && !m_keyboard) {
        m_keyboard = wl_seat_get_keyboard(m_seat);
        wl_keyboard_add_listener(m_keyboard, &Listeners::keyboardListener, this);
    } else if (!m_seatHasKeyboard && m_keyboard) {
        // The last keymap stays: it still says what the layout was.
        if (m_seatVersion >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(m_keyboard);
        else
            wl_keyboard_destroy(m_keyboard);
        m_keyboard = nullptr;
    }
}

void WaylandConnection::checkError()
{
    if (!m_display || m_lost)
        return;
    const int error = wl_display_get_error(m_display);
    if (!error)
        return;
    QString why = QString::fromLocal8Bit(std::strerror(error));
    const wl_interface *interface = nullptr;
    quint32 object = 0;
    if (error == EPROTO) {
        const quint32 code = wl_display_get_protocol_error(m_display, &interface, &object);
        why = QStringLiteral("protocol error %1 on %2@%3")
                  .arg(code)
                  .arg(QLatin1String(interface ? interface->name : "?"))
                  .arg(object);
    }
    lose(why);
}

void WaylandConnection::lose(const QString &why)
{
    if (m_lost)
        return;
    m_lost = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    log("Wayland connection lost", why);
}

void WaylandConnection::onReadable()
{
    dispatchArrived();
}

void WaylandConnection::dispatchArrived()
{
    if (!isConnected())
        return;
    if (!readAndDispatch(m_display, 0, nullptr))
        checkError();
    flush(); // listeners may have made requests
}

bool WaylandConnection::flush()
{
    if (!isConnected())
        return false;
    const QDeadlineTimer deadline(kRoundtripMs);
    while (wl_display_flush(m_display) < 0) {
        const int error = errno;
        if (error == EAGAIN) {
            // The socket is full: the compositor reads slowly, or not at all.
            pollfd fd {wl_display_get_fd(m_display), POLLOUT, 0};
            if (!deadline.hasExpired() && poll(&fd, 1, msLeft(deadline)) > 0)
                continue;
            return false;
        }
        // A broken pipe leaves the compositor's last words to read: they say why.
        (void)readAndDispatch(m_display, 0, nullptr);
        checkError();
        lose(QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    return true;
}

bool WaylandConnection::roundtrip()
{
    if (!isConnected())
        return false;
    bool done = false;
    wl_callback *callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &Listeners::syncListener, &done);
    const QDeadlineTimer deadline(kRoundtripMs);
    while (!done && flush()) {
        if (!readAndDispatch(m_display, msLeft(deadline), &done)) {
            checkError();
            break;
        }
        if (deadline.hasExpired())
            break;
    }
    // Destroyed unanswered, its late answer is dropped and never reaches `done`.
    wl_callback_destroy(callback);
    return done && isConnected();
}

} // namespace scrivlet
