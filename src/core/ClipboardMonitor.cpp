// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipboardMonitor.h"

#include "ClipStore.h"
#include "PasteboardReading.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"

#include <QPointer>
#include <utility>

namespace scrivlet {

ClipboardMonitor::ClipboardMonitor(
    ClipStore &store, Pasteboard &pasteboard, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_pasteboard(pasteboard)
    , m_workspace(workspace)
    , m_lastChangeCount(pasteboard.changeCount())
{
    m_timer.setInterval(kPollMilliseconds);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ClipboardMonitor::poll);
}

void ClipboardMonitor::start()
{
    m_timer.start();
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
    m_pasteboard.readSnapshot([self = QPointer<ClipboardMonitor>(this), sourceApp](
                                  std::shared_ptr<const PasteboardSnapshot> snapshot) {
        if (self && snapshot)
            self->take(*snapshot, sourceApp);
    });
}

void ClipboardMonitor::take(
    const PasteboardSnapshot &snapshot, const std::optional<QString> &sourceApp)
{
    if (!snapshot.hasOwner()) {
        // The copying application left. Put back what it copied, once, if
        // it was recorded and is still in the history.
        const ClipItemPtr item = std::exchange(m_restorable, nullptr);
        if (item && restore && m_store.contains(item)) {
            m_restoring = true;
            restore(item);
        }
        return;
    }
    if (snapshot.isOwnWrite()) {
        // Scrivlet's own re-offer is already in the history as it is.
        if (std::exchange(m_restoring, false))
            return;
    } else {
        m_restoring = false;
        m_restorable = nullptr;
    }
    std::optional<ClipContent> content = readClip(snapshot);
    if (!content || !captureDecision(sourceApp))
        return;
    const ClipItemPtr item = m_store.recordContent(*content, sourceApp, snapshot.isOwnWrite());
    if (!snapshot.isOwnWrite())
        m_restorable = item;
}

} // namespace scrivlet
