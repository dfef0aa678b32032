// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandPasteboard.h"

#include "core/capture/MimeSnapshot.h"
#include "ext-data-control-v1-client.h"
#include "platform/linux/QtClipboardWriter.h"
#include "wlr-data-control-unstable-v1-client.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMetaObject>
#include <QPointer>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>

namespace scrivlet {

namespace {

// The ext and wlr data-control protocols have the same requests and events
// in the same order: one code path speaks both through the raw proxy calls,
// with the interfaces of the one the compositor offers.
static_assert(EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE
    == ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE);
static_assert(
    EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE);
static_assert(EXT_DATA_CONTROL_MANAGER_V1_DESTROY == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
static_assert(
    EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_OFFER == ZWLR_DATA_CONTROL_SOURCE_V1_OFFER);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_DESTROY == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY);
static_assert(EXT_DATA_CONTROL_OFFER_V1_RECEIVE == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE);
static_assert(EXT_DATA_CONTROL_OFFER_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);

struct Protocol
{
    const wl_interface *manager;
    const wl_interface *device;
    const wl_interface *source;
    uint32_t maxVersion;
};
const Protocol kExt {&ext_data_control_manager_v1_interface, &ext_data_control_device_v1_interface,
    &ext_data_control_source_v1_interface, 1};
// Version 2 adds the primary selection, which we drop.
const Protocol kWlr {&zwlr_data_control_manager_v1_interface,
    &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface, 2};

// The listeners' shapes, shared by both protocols.
struct DeviceListener
{
    void (*dataOffer)(void *, wl_proxy *, wl_proxy *);
    void (*selection)(void *, wl_proxy *, wl_proxy *);
    void (*finished)(void *, wl_proxy *);
    void (*primarySelection)(void *, wl_proxy *, wl_proxy *);
};
struct OfferListener
{
    void (*offer)(void *, wl_proxy *, const char *);
};
struct SourceListener
{
    void (*send)(void *, wl_proxy *, const char *, int32_t);
    void (*cancelled)(void *, wl_proxy *);
};

template<typename Listener>
void listen(wl_proxy *proxy, const Listener &listener, void *data)
{
    // libwayland takes the table as mutable but never writes it.
    wl_proxy_add_listener(
        proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener *>(&listener)), data);
}

void destroyProxy(wl_proxy *proxy, uint32_t opcode)
{
    wl_proxy_marshal_flags(
        proxy, opcode, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}

// Our text is offered under each of its usual names.
const QList<QByteArray> kTextTypes {
    "text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

QStringList typeSet(QStringList types)
{
    types.sort();
    types.removeDuplicates();
    return types;
}

// Bytes of a pipe we read from or write to, closed once.
class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    { }
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    { }
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    [[nodiscard]] int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

struct Failure
{
    QString why;
};

// An application's copy as the compositor describes it.
struct Offer
{
    wl_proxy *proxy = nullptr;
    QStringList types;

    Offer() = default;
    Offer(const Offer &) = delete;
    Offer &operator=(const Offer &) = delete;
    ~Offer()
    {
        if (proxy)
            destroyProxy(proxy, ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);
    }
};

// What Scrivlet put on the clipboard, served until another copy replaces it.
struct Source
{
    quint64 id = 0;
    std::shared_ptr<const Pasteboard::Representations> representations;
    // As offered, once each and sorted: the compositor's offer of it lists
    // the same.
    QStringList types;
};

// Our bytes on their way to a reader that may be slow or never read.
struct Transfer
{
    Fd fd;
    QByteArray bytes;
    qsizetype written = 0;
    QDeadlineTimer stall;
};

constexpr int kServeStallMs = 10000;

} // namespace

class WaylandPasteboard::Worker
{
public:
    Worker(WaylandPasteboard &owner, ClipboardLimits limits)
        : m_owner(owner)
        , m_limits(limits)
    {
        m_display = wl_display_connect(nullptr);
        if (!m_display) {
            m_why = QStringLiteral("no Wayland compositor to connect to");
            return;
        }
        m_registry = wl_display_get_registry(m_display);
        static const wl_registry_listener registryListener {
            [](void *data, wl_registry *registry, uint32_t name, const char *interface,
                uint32_t version) {
                static_cast<Worker *>(data)->global(registry, name, interface, version);
            },
            [](void *, wl_registry *, uint32_t) {}};
        wl_registry_add_listener(m_registry, &registryListener, this);
        if (wl_display_roundtrip(m_display) < 0) {
            m_why = QStringLiteral("the compositor closed the connection");
            return;
        }
        if (!m_seat || !m_manager) {
            m_why = !m_seat ? QStringLiteral("the compositor has no seat")
                            : QStringLiteral("the compositor offers no data-control protocol");
            return;
        }
        m_device = static_cast<wl_proxy *>(
            wl_proxy_marshal_flags(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE,
                m_protocol->device, wl_proxy_get_version(m_manager), 0, nullptr, m_seat));
        static const DeviceListener deviceListener {[](void *data, wl_proxy *, wl_proxy *offer) {
                                                        static_cast<Worker *>(data)->introduce(
                                                            offer);
                                                    },
            [](void *data, wl_proxy *, wl_proxy *offer) {
                static_cast<Worker *>(data)->select(offer);
            },
            [](void *data, wl_proxy *) { static_cast<Worker *>(data)->finish(); },
            [](void *data, wl_proxy *, wl_proxy *offer) {
                static_cast<Worker *>(data)->m_introduced.erase(offer);
            }};
        listen(m_device, deviceListener, this);
        // The current copy arrives now, before anyone watches the count.
        if (wl_display_roundtrip(m_display) < 0 || !m_device) {
            m_why = QStringLiteral("the compositor refused data control");
            return;
        }
        m_bound = true;
        m_wake = Fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        m_available = true;
        m_thread = std::thread([this] { run(); });
    }

    ~Worker()
    {
        if (m_thread.joinable()) {
            {
                const std::lock_guard lock(m_mutex);
                m_stopping = true;
            }
            wake();
            m_thread.join();
        }
        m_current.reset();
        m_introduced.clear();
        m_transfers.clear();
        for (auto &[proxy, source] : m_sources)
            destroyProxy(proxy, ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY);
        m_sources.clear();
        if (m_device)
            destroyProxy(m_device, ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY);
        if (m_manager)
            destroyProxy(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
        if (m_seat)
            wl_proxy_destroy(m_seat);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display)
            wl_display_disconnect(m_display);
    }

    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    [[nodiscard]] bool isAvailable() const { return m_available.load(); }
    [[nodiscard]] QString protocolName() const
    {
        if (!m_manager)
            return {};
        return QLatin1String(m_protocol->manager->name);
    }
    [[nodiscard]] QString why() const { return m_why; }

    void read(ReadScope scope, ReadHandler handler) { post({std::move(handler), scope, nullptr}); }
    void write(const Representations &representations)
    {
        post({nullptr, ReadScope::ownerOnly,
            std::make_shared<const Representations>(representations)});
    }

private:
    struct Job
    {
        ReadHandler read;
        ReadScope scope;
        std::shared_ptr<const Representations> write;
    };

    void post(Job job)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        wake();
    }

    void wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake.get(), &one, sizeof one);
    }

    void global(wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
    {
        // What the compositor offers later is not taken up: the protocol in
        // use is read from the main thread.
        if (m_bound)
            return;
        const auto bind = [&](const wl_interface *type, uint32_t maxVersion) {
            return static_cast<wl_proxy *>(
                wl_registry_bind(registry, name, type, std::min(version, maxVersion)));
        };
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !m_seat) {
            m_seat = bind(&wl_seat_interface, 1);
        } else if (std::strcmp(interface, kExt.manager->name) == 0) {
            // The standard protocol wins over the wlroots one.
            if (m_manager)
                destroyProxy(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
            m_protocol = &kExt;
            m_manager = bind(kExt.manager, kExt.maxVersion);
        } else if (std::strcmp(interface, kWlr.manager->name) == 0 && m_protocol != &kExt) {
            m_protocol = &kWlr;
            m_manager = bind(kWlr.manager, kWlr.maxVersion);
        }
    }

    void introduce(wl_proxy *proxy)
    {
        auto offer = std::make_shared<Offer>();
        offer->proxy = proxy;
        static const OfferListener offerListener {[](void *data, wl_proxy *, const char *type) {
            auto *offer = static_cast<Offer *>(data);
            offer->types << QString::fromUtf8(type);
        }};
        listen(proxy, offerListener, offer.get());
        m_introduced[proxy] = std::move(offer);
    }

    void select(wl_proxy *proxy)
    {
        std::shared_ptr<Offer> offer;
        if (proxy) {
            const auto it = m_introduced.find(proxy);
            if (it != m_introduced.end()) {
                offer = std::move(it->second);
                m_introduced.erase(it);
            }
        }
        m_current = std::move(offer);
        m_currentOwn = claimOwn(m_current.get());
        m_owner.m_changeCount.fetch_add(1);
    }

    // Our copy, when this offer is the compositor's answer to a
    // set_selection of ours. Another application's copy may be announced
    // between our request and its answer: an answer is known by the types
    // it lists, taken in the order we asked.
    std::shared_ptr<const Representations> claimOwn(const Offer *offer)
    {
        if (!offer)
            return nullptr;
        for (auto pending = m_setOrder.begin(); pending != m_setOrder.end(); ++pending) {
            for (const auto &[proxy, source] : m_sources) {
                if (source.id != *pending || source.types != typeSet(offer->types))
                    continue;
                // Requests before it that were never answered never will be.
                m_setOrder.erase(m_setOrder.begin(), std::next(pending));
                return source.representations;
            }
        }
        return nullptr;
    }

    void finish()
    {
        qWarning("Scrivlet: the compositor ended data control; copies are no longer recorded.");
        m_available = false;
        m_current.reset();
        m_currentOwn.reset();
    }

    void serve(wl_proxy *proxy, const char *type, int32_t fd)
    {
        Fd pipe(fd);
        const auto it = m_sources.find(proxy);
        if (it == m_sources.end())
            return;
        const QByteArray wanted(type);
        QByteArray bytes;
        bool found = false;
        for (const auto &[name, data] : *it->second.representations) {
            if (name == QLatin1String(wanted)
                || (name == mime::kText && kTextTypes.contains(wanted))) {
                bytes = wanted == "STRING" ? QString::fromUtf8(data).toLatin1() : data;
                found = true;
                break;
            }
        }
        if (!found)
            return;
        ::fcntl(pipe.get(), F_SETFL, ::fcntl(pipe.get(), F_GETFL) | O_NONBLOCK);
        Transfer transfer {std::move(pipe), std::move(bytes), 0, QDeadlineTimer(kServeStallMs)};
        if (!pushTransfer(transfer))
            m_transfers.push_back(std::move(transfer));
    }

    // Writes what the reader takes now; true when the transfer is over.
    static bool pushTransfer(Transfer &transfer)
    {
        while (transfer.written < transfer.bytes.size()) {
            const ssize_t n
                = ::write(transfer.fd.get(), transfer.bytes.constData() + transfer.written,
                    std::size_t(transfer.bytes.size() - transfer.written));
            if (n > 0) {
                transfer.written += n;
                transfer.stall.setRemainingTime(kServeStallMs);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return false;
            // The reader went away (EPIPE, SIGPIPE being blocked here).
            dropPendingSigpipe();
            return true;
        }
        return true;
    }

    static void dropPendingSigpipe()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec now {0, 0};
        while (sigtimedwait(&pipe, nullptr, &now) > 0) { }
    }

    void setSelection(const std::shared_ptr<const Representations> &representations)
    {
        if (!m_available)
            return;
        auto *proxy = static_cast<wl_proxy *>(
            wl_proxy_marshal_flags(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE,
                m_protocol->source, wl_proxy_get_version(m_manager), 0, nullptr));
        static const SourceListener sourceListener {
            [](void *data, wl_proxy *source, const char *type, int32_t fd) {
                static_cast<Worker *>(data)->serve(source, type, fd);
            },
            [](void *data, wl_proxy *source) {
                auto *self = static_cast<Worker *>(data);
                self->m_sources.erase(source);
                destroyProxy(source, ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY);
            }};
        listen(proxy, sourceListener, this);
        QList<QByteArray> types;
        for (const auto &[type, bytes] : *representations) {
            if (type == mime::kText)
                types << kTextTypes;
            else
                types << type.toUtf8();
        }
        for (const QByteArray &type : std::as_const(types))
            wl_proxy_marshal_flags(proxy, ZWLR_DATA_CONTROL_SOURCE_V1_OFFER, nullptr,
                wl_proxy_get_version(proxy), 0, type.constData());
        const quint64 id = ++m_lastSourceId;
        QStringList offered;
        for (const QByteArray &type : std::as_const(types))
            offered << QString::fromUtf8(type);
        m_sources[proxy] = Source {id, representations, typeSet(offered)};
        wl_proxy_marshal_flags(m_device, ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION, nullptr,
            wl_proxy_get_version(m_device), 0, proxy);
        m_setOrder.push_back(id);
        wl_display_flush(m_display);
        // Done once the compositor says so: a read asked after a write sees it.
        const QDeadlineTimer deadline(m_limits.deadlineMs);
        while (!m_setOrder.empty() && m_available && !deadline.hasExpired())
            step(nullptr, deadline.remainingTime());
    }

    // What the current copy is, and what the read policy makes of it.
    ClipboardRead look(ReadScope scope, QString &why)
    {
        if (m_currentOwn) {
            // Ours: answered from what we serve, never through a pipe to ourselves.
            MimeSnapshot own;
            for (const auto &[type, bytes] : *m_currentOwn)
                own.set(type, bytes);
            return readClipboard(own, scope, true);
        }
        const std::shared_ptr<Offer> offer = m_current;
        if (!offer) {
            // The protocol says only that the clipboard is empty, not whether
            // it was emptied on purpose: taken as its owner gone.
            ClipboardRead gone;
            gone.owner = ClipboardRead::Owner::vanished;
            return gone;
        }
        const OfferSnapshot snapshot(*this, offer, offer->types.mid(0, m_limits.maxTargets));
        ClipboardRead read = readClipboard(snapshot, scope);
        if (scope == ReadScope::contents && !read.content)
            why = snapshot.why();
        return read;
    }

    // The offer as the read policy sees it: each type received when the
    // policy asks for it, a failure costing that type only. A new copy
    // announced meanwhile leaves this offer as it was.
    class OfferSnapshot : public PasteboardSnapshot
    {
    public:
        OfferSnapshot(Worker &worker, std::shared_ptr<Offer> offer, QStringList offered)
            : m_worker(worker)
            , m_offer(std::move(offer))
            , m_offered(std::move(offered))
        { }
        [[nodiscard]] bool hasType(const QString &type) const override
        {
            return m_offered.contains(type);
        }
        [[nodiscard]] std::optional<QByteArray> data(const QString &type) const override
        {
            if (!m_offered.contains(type))
                return std::nullopt;
            try {
                return m_worker.receive(*m_offer, type.toUtf8(), m_worker.m_limits.capFor(type));
            } catch (const Failure &failure) {
                if (m_why.isEmpty())
                    m_why = failure.why;
                return std::nullopt;
            }
        }
        [[nodiscard]] QString why() const { return m_why; }

    private:
        Worker &m_worker;
        const std::shared_ptr<Offer> m_offer;
        const QStringList m_offered;
        mutable QString m_why;
    };

    // The offer's bytes of one type, read as its owner writes them, while
    // our own copies keep being served.
    QByteArray receive(const Offer &offer, const QByteArray &type, qint64 cap)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            throw Failure {
                QStringLiteral("no pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)))};
        Fd readEnd(fds[0]);
        Fd writeEnd(fds[1]);
        wl_proxy_marshal_flags(offer.proxy, ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE, nullptr,
            wl_proxy_get_version(offer.proxy), 0, type.constData(), writeEnd.get());
        if (wl_display_flush(m_display) < 0 && errno != EAGAIN)
            throw Failure {QStringLiteral("the Wayland connection broke")};
        // Ours closed, the pipe ends when the owner closes its own.
        writeEnd.reset();
        QByteArray bytes;
        bytes.reserve(64 * 1024);
        QDeadlineTimer deadline(m_limits.deadlineMs);
        char chunk[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(readEnd.get(), chunk, sizeof chunk);
            if (n > 0) {
                if (bytes.size() + n > cap)
                    throw Failure {
                        QStringLiteral("the clipboard holds more than the %1 bytes allowed")
                            .arg(cap)};
                bytes.append(chunk, n);
                deadline.setRemainingTime(m_limits.deadlineMs);
                continue;
            }
            if (n == 0)
                return bytes;
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                throw Failure {QStringLiteral("the copy could not be read: %1")
                                   .arg(QString::fromLocal8Bit(strerror(errno)))};
            if (deadline.hasExpired())
                throw Failure {QStringLiteral("the clipboard's owner did not answer within %1 ms")
                                   .arg(m_limits.deadlineMs)};
            pollfd pipe {readEnd.get(), POLLIN, 0};
            step(&pipe, deadline.remainingTime());
        }
    }

    // Waits for the compositor, our readers and `extra`, up to timeoutMs
    // (-1: no limit), and deals with what came.
    void step(pollfd *extra, qint64 timeoutMs)
    {
        std::vector<pollfd> fds;
        const bool connected = m_available.load();
        if (connected) {
            while (wl_display_prepare_read(m_display) != 0)
                wl_display_dispatch_pending(m_display);
            wl_display_flush(m_display);
            fds.push_back({wl_display_get_fd(m_display), POLLIN, 0});
        }
        fds.push_back({m_wake.get(), POLLIN, 0});
        const std::size_t firstTransfer = fds.size();
        for (const Transfer &transfer : m_transfers) {
            fds.push_back({transfer.fd.get(), POLLOUT, 0});
            timeoutMs = timeoutMs < 0 ? transfer.stall.remainingTime()
                                      : std::min(timeoutMs, transfer.stall.remainingTime());
        }
        if (extra)
            fds.push_back(*extra);
        ::poll(fds.data(), fds.size(), int(std::clamp<qint64>(timeoutMs, -1, 60000)));
        if (extra)
            extra->revents = fds.back().revents;
        if (connected) {
            if (fds[0].revents & POLLIN)
                wl_display_read_events(m_display);
            else
                wl_display_cancel_read(m_display);
            if (wl_display_dispatch_pending(m_display) < 0 && m_available) {
                qWarning("Scrivlet: the Wayland clipboard connection broke (%s); copies are no "
                         "longer recorded.",
                    strerror(wl_display_get_error(m_display)));
                m_available = false;
                m_current.reset();
                m_currentOwn.reset();
            }
        }
        if (fds[firstTransfer - 1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wake.get(), &count, sizeof count);
        }
        // Transfers served during dispatch were appended; those polled come
        // first, in the order of their descriptors.
        const std::size_t polled = fds.size() - firstTransfer - (extra ? 1 : 0);
        std::vector<Transfer> going;
        for (std::size_t i = 0; i < m_transfers.size(); ++i) {
            Transfer &transfer = m_transfers[i];
            const bool ready = i < polled && fds[firstTransfer + i].revents != 0;
            if (!(ready && pushTransfer(transfer)) && !transfer.stall.hasExpired())
                going.push_back(std::move(transfer));
        }
        m_transfers = std::move(going);
    }

    void run()
    {
        // A reader that closes early must not end Scrivlet.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            std::deque<Job> jobs;
            {
                const std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return;
                jobs.swap(m_jobs);
            }
            // Jobs posted while others ran have had their wake-up taken.
            if (jobs.empty()) {
                step(nullptr, -1);
                continue;
            }
            for (Job &job : jobs) {
                if (job.write) {
                    setSelection(job.write);
                    continue;
                }
                ClipboardRead read;
                QString why;
                if (m_available)
                    read = look(job.scope, why);
                else if (job.scope == ReadScope::contents)
                    why = QStringLiteral("no data control on this compositor");
                QMetaObject::invokeMethod(
                    &m_owner,
                    [handler = std::move(job.read), read, why] {
                        // Nothing recorded for this change: said once.
                        if (!why.isEmpty())
                            qWarning().noquote()
                                << QStringLiteral("Scrivlet: clipboard not recorded: ") + why;
                        handler(read);
                    },
                    Qt::QueuedConnection);
            }
        }
    }

    WaylandPasteboard &m_owner;
    const ClipboardLimits m_limits;
    QString m_why;
    std::atomic<bool> m_available {false};

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_proxy *m_seat = nullptr;
    wl_proxy *m_manager = nullptr;
    wl_proxy *m_device = nullptr;
    const Protocol *m_protocol = nullptr;
    bool m_bound = false;

    // Only the worker thread touches these once it runs.
    std::map<wl_proxy *, std::shared_ptr<Offer>> m_introduced;
    std::shared_ptr<Offer> m_current;
    std::shared_ptr<const Representations> m_currentOwn;
    std::map<wl_proxy *, Source> m_sources;
    std::deque<quint64> m_setOrder;
    quint64 m_lastSourceId = 0;
    std::vector<Transfer> m_transfers;

    Fd m_wake;
    std::mutex m_mutex;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};

WaylandPasteboard::WaylandPasteboard(ClipboardLimits limits, QObject *parent)
    : QObject(parent)
    , m_worker(std::make_unique<Worker>(*this, limits))
{
    if (!m_worker->isAvailable())
        qWarning().noquote() << QStringLiteral("Scrivlet: copies are not recorded here: ")
                + m_worker->why();
}

WaylandPasteboard::~WaylandPasteboard() = default;

bool WaylandPasteboard::isCaptureAvailable() const
{
    return m_worker->isAvailable();
}

QString WaylandPasteboard::protocolName() const
{
    return m_worker->protocolName();
}

void WaylandPasteboard::read(ReadScope scope, ReadHandler handler)
{
    if (m_worker->isAvailable()) {
        m_worker->read(scope, std::move(handler));
        return;
    }
    // Nothing to read without data control; answered later, like a read.
    QMetaObject::invokeMethod(
        this, [handler = std::move(handler)] { handler(ClipboardRead()); }, Qt::QueuedConnection);
}

void WaylandPasteboard::write(const Representations &representations)
{
    if (m_worker->isAvailable()) {
        m_worker->write(representations);
        return;
    }
    // The compositor takes this only while one of our windows has focus,
    // which the palette has when an entry is chosen.
    writeThroughQt(representations);
}

} // namespace scrivlet
