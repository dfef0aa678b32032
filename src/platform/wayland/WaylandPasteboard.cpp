// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandPasteboard.h"

#include "PasteboardWorker.h"
#include "platform/linux/QtClipboardWriter.h"

#include <QClipboard>
#include <QDebug>
#include <QGuiApplication>
#include <QMetaObject>

namespace scrivlet {

WaylandPasteboard::WaylandPasteboard(ClipboardLimits limits, QObject *parent)
    : QObject(parent)
    , m_worker(std::make_unique<PasteboardWorker>(
          *this, limits, [this] { announceChange(); },
          [this] {
              if (m_selection)
                  m_selection->announceChange();
          }))
    , m_selection(std::make_unique<WaylandSelection>(*m_worker))
{
    if (!m_worker->isAvailable())
        qWarning().noquote() << QStringLiteral("Scrivlet: copies are not recorded here: ")
                + m_worker->why();
}

WaylandPasteboard::~WaylandPasteboard() = default;

bool WaylandPasteboard::isCaptureAvailable() const
{
    return m_worker->isAvailable();
}

QString WaylandPasteboard::protocolName() const
{
    return m_worker->protocolName();
}

qint64 WaylandPasteboard::changeCount() const
{
    return m_worker->changeCount();
}

void WaylandPasteboard::read(ReadScope scope, ReadHandler handler)
{
    if (m_worker->isAvailable()) {
        m_worker->read(scope, std::move(handler));
        return;
    }
    // Nothing to read without data control; answered later, like a read.
    QMetaObject::invokeMethod(
        this, [handler = std::move(handler)] { handler(ClipboardRead()); }, Qt::QueuedConnection);
}

void WaylandPasteboard::write(const Representations &representations)
{
    if (m_worker->isAvailable()) {
        m_worker->write(representations);
        return;
    }
    // The compositor takes this only while one of our windows has focus,
    // which the palette has when an entry is chosen.
    writeThroughQt(representations);
}

qint64 WaylandSelection::changeCount() const
{
    return m_worker.primaryChangeCount();
}

bool WaylandSelection::announcesChanges() const
{
    return m_worker.isAvailable();
}

void WaylandSelection::read(ReadScope, ReadHandler handler)
{
    if (!m_worker.isAvailable()) {
        QMetaObject::invokeMethod(
            qApp, [handler = std::move(handler)] { handler(ClipboardRead()); },
            Qt::QueuedConnection);
        return;
    }
    m_worker.readPrimary([handler = std::move(handler)](ClipboardRead read) {
        // Text selected in one of our windows goes through Qt's own
        // connection: Qt knows it is ours.
        read.ownWrite = QGuiApplication::clipboard()->ownsSelection();
        handler(std::move(read));
    });
}

} // namespace scrivlet
