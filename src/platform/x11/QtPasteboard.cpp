// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPasteboard.h"

#include "core/MimeSnapshot.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace scrivlet {

QtPasteboard::QtPasteboard(QObject *parent)
    : QObject(parent)
{
    connect(
        QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                ++m_changeCount;
        });
}

void QtPasteboard::readSnapshot(SnapshotHandler handler)
{
    auto snapshot = std::make_shared<MimeSnapshot>();
    snapshot->setOwnWrite(
        m_changeCount == m_ownChange && QGuiApplication::clipboard()->ownsClipboard());
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (data) {
        const QStringList offered = data->formats();
        for (const QString &type : offered)
            snapshot->offer(type);
        // Only what the reader may use is fetched from the owner.
        QStringList wanted = mime::kMarkers;
        wanted << mime::kPasswordManagerHint << mime::kUriList << mime::kPng << mime::kTiff
               << mime::kRtf << mime::kRtfAlternative << mime::kText;
        for (const QString &type : std::as_const(wanted)) {
            if (!offered.contains(type))
                continue;
            const QByteArray bytes = type == mime::kText ? data->text().toUtf8() : data->data(type);
            // An owner that offered a type and delivered nothing is "offered, no bytes",
            // except for the markers, whose presence alone counts.
            if (!bytes.isNull() || mime::kMarkers.contains(type))
                snapshot->set(type, bytes);
        }
    }
    handler(std::move(snapshot));
}

void QtPasteboard::write(const Representations &representations)
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
    m_writing = true;
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    m_writing = false;
}

} // namespace scrivlet
