// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DataControl.h"
#include "SourceServer.h"
#include "core/services/ClipboardLimits.h"
#include "core/services/Pasteboard.h"

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace scrivlet {

// The clipboard's data control on a thread of its own, which alone
// dispatches the connection: it hears every copy and every primary
// selection, reads other applications' data with a deadline and a cap, and
// serves ours meanwhile. Reads and
// writes are done in the order asked; answers go to `context`'s thread.
class PasteboardWorker final : private DataControl::Events
{
public:
    using ReadHandler = Pasteboard::ReadHandler;
    using Representations = Pasteboard::Representations;

    // `changed` runs on `context`'s thread after each new copy,
    // `primaryChanged` after each new primary selection.
    PasteboardWorker(QObject &context, ClipboardLimits limits, std::function<void()> changed = {},
        std::function<void()> primaryChanged = {});
    ~PasteboardWorker() override;
    PasteboardWorker(const PasteboardWorker &) = delete;
    PasteboardWorker &operator=(const PasteboardWorker &) = delete;

    [[nodiscard]] bool isAvailable() const { return m_available.load(); }
    [[nodiscard]] QString protocolName() const { return m_control.protocolName(); }
    // Why it is not available.
    [[nodiscard]] QString why() const { return m_control.why(); }
    [[nodiscard]] qint64 changeCount() const { return m_changeCount.load(); }
    [[nodiscard]] qint64 primaryChangeCount() const { return m_primaryChangeCount.load(); }

    void read(ReadScope scope, ReadHandler handler);
    // Looks at the primary selection, as `read` at the clipboard.
    void readPrimary(ReadHandler handler);
    void write(const Representations &representations);

private:
    class OfferSnapshot;
    struct Job
    {
        ReadHandler read;
        ReadScope scope;
        std::shared_ptr<const Representations> write;
        bool primary = false;
    };

    void selected(std::shared_ptr<DataOffer> offer) override;
    void primarySelected(std::shared_ptr<DataOffer> offer) override;
    void finished() override;
    void sendRequested(wl_proxy *source, const QByteArray &type, UniqueFd fd) override;
    void cancelled(wl_proxy *source) override;

    void post(Job job);
    void wake() const;
    void run();
    void answer(Job &job);
    void setSelection(std::shared_ptr<const Representations> representations);
    [[nodiscard]] ClipboardRead look(ReadScope scope, QString &why);
    [[nodiscard]] ClipboardRead lookAtPrimary(QString &why);
    [[nodiscard]] QByteArray receive(const DataOffer &offer, const QByteArray &type, qint64 cap);
    void step(pollfd *extra, qint64 timeoutMs);
    void lose();

    QObject &m_context;
    const ClipboardLimits m_limits;
    const std::function<void()> m_changed;
    const std::function<void()> m_primaryChanged;
    std::atomic<qint64> m_changeCount {0};
    std::atomic<qint64> m_primaryChangeCount {0};
    std::atomic<bool> m_available {false};
    DataControl m_control;

    // Only the worker thread touches these once it runs.
    SourceServer m_sources {m_control};
    std::shared_ptr<DataOffer> m_current;
    std::shared_ptr<const Representations> m_currentOwn;
    std::shared_ptr<DataOffer> m_primary;

    UniqueFd m_wake;
    std::mutex m_mutex;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace scrivlet
