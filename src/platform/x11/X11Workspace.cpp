// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Workspace.h"

#include "core/UniqueHandle.h"
#include "core/desktop/DesktopEntries.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstring>
#include <memory>

namespace scrivlet {

namespace {

template<typename T>
using Reply = MallocPtr<T>;

// Properties the window manager and toolkits set are small; more is refused.
constexpr uint32_t kMaxPropertyWords = 1024;

} // namespace

X11Workspace::X11Workspace(xcb_connection_t *connection, DesktopEntries &entries)
    : m_connection(connection)
    , m_entries(entries)
{
    if (m_connection) {
        const xcb_setup_t *setup = xcb_get_setup(m_connection);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        if (screens.rem > 0)
            m_root = screens.data->root;
    }
}

xcb_atom_t X11Workspace::atom(const char *name)
{
    if (const auto known = m_atoms.constFind(name); known != m_atoms.constEnd())
        return *known;
    const xcb_intern_atom_cookie_t cookie
        = xcb_intern_atom(m_connection, 1, uint16_t(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    // One that does not exist yet may exist later: asked again then.
    if (atom != XCB_ATOM_NONE)
        m_atoms.insert(name, atom);
    return atom;
}

QByteArray X11Workspace::property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    if (!m_connection || !window || name == XCB_ATOM_NONE)
        return {};
    const xcb_get_property_cookie_t cookie
        = xcb_get_property(m_connection, 0, window, name, type, 0, kMaxPropertyWords);
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    const int length = xcb_get_property_value_length(reply.get());
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
}

xcb_window_t X11Workspace::activeWindowId()
{
    const QByteArray value = property(m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (value.size() < int(sizeof(xcb_window_t)))
        return 0;
    xcb_window_t window = 0;
    std::memcpy(&window, value.constData(), sizeof window);
    return window;
}

std::optional<QString> X11Workspace::applicationIdOf(xcb_window_t window)
{
    if (!window)
        return std::nullopt;
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    std::optional<QString> announced;
    for (const char *name : {"_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"}) {
        const QString id = QString::fromUtf8(property(window, atom(name), utf8)).trimmed();
        if (!id.isEmpty()) {
            announced = id.endsWith(QLatin1String(".desktop")) ? id.chopped(8) : id;
            break;
        }
    }
    // Qt 6.11 announces its executable's name when a program set no desktop
    // file name: an id no entry has gives way to the entry WM_CLASS names.
    if (announced && m_entries.byId(*announced))
        return announced;
    // WM_CLASS holds two strings: the instance, then the class.
    const QList<QByteArray> parts
        = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    const QString instance = parts.size() > 0 ? QString::fromLocal8Bit(parts.at(0)) : QString();
    const QString windowClass = parts.size() > 1 ? QString::fromLocal8Bit(parts.at(1)) : QString();
    if (!windowClass.isEmpty()) {
        if (auto id = m_entries.idForWindowClass(windowClass, instance))
            return id;
    }
    if (announced)
        return announced;
    if (windowClass.isEmpty())
        return instance.isEmpty() ? std::nullopt : std::optional<QString>(instance);
    return windowClass;
}

std::optional<QString> X11Workspace::frontmostApplicationId()
{
    return applicationIdOf(activeWindowId());
}

QString X11Workspace::windowClassOf(xcb_window_t window)
{
    const QList<QByteArray> parts
        = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    return parts.size() > 1 ? QString::fromLocal8Bit(parts.at(1)) : QString();
}

bool X11Workspace::isDesktopOrDock(xcb_window_t window)
{
    const QByteArray types = property(window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
    const xcb_atom_t refused[]
        = {atom("_NET_WM_WINDOW_TYPE_DESKTOP"), atom("_NET_WM_WINDOW_TYPE_DOCK")};
    for (qsizetype at = 0; at + qsizetype(sizeof(xcb_atom_t)) <= types.size();
         at += sizeof(xcb_atom_t)) {
        xcb_atom_t type = XCB_ATOM_NONE;
        std::memcpy(&type, types.constData() + at, sizeof type);
        if (type != XCB_ATOM_NONE && std::ranges::count(refused, type) > 0)
            return true;
    }
    return false;
}

std::optional<WindowRef> X11Workspace::activeWindow()
{
    const xcb_window_t window = activeWindowId();
    if (!window || isDesktopOrDock(window))
        return std::nullopt;
    return WindowRef {window, applicationIdOf(window), windowClassOf(window)};
}

void X11Workspace::activate(quint64 window)
{
    if (!m_connection || !window)
        return;
    // Source 2 (a pager): window managers honour it from a program that is
    // not the window's own; the current time stands for "now".
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection, 0, m_root,
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char *>(&message));
    xcb_flush(m_connection);
}

} // namespace scrivlet
