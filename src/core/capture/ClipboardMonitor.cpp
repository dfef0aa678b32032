// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipboardMonitor.h"

#include "PasteboardReading.h"
#include "core/history/ClipStore.h"
#include "core/services/Pasteboard.h"
#include "core/services/Workspace.h"

#include <QPointer>
#include <utility>

namespace scrivlet {

ClipboardMonitor::ClipboardMonitor(ClipStore &store, Pasteboard &pasteboard, Workspace &workspace,
    CaptureDecision captureDecision, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_pasteboard(pasteboard)
    , m_workspace(workspace)
    , m_captureDecision(std::move(captureDecision))
    , m_lastChangeCount(pasteboard.changeCount())
{
    m_timer.setInterval(kPollMilliseconds);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ClipboardMonitor::poll);
}

void ClipboardMonitor::start()
{
    if (!m_pasteboard.announcesChanges()) {
        m_timer.start();
        return;
    }
    // Nothing wakes us while nothing is copied; a copy is read the moment
    // it is announced, before the next one can replace it.
    m_pasteboard.onChange([self = QPointer<ClipboardMonitor>(this)] {
        if (self)
            self->poll();
    });
}

void ClipboardMonitor::poll()
{
    const qint64 count = m_pasteboard.changeCount();
    if (count == m_lastChangeCount)
        return;
    // Dealt with from here on, whatever follows decides.
    m_lastChangeCount = count;
    // The application in front when the change is noticed is its source.
    const std::optional<QString> sourceApp = m_workspace.frontmostApplicationId();
    // Decided first: a copy that may not be recorded is never read. Whose
    // copy it is still matters, to put back what an owner takes with it.
    const bool capture = !m_captureDecision || m_captureDecision(sourceApp);
    const ReadScope scope = capture ? ReadScope::contents : ReadScope::ownerOnly;
    m_pasteboard.read(
        scope, [self = QPointer<ClipboardMonitor>(this), sourceApp](const ClipboardRead &read) {
            if (self)
                self->take(read, sourceApp);
        });
}

bool ClipboardMonitor::canRestore() const
{
    return m_restorable && m_store.contains(m_restorable);
}

void ClipboardMonitor::keepCurrentCopy(std::function<void(bool kept)> reply)
{
    poll();
    // Reads are answered in order: this one comes after the copy's own.
    m_pasteboard.read(ReadScope::ownerOnly,
        [self = QPointer<ClipboardMonitor>(this), reply = std::move(reply)](
            const ClipboardRead &) { reply(self && self->canRestore()); });
}

void ClipboardMonitor::take(const ClipboardRead &read, const std::optional<QString> &sourceApp)
{
    switch (read.owner) {
    case ClipboardRead::Owner::vanished: {
        // The copying application left. Put back what it copied, once, if
        // it was recorded and is still in the history.
        const ClipItemPtr left = canRestore() ? m_restorable : nullptr;
        m_restorable = nullptr;
        if (left) {
            m_restoring = true;
            Q_EMIT ownerLeft(left);
        }
        return;
    }
    case ClipboardRead::Owner::cleared:
        // Emptied on purpose: it stays empty.
        m_restorable = nullptr;
        m_restoring = false;
        return;
    case ClipboardRead::Owner::present:
        break;
    }
    if (read.ownWrite) {
        // Scrivlet's own re-offer is already in the history as it is.
        if (std::exchange(m_restoring, false))
            return;
    } else {
        // Whatever becomes of this copy, the one before is no longer on the
        // clipboard to be put back.
        m_restoring = false;
        m_restorable = nullptr;
    }
    if (!read.content)
        return;
    const ClipItemPtr item = m_store.recordContent(*read.content, sourceApp, read.ownWrite);
    if (!read.ownWrite)
        m_restorable = item;
}

} // namespace scrivlet
