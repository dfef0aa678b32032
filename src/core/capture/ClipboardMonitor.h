// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipItem.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

namespace scrivlet {

class ClipStore;
class Pasteboard;
class Workspace;
struct ClipboardRead;

// Notices clipboard changes and records each one at most once. What is on
// the clipboard when the monitor is made is never recorded. Where the desktop
// announces changes, each is dealt with as it comes; elsewhere the counter is
// looked at every kPollMilliseconds.
class ClipboardMonitor : public QObject
{
    Q_OBJECT

public:
    using CaptureDecision = std::function<bool(const std::optional<QString> &sourceApp)>;
    static constexpr int kPollMilliseconds = 300;

    // `captureDecision` is asked afresh at every change, before anything of
    // the copy is read; none accepts everything.
    ClipboardMonitor(ClipStore &store, Pasteboard &pasteboard, Workspace &workspace,
        CaptureDecision captureDecision = {}, QObject *parent = nullptr);

    // Whether the current copy of another application is in the history,
    // ready to be put back when its owner goes.
    [[nodiscard]] bool canRestore() const;
    // A program about to quit asks for its copy to be kept: answers, once the
    // latest change is dealt with, whether it will be put back.
    void keepCurrentCopy(std::function<void(bool kept)> reply);

    // Starts following the clipboard; a second call changes nothing.
    void start();
    // Deals with the change, if any, since the last one.
    void poll();

Q_SIGNALS:
    // The application that copied went away and took the clipboard with it;
    // `recorded` is what the history kept of that copy, to be put back.
    // Once per copy; Scrivlet's own offer of it that follows is not recorded.
    void ownerLeft(const ClipItemPtr &recorded);

private:
    void take(const ClipboardRead &read, const std::optional<QString> &sourceApp);

    ClipStore &m_store;
    Pasteboard &m_pasteboard;
    Workspace &m_workspace;
    CaptureDecision m_captureDecision;
    qint64 m_lastChangeCount;
    // What the current copy of another application became, if it was
    // recorded; none for secrets, exclusions, capture off, unreadable copies.
    ClipItemPtr m_restorable;
    bool m_restoring = false;
    QTimer m_timer;
};

} // namespace scrivlet
