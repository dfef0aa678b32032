// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtClipboardWriter.h"

#include "core/capture/MimeSnapshot.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace scrivlet {

void writeThroughQt(const Pasteboard::Representations &representations)
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
