// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11ClipboardReader.h"

#include "core/UniqueHandle.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QHash>
#include <QMetaObject>
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace scrivlet {

namespace {

template<typename T>
using Reply = MallocPtr<T>;

class Failure
{
public:
    QString why;
};

X11ClipboardReader::OwnWindows ownWindows()
{
    auto *app = qGuiApp;
    auto *x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return {};
    const xcb_setup_t *setup = xcb_get_setup(x11->connection());
    return {setup->resource_id_base, setup->resource_id_mask};
}

// One X connection and a window of its own to receive the owner's answers.
class Session
{
public:
    Session(const X11ClipboardReader::Limits &limits, X11Selection selection)
        : m_limits(limits)
        , m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const bool primary = selection == X11Selection::primary;
        m_clipboard = primary ? xcb_atom_t(XCB_ATOM_PRIMARY) : atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_incr = atom("INCR");
        m_property = atom(primary ? "SCRIVLET_PRIMARY" : "SCRIVLET_CLIPBOARD");
        const xcb_query_extension_reply_t *xfixes
            = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        if (xfixes && xfixes->present) {
            // Required before any other XFixes request.
            [[maybe_unused]] const Reply<xcb_xfixes_query_version_reply_t> version(
                xcb_xfixes_query_version_reply(
                    m_connection, xcb_xfixes_query_version(m_connection, 1, 0), nullptr));
            m_xfixesEvent = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        }
        renewWindow();
        // Once answered, the server has taken the wish to hear of changes.
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }
    ~Session() { xcb_disconnect(m_connection); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    [[nodiscard]] bool isUsable() const
    {
        return !xcb_connection_has_error(m_connection) && m_window != 0;
    }

    ClipboardRead read(ReadScope scope, const X11ClipboardReader::OwnWindows &own, QString &why);

    // The bytes of one offered target, none when the owner could not
    // supply them (`why` then says so, if it said nothing yet).
    std::optional<QByteArray> fetch(xcb_atom_t target, qint64 cap, QString &why)
    {
        try {
            return convert(target, cap);
        } catch (const Failure &failure) {
            if (why.isEmpty())
                why = failure.why;
            return std::nullopt;
        }
    }

private:
    xcb_atom_t atom(const char *name)
    {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection,
            xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // A window no abandoned transfer knows: an owner still answering an
    // earlier request, or still sending its parts, writes to the old one.
    void renewWindow()
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const xcb_window_t window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        if (m_xfixesEvent != 0) {
            xcb_xfixes_select_selection_input(m_connection, window, m_clipboard,
                XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        }
        if (m_window != 0)
            xcb_destroy_window(m_connection, m_window);
        m_window = window;
        xcb_flush(m_connection);
    }

    // Keeps what the server says of the clipboard's owners.
    void note(const xcb_generic_event_t *event)
    {
        if (m_xfixesEvent == 0 || (event->response_type & 0x7f) != m_xfixesEvent)
            return;
        const auto *change = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
        if (change->selection == m_clipboard && change->owner == XCB_NONE)
            m_emptiedOnPurpose = change->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER;
    }

    void drainEvents()
    {
        while (Reply<xcb_generic_event_t> event {xcb_poll_for_event(m_connection)})
            note(event.get());
    }

    // The owner now; the server's notes of earlier changes have come first.
    xcb_window_t owner()
    {
        Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr));
        if (!reply)
            throw Failure {QStringLiteral("the X connection broke")};
        drainEvents();
        return reply->owner;
    }

    // The next event that `matches`, or a failure at the deadline.
    Reply<xcb_generic_event_t> waitFor(
        const std::function<bool(const xcb_generic_event_t *)> &matches, const QString &what)
    {
        xcb_flush(m_connection);
        QDeadlineTimer deadline(m_limits.deadlineMs);
        for (;;) {
            while (Reply<xcb_generic_event_t> event {xcb_poll_for_event(m_connection)}) {
                note(event.get());
                if (matches(event.get()))
                    return event;
            }
            if (xcb_connection_has_error(m_connection))
                throw Failure {QStringLiteral("the X connection broke")};
            const qint64 left = deadline.remainingTime();
            if (left <= 0)
                throw Failure {
                    QStringLiteral("the clipboard's owner did not answer %1 within %2 ms")
                        .arg(what)
                        .arg(m_limits.deadlineMs)};
            pollfd readable {xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&readable, 1, int(left));
        }
    }

    // Asks the owner for `target`; its bytes, none when it refused.
    std::optional<QByteArray> convert(xcb_atom_t target, qint64 cap)
    {
        try {
            return convertOnce(target, cap);
        } catch (const Failure &) {
            renewWindow();
            throw;
        }
    }

    std::optional<QByteArray> convertOnce(xcb_atom_t target, qint64 cap)
    {
        xcb_delete_property(m_connection, m_window, m_property);
        xcb_convert_selection(
            m_connection, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        Reply<xcb_generic_event_t> event = waitFor(
            [this, target](const xcb_generic_event_t *e) {
                if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                    return false;
                const auto *n = reinterpret_cast<const xcb_selection_notify_event_t *>(e);
                return n->requestor == m_window && n->selection == m_clipboard
                    && n->target == target;
            },
            QStringLiteral("a request"));
        const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event.get());
        if (notify->property == XCB_ATOM_NONE)
            return std::nullopt;
        return takeProperty(cap);
    }

    std::optional<QByteArray> takeProperty(qint64 cap)
    {
        Reply<xcb_get_property_reply_t> head(xcb_get_property_reply(m_connection,
            xcb_get_property(
                m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
            nullptr));
        if (!head)
            return std::nullopt;
        if (head->type == m_incr)
            return takeIncrementally(cap);
        if (qint64(head->bytes_after) > cap)
            throw Failure {QStringLiteral("the clipboard holds %1 bytes, more than the %2 allowed")
                               .arg(head->bytes_after)
                               .arg(cap)};
        Reply<xcb_get_property_reply_t> whole(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                (head->bytes_after + 3) / 4),
            nullptr));
        if (!whole)
            return std::nullopt;
        return QByteArray(static_cast<const char *>(xcb_get_property_value(whole.get())),
            xcb_get_property_value_length(whole.get())); // already in bytes
    }

    // INCR: the owner sends chunks, each once the previous one was taken,
    // and an empty one at the end.
    QByteArray takeIncrementally(qint64 cap)
    {
        QByteArray bytes;
        xcb_delete_property(m_connection, m_window, m_property);
        for (;;) {
            waitFor(
                [this](const xcb_generic_event_t *e) {
                    if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                        return false;
                    const auto *p = reinterpret_cast<const xcb_property_notify_event_t *>(e);
                    return p->window == m_window && p->atom == m_property
                        && p->state == XCB_PROPERTY_NEW_VALUE;
                },
                QStringLiteral("the next part of a large copy"));
            Reply<xcb_get_property_reply_t> chunk(xcb_get_property_reply(m_connection,
                xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY,
                    0, std::numeric_limits<uint32_t>::max() / 4),
                nullptr));
            if (!chunk)
                throw Failure {QStringLiteral("a large copy broke off")};
            const int length = xcb_get_property_value_length(chunk.get()); // in bytes
            if (length == 0)
                return bytes;
            if (bytes.size() + length > cap)
                throw Failure {
                    QStringLiteral("the clipboard holds more than the %1 bytes allowed").arg(cap)};
            bytes.append(static_cast<const char *>(xcb_get_property_value(chunk.get())), length);
        }
    }

    const X11ClipboardReader::Limits m_limits;
    xcb_connection_t *m_connection;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = XCB_ATOM_NONE;
    xcb_atom_t m_targets = XCB_ATOM_NONE;
    xcb_atom_t m_incr = XCB_ATOM_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
    uint8_t m_xfixesEvent = 0;
    // How the clipboard last became empty; unknown counts as its owner gone.
    bool m_emptiedOnPurpose = false;
};

// The owner's copy as the read policy sees it: each type asked for when the
// policy wants it, a failure costing that type only.
class OwnerSnapshot : public PasteboardSnapshot
{
public:
    OwnerSnapshot(Session &session, const X11ClipboardReader::Limits &limits,
        QHash<QString, xcb_atom_t> offered)
        : m_session(session)
        , m_limits(limits)
        , m_offered(std::move(offered))
    { }

    [[nodiscard]] bool hasType(const QString &type) const override
    {
        return m_offered.contains(type);
    }
    [[nodiscard]] std::optional<QByteArray> data(const QString &type) const override
    {
        const auto target = m_offered.constFind(type);
        if (target == m_offered.constEnd())
            return std::nullopt;
        return m_session.fetch(*target, m_limits.capFor(type), m_why);
    }
    [[nodiscard]] QString why() const { return m_why; }

private:
    Session &m_session;
    const X11ClipboardReader::Limits &m_limits;
    const QHash<QString, xcb_atom_t> m_offered;
    mutable QString m_why;
};

ClipboardRead Session::read(
    ReadScope scope, const X11ClipboardReader::OwnWindows &own, QString &why)
{
    ClipboardRead read;
    drainEvents();
    const xcb_window_t before = owner();
    if (before == XCB_NONE) {
        read.owner
            = m_emptiedOnPurpose ? ClipboardRead::Owner::cleared : ClipboardRead::Owner::vanished;
        return read;
    }
    read.ownWrite = own.contains(before);
    if (scope == ReadScope::ownerOnly)
        return read;

    const std::optional<QByteArray> targets = convert(m_targets, m_limits.maxOtherBytes);
    if (!targets)
        return read; // an owner that offers nothing
    const auto *atoms = reinterpret_cast<const xcb_atom_t *>(targets->constData());
    const qsizetype count
        = std::min<qsizetype>(targets->size() / qsizetype(sizeof(xcb_atom_t)), m_limits.maxTargets);
    // Names asked all at once: one round trip's wait, however many.
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    for (qsizetype i = 0; i < count; ++i)
        cookies.push_back(xcb_get_atom_name(m_connection, atoms[i]));
    QHash<QString, xcb_atom_t> offered;
    for (qsizetype i = 0; i < count; ++i) {
        Reply<xcb_get_atom_name_reply_t> name(
            xcb_get_atom_name_reply(m_connection, cookies[std::size_t(i)], nullptr));
        if (name) {
            offered.insert(QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                               xcb_get_atom_name_name_length(name.get())),
                atoms[i]);
        }
    }
    const OwnerSnapshot snapshot(*this, m_limits, std::move(offered));
    read.content = readClip(snapshot);
    if (!read.content)
        why = snapshot.why();
    // Taken over while it was read: what came after may be another copy's,
    // and that copy is read for its own change. One that merely went away
    // left us its whole copy or nothing.
    const xcb_window_t after = owner();
    if (after != before && after != XCB_NONE) {
        read.content.reset();
        why.clear();
    }
    return read;
}

} // namespace

X11ClipboardReader::X11ClipboardReader(Limits limits, X11Selection selection, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_selection(selection)
    , m_own(ownWindows())
    , m_worker([this] { run(); })
{
    // A clipboard emptied just after this returns is told as emptied; a
    // server that does not answer soon delays no more than this.
    constexpr auto kListenWait = std::chrono::seconds(2);
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, kListenWait, [this] { return m_listening; });
}

X11ClipboardReader::~X11ClipboardReader()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void X11ClipboardReader::read(ReadScope scope, Done done)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({scope, std::move(done)});
    }
    m_wake.notify_one();
}

void X11ClipboardReader::run()
{
    // Made at once, so that it hears how the clipboard is emptied from the start.
    auto session = std::make_unique<Session>(m_limits, m_selection);
    {
        const std::lock_guard lock(m_mutex);
        m_listening = true;
    }
    m_wake.notify_all();
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        ClipboardRead read;
        QString why;
        if (!session->isUsable())
            session = std::make_unique<Session>(m_limits, m_selection);
        if (!session->isUsable()) {
            why = QStringLiteral("no X server to read the clipboard from");
        } else {
            try {
                read = session->read(job.scope, m_own, why);
            } catch (const Failure &failure) {
                why = failure.why;
            }
        }
        // Only a copy asked for can go unrecorded.
        if (job.scope == ReadScope::ownerOnly)
            why.clear();
        // Back on the reader's own thread, in the order asked.
        QMetaObject::invokeMethod(
            this, [done = std::move(job.done), read, why] { done(read, why); },
            Qt::QueuedConnection);
    }
}

} // namespace scrivlet
