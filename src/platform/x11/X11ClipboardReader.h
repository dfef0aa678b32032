// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/MimeSnapshot.h"
#include "platform/ClipboardLimits.h"

#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace scrivlet {

// Reads another application's CLIPBOARD on a thread of its own, over its own
// X connection: an owner that never answers, answers late or sends hundreds
// of megabytes costs that thread a deadline, never the user interface.
class X11ClipboardReader : public QObject
{
    Q_OBJECT

public:
    using Limits = ClipboardLimits;
    // None when the owner missed a deadline, sent more than a cap, went away
    // mid-transfer, or there is no X server; `why` says which.
    using Done = std::function<void(std::shared_ptr<MimeSnapshot> snapshot, const QString &why)>;

    explicit X11ClipboardReader(Limits limits = Limits(), QObject *parent = nullptr);
    ~X11ClipboardReader() override;

    // Reads the types in `wanted` that the owner offers (markers count by
    // their presence). `done` runs on this object's thread, in the order of
    // the calls.
    void read(const QStringList &wanted, Done done);

private:
    struct Job
    {
        QStringList wanted;
        Done done;
    };
    void run();

    Limits m_limits;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace scrivlet
