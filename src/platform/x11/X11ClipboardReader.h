// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/capture/PasteboardReading.h"
#include "core/services/ClipboardLimits.h"

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace scrivlet {

// Which X selection a reader or pasteboard follows.
enum class X11Selection {
    clipboard, // CLIPBOARD, what copies set
    primary, // PRIMARY, what selecting text sets
};

// Reads another application's selection on a thread of its own, over its own
// X connection: an owner that never answers, answers late or sends hundreds
// of megabytes costs that thread a deadline, never the user interface.
class X11ClipboardReader : public QObject
{
    Q_OBJECT

public:
    using Limits = ClipboardLimits;
    // `why` says why nothing was read of a copy whose contents were asked
    // for: no X server, an owner that missed a deadline, sent more than a
    // cap or went away mid-transfer. Empty otherwise.
    using Done = std::function<void(ClipboardRead read, const QString &why)>;

    explicit X11ClipboardReader(Limits limits = Limits(),
        X11Selection selection = X11Selection::clipboard, QObject *parent = nullptr);
    ~X11ClipboardReader() override;

    // Looks at the current copy, asking its owner only for what the read
    // policy needs. `done` runs on this object's thread, in the order of the
    // calls.
    void read(ReadScope scope, Done done);

    // The windows of the application's own X connection (where Qt serves
    // what Scrivlet writes): a copy they own is Scrivlet's.
    struct OwnWindows
    {
        quint32 base = 0;
        quint32 mask = 0;
        [[nodiscard]] bool contains(quint32 window) const
        {
            return mask != 0 && (window & ~mask) == base;
        }
    };

private:
    struct Job
    {
        ReadScope scope;
        Done done;
    };
    void run();

    const Limits m_limits;
    const X11Selection m_selection;
    const OwnWindows m_own;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    bool m_listening = false; // the server tells the worker of changes from now on
    std::thread m_worker;
};

} // namespace scrivlet
