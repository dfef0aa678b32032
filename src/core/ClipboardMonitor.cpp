// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipboardMonitor.h"

#include "ClipStore.h"
#include "PasteboardReading.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"

#include <QPointer>

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
        if (!self || !snapshot)
            return;
        std::optional<ClipContent> content = readClip(*snapshot);
        if (!content || !self->captureDecision(sourceApp))
            return;
        self->m_store.recordContent(*content, sourceApp, snapshot->isOwnWrite());
    });
}

} // namespace scrivlet
