// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceServer.h"

#include "DataControl.h"
#include "core/capture/MimeSnapshot.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace scrivlet {

namespace {

// Our text is offered under each of its usual names.
const QByteArrayList kTextTypes {
    "text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

constexpr int kServeStallMs = 10000;

QStringList typeSet(QStringList types)
{
    types.sort();
    types.removeDuplicates();
    return types;
}

void dropPendingSigpipe()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec now {0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) > 0) { }
}

} // namespace

SourceServer::~SourceServer()
{
    m_transfers.clear();
    for (const auto &[proxy, source] : m_sources)
        m_control.destroySource(proxy);
}

void SourceServer::setSelection(std::shared_ptr<const Representations> representations)
{
    QByteArrayList types;
    for (const auto &[type, bytes] : *representations) {
        if (type == mime::kText)
            types << kTextTypes;
        else
            types << type.toUtf8();
    }
    wl_proxy *proxy = m_control.setSelection(types);
    QStringList offered;
    for (const QByteArray &type : std::as_const(types))
        offered << QString::fromUtf8(type);
    const quint64 id = ++m_lastId;
    m_sources[proxy] = Source {id, std::move(representations), typeSet(offered)};
    m_setOrder.push_back(id);
}

// Another application's copy may be announced between our request and its
// answer: an answer is known by the types it lists, taken in the order we
// asked.
std::shared_ptr<const SourceServer::Representations> SourceServer::claim(const QStringList &offered)
{
    const QStringList types = typeSet(offered);
    for (auto pending = m_setOrder.begin(); pending != m_setOrder.end(); ++pending) {
        for (const auto &[proxy, source] : m_sources) {
            if (source.id != *pending || source.types != types)
                continue;
            // Requests before it that were never answered never will be.
            m_setOrder.erase(m_setOrder.begin(), std::next(pending));
            return source.representations;
        }
    }
    return nullptr;
}

void SourceServer::serve(wl_proxy *source, const QByteArray &type, UniqueFd fd)
{
    const auto it = m_sources.find(source);
    if (it == m_sources.end())
        return;
    const auto &representations = *it->second.representations;
    const auto found = std::find_if(
        representations.begin(), representations.end(), [&](const auto &representation) {
            return representation.first == QLatin1String(type)
                || (representation.first == mime::kText && kTextTypes.contains(type));
        });
    if (found == representations.end())
        return;
    QByteArray bytes
        = type == "STRING" ? QString::fromUtf8(found->second).toLatin1() : found->second;
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
    Transfer transfer {std::move(fd), std::move(bytes), 0, QDeadlineTimer(kServeStallMs)};
    if (!push(transfer))
        m_transfers.push_back(std::move(transfer));
}

void SourceServer::addPollFds(std::vector<pollfd> &fds, qint64 &timeoutMs) const
{
    for (const Transfer &transfer : m_transfers) {
        fds.push_back({transfer.fd.get(), POLLOUT, 0});
        timeoutMs = timeoutMs < 0 ? transfer.stall.remainingTime()
                                  : std::min(timeoutMs, transfer.stall.remainingTime());
    }
}

void SourceServer::pushReady(const pollfd *polled, std::size_t count)
{
    // Transfers served since the poll were appended after those polled.
    std::vector<Transfer> going;
    for (std::size_t i = 0; i < m_transfers.size(); ++i) {
        Transfer &transfer = m_transfers[i];
        const bool ready = i < count && polled[i].revents != 0;
        if (!(ready && push(transfer)) && !transfer.stall.hasExpired())
            going.push_back(std::move(transfer));
    }
    m_transfers = std::move(going);
}

// Writes what the reader takes now; true when the transfer is over.
bool SourceServer::push(Transfer &transfer)
{
    while (transfer.written < transfer.bytes.size()) {
        const ssize_t n = ::write(transfer.fd.get(), transfer.bytes.constData() + transfer.written,
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

} // namespace scrivlet
