// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Pasteboard.h"

#include <QObject>
#include <deque>
#include <memory>

namespace scrivlet {

class X11ClipboardReader;

// The CLIPBOARD selection: Qt learns of new owners (through XFixes) and
// serves what Scrivlet writes; other applications' data is read by the
// reader, off the main thread, or by Qt, which waits for the owner, when
// there is none.
class X11Pasteboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    explicit X11Pasteboard(X11ClipboardReader *reader = nullptr, QObject *parent = nullptr);

    [[nodiscard]] qint64 changeCount() const override { return m_changeCount; }
    void read(ReadScope scope, ReadHandler handler) override;
    void write(const Representations &representations) override;

private:
    struct Pending
    {
        ReadHandler handler;
        ClipboardRead read;
        bool ready = false;
    };
    [[nodiscard]] static ClipboardRead readThroughQt(ReadScope scope);
    void deliverReady();

    X11ClipboardReader *m_reader;
    qint64 m_changeCount = 0;
    // Handlers in the order asked; a quick answer waits for slower ones.
    std::deque<std::shared_ptr<Pending>> m_pending;
};

} // namespace scrivlet
