// SPDX-License-Identifier: GPL-3.0-or-later
#include "SelectionMonitor.h"

#include "PasteboardReading.h"
#include "core/history/ClipStore.h"
#include "core/services/Pasteboard.h"
#include "core/services/PointerButtons.h"
#include "core/services/Workspace.h"

#include <QPointer>

namespace scrivlet {

namespace {

std::optional<QString> plainTextOf(const ClipContent &content)
{
    if (const auto *text = std::get_if<ClipContent::Text>(&content.value))
        return text->text;
    if (const auto *rich = std::get_if<ClipContent::RichText>(&content.value))
        return rich->plain;
    return std::nullopt;
}

} // namespace

SelectionMonitor::SelectionMonitor(ClipStore &store, Pasteboard &selection, Workspace &workspace,
    PointerButtons *buttons, ClipboardMonitor::CaptureDecision captureDecision, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_selection(selection)
    , m_workspace(workspace)
    , m_buttons(buttons)
    , m_captureDecision(std::move(captureDecision))
    , m_lastChangeCount(selection.changeCount())
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SelectionMonitor::settle);
}

void SelectionMonitor::start()
{
    m_selection.onChange([self = QPointer<SelectionMonitor>(this)] {
        if (self)
            self->changed();
    });
}

void SelectionMonitor::changed()
{
    // Each change of a drag starts the wait again.
    m_timer.start(kSettleMilliseconds);
}

void SelectionMonitor::settle()
{
    m_timer.stop();
    const qint64 count = m_selection.changeCount();
    if (count == m_lastChangeCount)
        return;
    // The drag goes on: the selection changes again or is complete at release,
    // which sends no change of its own.
    if (m_buttons && m_buttons->isAnyHeld()) {
        m_timer.start(kHeldMilliseconds);
        return;
    }
    m_lastChangeCount = count;
    const std::optional<QString> sourceApp = m_workspace.frontmostApplicationId();
    if (m_captureDecision && !m_captureDecision(sourceApp))
        return; // never read
    m_selection.read(ReadScope::contents,
        [self = QPointer<SelectionMonitor>(this), sourceApp](const ClipboardRead &read) {
            if (self)
                self->take(read, sourceApp);
        });
}

void SelectionMonitor::take(const ClipboardRead &read, const std::optional<QString> &sourceApp)
{
    // Text selected in Scrivlet's own windows is not history.
    if (read.owner != ClipboardRead::Owner::present || read.ownWrite || !read.content)
        return;
    bool replaces = false;
    if (m_last && !m_last->isPinned() && m_last->seq() == m_store.nextSeq() - 1
        && m_store.contains(m_last)) {
        const std::optional<QString> text = plainTextOf(*read.content);
        const bool wasText
            = m_last->kind() == ClipKind::text || m_last->kind() == ClipKind::richText;
        const QString before = wasText ? m_last->text() : QString();
        replaces = wasText && text && (text->startsWith(before) || before.startsWith(*text));
    }
    const ClipItemPtr item = m_store.recordContent(*read.content, sourceApp);
    if (!item)
        return;
    if (replaces && item != m_last)
        (void)m_store.deleteItem(m_last); // a failed delete leaves both, which loses nothing
    m_last = item;
}

} // namespace scrivlet
