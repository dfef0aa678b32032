// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>
#include <xcb/xcb.h>

class QSocketNotifier;

namespace scrivlet {

// The freedesktop clipboard manager: owns CLIPBOARD_MANAGER, so that GTK and
// Qt programs that quit hand their clipboard over (SAVE_TARGETS) instead of
// taking it with them. Runs on the main thread over its own X connection,
// never waiting on it.
class X11ClipboardManager : public QObject
{
    Q_OBJECT

public:
    using Reply = std::function<void(bool saved)>;
    // A quitting program asks for its clipboard to be kept: see that the
    // current copy is taken, then reply.
    using SaveHandler = std::function<void(Reply reply)>;

    explicit X11ClipboardManager(SaveHandler onSave, QObject *parent = nullptr);
    ~X11ClipboardManager() override;

private:
    void processEvents();
    void answer(const xcb_selection_request_event_t &request, xcb_atom_t property);
    [[nodiscard]] xcb_atom_t atom(const char *name) const;

    SaveHandler m_onSave;
    xcb_connection_t *m_connection;
    xcb_window_t m_window = 0;
    xcb_atom_t m_manager = XCB_ATOM_NONE;
    xcb_atom_t m_saveTargets = XCB_ATOM_NONE;
    xcb_atom_t m_targets = XCB_ATOM_NONE;
    xcb_atom_t m_null = XCB_ATOM_NONE;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace scrivlet
