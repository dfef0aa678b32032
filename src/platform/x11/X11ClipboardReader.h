// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/MimeSnapshot.h"

#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace scrivlet {

// How long and how much a clipboard read may take.
struct ClipboardLimits
{
    // For each answer of the owner (and each chunk of a large transfer).
    int deadlineMs = 1000;
    qint64 maxImageBytes = 64LL * 1024 * 1024;
    qint64 maxOtherBytes = 16LL * 1024 * 1024;
    // Targets looked at; an owner may offer thousands.
    int maxTargets = 1024;
};

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
