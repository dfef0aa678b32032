// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Pasteboard.h"
#include "platform/linux/UniqueFd.h"

#include <QDeadlineTimer>
#include <deque>
#include <map>
#include <memory>
#include <poll.h>
#include <vector>

struct wl_proxy;

namespace scrivlet {

class DataControl;

// What Scrivlet put on the clipboard, served to every reader until another
// copy replaces it; a reader that is slow or never reads holds up no one.
class SourceServer
{
public:
    using Representations = Pasteboard::Representations;

    explicit SourceServer(DataControl &control)
        : m_control(control)
    { }
    ~SourceServer();
    SourceServer(const SourceServer &) = delete;
    SourceServer &operator=(const SourceServer &) = delete;

    // Offers our copy as the clipboard's; the compositor answers later.
    void setSelection(std::shared_ptr<const Representations> representations);
    // Whether a copy of ours waits for the compositor's answer.
    [[nodiscard]] bool awaitsAnswer() const { return !m_setOrder.empty(); }
    // Our copy, when an offer with these types is the compositor's answer
    // to one of ours; null for another application's.
    [[nodiscard]] std::shared_ptr<const Representations> claim(const QStringList &offered);

    void serve(wl_proxy *source, const QByteArray &type, UniqueFd fd);
    void forget(wl_proxy *source) { m_sources.erase(source); }

    // The transfers under way, to poll for room to write, and the time
    // until the first of them stalls out.
    void addPollFds(std::vector<pollfd> &fds, qint64 &timeoutMs) const;
    // Writes to the transfers `polled` (in addPollFds' order) found ready
    // and drops those done or stalled.
    void pushReady(const pollfd *polled, std::size_t count);

private:
    struct Source
    {
        quint64 id = 0;
        std::shared_ptr<const Representations> representations;
        // As offered, once each and sorted: the compositor's offer of it
        // lists the same.
        QStringList types;
    };
    struct Transfer
    {
        UniqueFd fd;
        QByteArray bytes;
        qsizetype written = 0;
        QDeadlineTimer stall;
    };

    [[nodiscard]] static bool push(Transfer &transfer);

    DataControl &m_control;
    std::map<wl_proxy *, Source> m_sources;
    // Ours asked for, not yet answered, oldest first.
    std::deque<quint64> m_setOrder;
    quint64 m_lastId = 0;
    std::vector<Transfer> m_transfers;
};

} // namespace scrivlet
