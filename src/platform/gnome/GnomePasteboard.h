// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ShellBridge.h"
#include "core/services/ClipboardLimits.h"
#include "core/services/Pasteboard.h"

#include <QObject>
#include <QThread>

namespace scrivlet {

// Which of the announced selections are new copies. The Shell's kept copy,
// which follows when a program that owned the clipboard quits, is the same
// copy, and stands for the departure that came just before it.
class ShellCopyCounter
{
public:
    void note(const ShellBridge::Selection &selection);
    [[nodiscard]] qint64 count() const { return m_count; }
    // The origin a read of `current` answers by.
    [[nodiscard]] QString originOf(const ShellBridge::Selection &current) const;

private:
    qint64 m_count = 0;
    std::optional<quint32> m_serial;
    QString m_origin;
};

// The clipboard through the Shell extension: every copy is announced with
// its types, and a type's bytes are read, on a thread of ours, only when the
// read policy asks for them.
class GnomePasteboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    explicit GnomePasteboard(
        ShellBridge &bridge, ClipboardLimits limits = {}, QObject *parent = nullptr);
    ~GnomePasteboard() override;

    [[nodiscard]] qint64 changeCount() const override { return m_counter.count(); }
    [[nodiscard]] bool announcesChanges() const override { return true; }
    void read(ReadScope scope, ReadHandler handler) override;
    void write(const Representations &representations) override;

    // Plain text under each of the names programs ask for it by.
    [[nodiscard]] static Representations offered(const Representations &representations);

private:
    ShellBridge &m_bridge;
    const ClipboardLimits m_limits;
    ShellCopyCounter m_counter;
    // What we last wrote: our own copy is read from here, not through the
    // Shell back to ourselves.
    Representations m_written;
    QThread m_reader;
    QObject m_readerContext;
};

} // namespace scrivlet
