// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11ClipboardReader.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <xcb/xcb.h>

namespace scrivlet {

namespace {

struct FreeDeleter
{
    void operator()(void *pointer) const { std::free(pointer); }
};
template<typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Text comes under several names; the first one offered is read.
const QList<QByteArray> kTextTargets {
    "UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING"};

class Failure
{
public:
    QString why;
};

// One X connection and a window of its own to receive the owner's answers.
class Session
{
public:
    explicit Session(const X11ClipboardReader::Limits &limits)
        : m_limits(limits)
        , m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_incr = atom("INCR");
        m_property = atom("SCRIVLET_CLIPBOARD");
    }
    ~Session() { xcb_disconnect(m_connection); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    [[nodiscard]] bool isUsable() const
    {
        return !xcb_connection_has_error(m_connection) && m_window != 0;
    }

    std::shared_ptr<MimeSnapshot> read(const QStringList &wanted)
    {
        auto snapshot = std::make_shared<MimeSnapshot>();
        // Whatever an earlier, abandoned transfer left behind.
        xcb_delete_property(m_connection, m_window, m_property);
        drainEvents();
        const std::optional<QByteArray> targets = convert(m_targets, m_limits.maxOtherBytes);
        if (!targets) {
            // No owner at all, or one that offers nothing.
            Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
                m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr));
            snapshot->setHasOwner(owner && owner->owner != XCB_NONE);
            return snapshot;
        }
        QHash<QByteArray, xcb_atom_t> offered;
        const auto *atoms = reinterpret_cast<const xcb_atom_t *>(targets->constData());
        const qsizetype count = std::min<qsizetype>(
            targets->size() / qsizetype(sizeof(xcb_atom_t)), m_limits.maxTargets);
        // Names asked all at once: one round trip's wait, however many.
        std::vector<xcb_get_atom_name_cookie_t> cookies;
        for (qsizetype i = 0; i < count; ++i)
            cookies.push_back(xcb_get_atom_name(m_connection, atoms[i]));
        for (qsizetype i = 0; i < count; ++i) {
            Reply<xcb_get_atom_name_reply_t> name(
                xcb_get_atom_name_reply(m_connection, cookies[std::size_t(i)], nullptr));
            if (!name)
                continue;
            const QByteArray text(
                xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
            offered.insert(text, atoms[i]);
        }
        for (auto it = offered.cbegin(); it != offered.cend(); ++it)
            snapshot->offer(QString::fromLatin1(it.key()));

        for (const QString &type : wanted) {
            // A secret's contents are never asked for.
            if (!mime::kMarkers.contains(type) && type != mime::kPasswordManagerHint
                && isPrivate(*snapshot))
                return snapshot;
            if (type == mime::kText) {
                readText(offered, *snapshot);
                continue;
            }
            const xcb_atom_t target = offered.value(type.toLatin1(), XCB_ATOM_NONE);
            if (target == XCB_ATOM_NONE)
                continue;
            const qint64 cap = type.startsWith(QLatin1String("image/")) ? m_limits.maxImageBytes
                                                                        : m_limits.maxOtherBytes;
            const std::optional<QByteArray> bytes = convert(target, cap);
            // Offered but not delivered stays "offered, no bytes".
            if (bytes)
                snapshot->set(type, *bytes);
        }
        return snapshot;
    }

private:
    xcb_atom_t atom(const char *name)
    {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection,
            xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    void readText(const QHash<QByteArray, xcb_atom_t> &offered, MimeSnapshot &snapshot)
    {
        for (const QByteArray &name : kTextTargets) {
            const xcb_atom_t target = offered.value(name, XCB_ATOM_NONE);
            if (target == XCB_ATOM_NONE)
                continue;
            const std::optional<QByteArray> bytes = convert(target, m_limits.maxOtherBytes);
            if (!bytes)
                return;
            // STRING is Latin-1 by definition.
            snapshot.set(
                mime::kText, name == "STRING" ? QString::fromLatin1(*bytes).toUtf8() : *bytes);
            return;
        }
    }

    void drainEvents()
    {
        while (Reply<xcb_generic_event_t> event {xcb_poll_for_event(m_connection)}) { }
    }

    // The next event that `matches`, or a failure at the deadline.
    Reply<xcb_generic_event_t> waitFor(
        const std::function<bool(const xcb_generic_event_t *)> &matches, const QString &what)
    {
        xcb_flush(m_connection);
        QDeadlineTimer deadline(m_limits.deadlineMs);
        for (;;) {
            while (Reply<xcb_generic_event_t> event {xcb_poll_for_event(m_connection)}) {
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
        xcb_convert_selection(
            m_connection, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        Reply<xcb_generic_event_t> event = waitFor(
            [this, target](const xcb_generic_event_t *e) {
                if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                    return false;
                // A late answer to an abandoned request is not this one's.
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
};

} // namespace

X11ClipboardReader::X11ClipboardReader(Limits limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_worker([this] { run(); })
{ }

X11ClipboardReader::~X11ClipboardReader()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void X11ClipboardReader::read(const QStringList &wanted, Done done)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({wanted, std::move(done)});
    }
    m_wake.notify_one();
}

void X11ClipboardReader::run()
{
    std::unique_ptr<Session> session;
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
        std::shared_ptr<MimeSnapshot> snapshot;
        QString why;
        if (!session || !session->isUsable())
            session = std::make_unique<Session>(m_limits);
        if (!session->isUsable()) {
            why = QStringLiteral("no X server to read the clipboard from");
        } else {
            try {
                snapshot = session->read(job.wanted);
            } catch (const Failure &failure) {
                why = failure.why;
            }
        }
        // Back on the reader's own thread, in the order asked.
        QMetaObject::invokeMethod(
            this, [done = std::move(job.done), snapshot, why] { done(snapshot, why); },
            Qt::QueuedConnection);
    }
}

} // namespace scrivlet
