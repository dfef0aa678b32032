// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/ClipboardLimits.h"
#include "core/services/Pasteboard.h"

#include <QObject>
#include <memory>

namespace scrivlet {

class PasteboardWorker;

// The primary selection as the clipboard's worker hears it; read only,
// nothing is ever written to it.
class WaylandSelection : public Pasteboard
{
public:
    explicit WaylandSelection(PasteboardWorker &worker)
        : m_worker(worker)
    { }
    [[nodiscard]] qint64 changeCount() const override;
    [[nodiscard]] bool announcesChanges() const override;
    void read(ReadScope scope, ReadHandler handler) override;
    void write(const Representations &) override { }

private:
    friend class WaylandPasteboard;
    PasteboardWorker &m_worker;
};

// The Wayland clipboard through a data-control protocol (ext, else wlr): a
// connection of our own, on a thread of its own, watches every copy without
// focus, reads other applications' data with a deadline and a cap, and
// serves what Scrivlet writes. Where the compositor offers no data control
// (GNOME), nothing is captured and writes go through Qt, which the compositor
// accepts while one of our windows has focus.
class WaylandPasteboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    explicit WaylandPasteboard(ClipboardLimits limits = {}, QObject *parent = nullptr);
    ~WaylandPasteboard() override;

    // Whether copies are seen: a compositor connection with data control.
    [[nodiscard]] bool isCaptureAvailable() const;
    // The data-control protocol in use, empty when none.
    [[nodiscard]] QString protocolName() const;

    [[nodiscard]] qint64 changeCount() const override;
    [[nodiscard]] bool announcesChanges() const override { return isCaptureAvailable(); }
    void read(ReadScope scope, ReadHandler handler) override;
    void write(const Representations &representations) override;

    // The primary selection, through the same data control.
    [[nodiscard]] Pasteboard &selection() { return *m_selection; }

private:
    std::unique_ptr<PasteboardWorker> m_worker;
    std::unique_ptr<WaylandSelection> m_selection;
};

} // namespace scrivlet
