// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasteboardWorker.h"

#include "core/capture/MimeSnapshot.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMetaObject>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-client.h>

namespace scrivlet {

namespace {

struct Failure
{
    QString why;
};

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

// The offer as the read policy sees it: each type received when the policy
// asks for it, a failure costing that type only. A new copy announced
// meanwhile leaves this offer as it was.
class PasteboardWorker::OfferSnapshot : public PasteboardSnapshot
{
public:
    OfferSnapshot(PasteboardWorker &worker, std::shared_ptr<DataOffer> offer, QStringList offered)
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
    PasteboardWorker &m_worker;
    const std::shared_ptr<DataOffer> m_offer;
    const QStringList m_offered;
    mutable QString m_why;
};

PasteboardWorker::PasteboardWorker(QObject &context, ClipboardLimits limits,
    std::function<void()> changed, std::function<void()> primaryChanged)
    : m_context(context)
    , m_limits(limits)
    , m_changed(std::move(changed))
    , m_primaryChanged(std::move(primaryChanged))
{
    if (!m_control.open(*this))
        return;
    m_wake = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    m_available = true;
    m_thread = std::thread([this] { run(); });
}

PasteboardWorker::~PasteboardWorker()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    m_thread.join();
}

void PasteboardWorker::read(ReadScope scope, ReadHandler handler)
{
    post({std::move(handler), scope, nullptr});
}

void PasteboardWorker::readPrimary(ReadHandler handler)
{
    post({std::move(handler), ReadScope::contents, nullptr, true});
}

void PasteboardWorker::write(const Representations &representations)
{
    post({nullptr, ReadScope::ownerOnly, std::make_shared<const Representations>(representations)});
}

void PasteboardWorker::selected(std::shared_ptr<DataOffer> offer)
{
    m_current = std::move(offer);
    m_currentOwn = m_current ? m_sources.claim(m_current->types) : nullptr;
    m_changeCount.fetch_add(1);
    if (m_changed)
        QMetaObject::invokeMethod(&m_context, m_changed, Qt::QueuedConnection);
}

void PasteboardWorker::primarySelected(std::shared_ptr<DataOffer> offer)
{
    m_primary = std::move(offer);
    m_primaryChangeCount.fetch_add(1);
    if (m_primaryChanged)
        QMetaObject::invokeMethod(&m_context, m_primaryChanged, Qt::QueuedConnection);
}

void PasteboardWorker::finished()
{
    qWarning("Scrivlet: the compositor ended data control; copies are no longer recorded.");
    lose();
}

void PasteboardWorker::sendRequested(wl_proxy *source, const QByteArray &type, UniqueFd fd)
{
    m_sources.serve(source, type, std::move(fd));
}

void PasteboardWorker::cancelled(wl_proxy *source)
{
    m_sources.forget(source);
}

void PasteboardWorker::lose()
{
    m_available = false;
    m_current.reset();
    m_currentOwn.reset();
    m_primary.reset();
}

void PasteboardWorker::post(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    wake();
}

void PasteboardWorker::wake() const
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake.get(), &one, sizeof one);
}

void PasteboardWorker::run()
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
        if (jobs.empty())
            step(nullptr, -1);
        for (Job &job : jobs)
            answer(job);
    }
}

void PasteboardWorker::answer(Job &job)
{
    if (job.write) {
        setSelection(std::move(job.write));
        return;
    }
    ClipboardRead read;
    QString why;
    if (m_available)
        read = job.primary ? lookAtPrimary(why) : look(job.scope, why);
    else if (job.scope == ReadScope::contents)
        why = QStringLiteral("no data control on this compositor");
    QMetaObject::invokeMethod(
        &m_context,
        [handler = std::move(job.read), read, why] {
            // Nothing recorded for this change: said once.
            if (!why.isEmpty())
                qWarning().noquote() << QStringLiteral("Scrivlet: clipboard not recorded: ") + why;
            handler(read);
        },
        Qt::QueuedConnection);
}

void PasteboardWorker::setSelection(std::shared_ptr<const Representations> representations)
{
    if (!m_available)
        return;
    m_sources.setSelection(std::move(representations));
    // Done once the compositor says so: a read asked after a write sees it.
    const QDeadlineTimer deadline(m_limits.deadlineMs);
    while (m_sources.awaitsAnswer() && m_available && !deadline.hasExpired())
        step(nullptr, deadline.remainingTime());
}

// What the current copy is, and what the read policy makes of it.
ClipboardRead PasteboardWorker::look(ReadScope scope, QString &why)
{
    if (m_currentOwn) {
        // Ours: answered from what we serve, never through a pipe to ourselves.
        MimeSnapshot own;
        for (const auto &[type, bytes] : *m_currentOwn)
            own.set(type, bytes);
        return readClipboard(own, scope, true);
    }
    const std::shared_ptr<DataOffer> offer = m_current;
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

// What is selected, read by the same policy as a copy. Scrivlet never sets
// the primary selection: text selected in its own windows comes through Qt's
// own connection, as any other application's.
ClipboardRead PasteboardWorker::lookAtPrimary(QString &why)
{
    const std::shared_ptr<DataOffer> offer = m_primary;
    if (!offer) {
        ClipboardRead none;
        none.owner = ClipboardRead::Owner::cleared;
        return none;
    }
    const OfferSnapshot snapshot(*this, offer, offer->types.mid(0, m_limits.maxTargets));
    ClipboardRead read = readClipboard(snapshot, ReadScope::contents);
    if (!read.content)
        why = snapshot.why();
    return read;
}

// The offer's bytes of one type, read as its owner writes them, while our
// own copies keep being served.
QByteArray PasteboardWorker::receive(const DataOffer &offer, const QByteArray &type, qint64 cap)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Failure {QStringLiteral("no pipe: %1").arg(lastError())};
    const UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    if (!m_control.receive(offer, type, writeEnd.get()))
        throw Failure {QStringLiteral("the Wayland connection broke")};
    // Ours closed, the pipe ends when the owner closes its own.
    writeEnd.reset();
    QByteArray bytes;
    bytes.reserve(qsizetype(64) * 1024);
    QDeadlineTimer deadline(m_limits.deadlineMs);
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), chunk, sizeof chunk);
        if (n > 0) {
            if (bytes.size() + n > cap)
                throw Failure {
                    QStringLiteral("the clipboard holds more than the %1 bytes allowed").arg(cap)};
            bytes.append(chunk, n);
            deadline.setRemainingTime(m_limits.deadlineMs);
            continue;
        }
        if (n == 0)
            return bytes;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            throw Failure {QStringLiteral("the copy could not be read: %1").arg(lastError())};
        if (deadline.hasExpired())
            throw Failure {QStringLiteral("the clipboard's owner did not answer within %1 ms")
                               .arg(m_limits.deadlineMs)};
        pollfd pipe {readEnd.get(), POLLIN, 0};
        step(&pipe, deadline.remainingTime());
    }
}

// Waits for the compositor, our readers and `extra`, up to timeoutMs (-1: no
// limit), and deals with what came.
void PasteboardWorker::step(pollfd *extra, qint64 timeoutMs)
{
    wl_display *display = m_control.display();
    std::vector<pollfd> fds;
    const bool connected = m_available.load();
    if (connected) {
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        wl_display_flush(display);
        fds.push_back({wl_display_get_fd(display), POLLIN, 0});
    }
    fds.push_back({m_wake.get(), POLLIN, 0});
    const std::size_t firstTransfer = fds.size();
    m_sources.addPollFds(fds, timeoutMs);
    const std::size_t transfers = fds.size() - firstTransfer;
    if (extra)
        fds.push_back(*extra);
    ::poll(fds.data(), fds.size(), int(std::clamp<qint64>(timeoutMs, -1, 60000)));
    if (extra)
        extra->revents = fds.back().revents;
    if (connected) {
        if (fds[0].revents & POLLIN)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
        if (wl_display_dispatch_pending(display) < 0 && m_available) {
            qWarning("Scrivlet: the Wayland clipboard connection broke (%s); copies are no "
                     "longer recorded.",
                strerror(wl_display_get_error(display)));
            lose();
        }
    }
    if (fds[firstTransfer - 1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wake.get(), &count, sizeof count);
    }
    m_sources.pushReady(fds.data() + firstTransfer, transfers);
}

} // namespace scrivlet
