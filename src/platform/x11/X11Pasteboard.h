// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "X11ClipboardReader.h"
#include "core/services/Pasteboard.h"

#include <QClipboard>
#include <QObject>
#include <deque>
#include <memory>

namespace scrivlet {

// The CLIPBOARD selection, or PRIMARY: Qt learns of new owners (through XFixes) and
// serves what Scrivlet writes; other applications' data is read by the
// reader, off the main thread, or by Qt, which waits for the owner, when
// there is none.
class X11Pasteboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    // `reader` reads the same selection.
    explicit X11Pasteboard(X11ClipboardReader *reader = nullptr,
        X11Selection selection = X11Selection::clipboard, QObject *parent = nullptr);

    [[nodiscard]] qint64 changeCount() const override { return m_changeCount; }
    [[nodiscard]] bool announcesChanges() const override { return true; }
    void read(ReadScope scope, ReadHandler handler) override;
    void write(const Representations &representations) override;

private:
    struct Pending
    {
        ReadHandler handler;
        ClipboardRead read;
        bool ready = false;
    };
    [[nodiscard]] ClipboardRead readThroughQt(ReadScope scope) const;
    [[nodiscard]] bool ownsSelection() const;
    void deliverReady();

    X11ClipboardReader *m_reader;
    const QClipboard::Mode m_mode;
    qint64 m_changeCount = 0;
    // Handlers in the order asked; a quick answer waits for slower ones.
    std::deque<std::shared_ptr<Pending>> m_pending;
};

} // namespace scrivlet
