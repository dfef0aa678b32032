// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/capture/ClipboardMonitor.h"
#include "core/history/ClipItem.h"

#include <QObject>
#include <QTimer>

namespace scrivlet {

class ClipStore;
class Pasteboard;
class PointerButtons;
class Workspace;
struct ClipboardRead;

// Records the primary selection once it has settled: unchanged for
// kSettleMilliseconds with no pointer button held, so that a drag across a
// paragraph is one entry. A selection that shrinks or grows the one recorded
// just before replaces it while that entry is still the newest and unpinned.
// Nothing runs while nothing is selected: the timer starts at a change.
class SelectionMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMilliseconds = 500;
    // How soon a held button is looked at again.
    static constexpr int kHeldMilliseconds = 100;

    // `buttons` may be null where the desktop does not tell: then time alone
    // settles a selection. The selection present when made is never recorded.
    SelectionMonitor(ClipStore &store, Pasteboard &selection, Workspace &workspace,
        PointerButtons *buttons, ClipboardMonitor::CaptureDecision captureDecision = {},
        QObject *parent = nullptr);

    // Starts following the selection; a second call changes nothing.
    void start();
    // Whether a change waits for the selection to settle.
    [[nodiscard]] bool isSettling() const { return m_timer.isActive(); }
    // The settle timer's end: records the selection if it has settled.
    void settle();

private:
    void changed();
    void take(const ClipboardRead &read, const std::optional<QString> &sourceApp);

    ClipStore &m_store;
    Pasteboard &m_selection;
    Workspace &m_workspace;
    PointerButtons *m_buttons;
    ClipboardMonitor::CaptureDecision m_captureDecision;
    qint64 m_lastChangeCount;
    // The entry the last recorded selection became.
    ClipItemPtr m_last;
    QTimer m_timer;
};

} // namespace scrivlet
