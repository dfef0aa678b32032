// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Pasteboard.h"

#include <QObject>

namespace scrivlet {

// The CLIPBOARD selection through Qt, which learns of new owners through
// XFixes. Reads are synchronous here: Qt waits for the owner.
class QtPasteboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    explicit QtPasteboard(QObject *parent = nullptr);

    [[nodiscard]] qint64 changeCount() const override { return m_changeCount; }
    void readSnapshot(SnapshotHandler handler) override;
    void write(const Representations &representations) override;

private:
    qint64 m_changeCount = 0;
    qint64 m_ownChange = -1;
    bool m_writing = false;
};

} // namespace scrivlet
