// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPasteboard.h"

#include "X11ClipboardReader.h"
#include "core/MimeSnapshot.h"

#include <QClipboard>
#include <QDebug>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

namespace scrivlet {

QtPasteboard::QtPasteboard(X11ClipboardReader *reader, QObject *parent)
    : QObject(parent)
    , m_reader(reader)
{
    connect(
        QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                ++m_changeCount;
        });
}

std::shared_ptr<MimeSnapshot> QtPasteboard::readThroughQt() const
{
    auto snapshot = std::make_shared<MimeSnapshot>();
    // What Qt holds for us is ours: only Scrivlet writes through it.
    snapshot->setOwnWrite(QGuiApplication::clipboard()->ownsClipboard());
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data)
        return snapshot;
    const QStringList offered = data->formats();
    for (const QString &type : offered)
        snapshot->offer(type);
    for (const QString &type : capturedTypes()) {
        if (!offered.contains(type))
            continue;
        const QByteArray bytes = type == mime::kText ? data->text().toUtf8() : data->data(type);
        // An owner that offered a type and delivered nothing is "offered, no bytes",
        // except for the markers, whose presence alone counts.
        if (!bytes.isNull() || mime::kMarkers.contains(type))
            snapshot->set(type, bytes);
    }
    return snapshot;
}

void QtPasteboard::readSnapshot(SnapshotHandler handler)
{
    auto pending = std::make_shared<Pending>();
    pending->handler = std::move(handler);
    m_pending.push_back(pending);
    if (!m_reader || QGuiApplication::clipboard()->ownsClipboard()) {
        pending->snapshot = readThroughQt();
        pending->ready = true;
        deliverReady();
        return;
    }
    m_reader->read(capturedTypes(),
        [self = QPointer<QtPasteboard>(this), pending](
            std::shared_ptr<MimeSnapshot> snapshot, const QString &why) {
            if (!self)
                return;
            // Skipped for this change: said once, nothing recorded.
            if (!snapshot)
                qWarning().noquote() << QStringLiteral("Scrivlet: clipboard not recorded: ") + why;
            pending->snapshot = std::move(snapshot);
            pending->ready = true;
            self->deliverReady();
        });
}

void QtPasteboard::deliverReady()
{
    while (!m_pending.empty() && m_pending.front()->ready) {
        const std::shared_ptr<Pending> next = m_pending.front();
        m_pending.pop_front();
        next->handler(next->snapshot);
    }
}

void QtPasteboard::write(const Representations &representations)
{
    writeThroughQt(representations);
}

void QtPasteboard::writeThroughQt(const Representations &representations)
{
    auto *data = new QMimeData;
    for (const auto &[type, bytes] : representations) {
        // Text goes in as text, so that Qt converts it for the X11 text targets.
        if (type == mime::kText)
            data->setText(QString::fromUtf8(bytes));
        else
            data->setData(type, bytes);
    }
    // Qt owns the data from here and serves it for as long as we own the clipboard.
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

} // namespace scrivlet
