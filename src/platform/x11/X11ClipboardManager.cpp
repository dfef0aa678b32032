// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11ClipboardManager.h"

#include "core/UniqueHandle.h"

#include <QPointer>
#include <QSocketNotifier>
#include <cstring>
#include <utility>

namespace scrivlet {

X11ClipboardManager::X11ClipboardManager(SaveHandler onSave, QObject *parent)
    : QObject(parent)
    , m_onSave(std::move(onSave))
    , m_connection(xcb_connect(nullptr, nullptr))
{
    if (xcb_connection_has_error(m_connection))
        return;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_window = xcb_generate_id(m_connection);
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    m_manager = atom("CLIPBOARD_MANAGER");
    m_saveTargets = atom("SAVE_TARGETS");
    m_targets = atom("TARGETS");
    m_null = atom("NULL");

    // Another manager keeps the role: two would race for every handover.
    const MallocPtr<xcb_get_selection_owner_reply_t> current(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_manager), nullptr));
    if (current && current->owner != XCB_NONE)
        return;
    xcb_set_selection_owner(m_connection, m_window, m_manager, XCB_CURRENT_TIME);
    // A round trip: the role is ours before the constructor returns, for a
    // program that quits right after.
    (void)MallocPtr<xcb_get_selection_owner_reply_t>(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_manager), nullptr));

    m_notifier
        = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11ClipboardManager::processEvents);
    processEvents();
}

X11ClipboardManager::~X11ClipboardManager()
{
    delete m_notifier;
    xcb_disconnect(m_connection);
}

xcb_atom_t X11ClipboardManager::atom(const char *name) const
{
    const MallocPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection,
        xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void X11ClipboardManager::answer(const xcb_selection_request_event_t &request, xcb_atom_t property)
{
    xcb_selection_notify_event_t event {};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request.time;
    event.requestor = request.requestor;
    event.selection = request.selection;
    event.target = request.target;
    event.property = property;
    xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
        reinterpret_cast<const char *>(&event));
    xcb_flush(m_connection);
}

void X11ClipboardManager::processEvents()
{
    while (const MallocPtr<xcb_generic_event_t> event {xcb_poll_for_event(m_connection)}) {
        const uint8_t type = event->response_type & 0x7f;
        // A SELECTION_CLEAR (another manager took over) needs nothing done.
        if (type != XCB_SELECTION_REQUEST)
            continue;
        const auto request = *reinterpret_cast<xcb_selection_request_event_t *>(event.get());
        // Old clients name no property: the target stands in for it.
        const xcb_atom_t property
            = request.property != XCB_ATOM_NONE ? request.property : request.target;
        const bool ours = request.selection == m_manager;
        if (ours && request.target == m_targets) {
            const xcb_atom_t offered[] {m_targets, m_saveTargets};
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                XCB_ATOM_ATOM, 32, 2, offered);
            answer(request, property);
        } else if (ours && request.target == m_saveTargets && m_onSave) {
            // The program waits for the answer before it quits.
            m_onSave([self = QPointer<X11ClipboardManager>(this), request, property](bool saved) {
                if (!self)
                    return;
                if (saved) {
                    // The protocol's success is an empty property of type NULL.
                    xcb_change_property(self->m_connection, XCB_PROP_MODE_REPLACE,
                        request.requestor, property, self->m_null, 32, 0, nullptr);
                }
                self->answer(request, saved ? property : xcb_atom_t(XCB_ATOM_NONE));
            });
        } else {
            answer(request, XCB_ATOM_NONE);
        }
    }
    xcb_flush(m_connection);
}

} // namespace scrivlet
