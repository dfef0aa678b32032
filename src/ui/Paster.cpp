// SPDX-License-Identifier: GPL-3.0-or-later
#include "Paster.h"

#include "core/history/ClipItem.h"
#include "core/history/ImageStore.h"
#include "core/services/KeySender.h"

#include <QBuffer>
#include <QImageReader>
#include <QUrl>

namespace scrivlet::Paster {

namespace {

// The image's own MIME type, from its header alone: the bytes are written
// back as captured, so however large, they are never decoded here; only the
// size they declare is checked.
std::optional<QString> imageType(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    if (format.isEmpty() || !size.isValid() || size.isEmpty()
        || qint64(size.width()) * size.height() > kMaxImagePixels)
        return std::nullopt;
    return QStringLiteral("image/")
        + QString::fromLatin1(format == "tif" ? QByteArray("tiff") : format);
}

std::optional<Pasteboard::Representations> imageRepresentation(
    const ClipItem &item, const ImageStore &images)
{
    if (!item.imageFileRef())
        return std::nullopt;
    const std::optional<QByteArray> bytes = images.read(*item.imageFileRef());
    if (!bytes)
        return std::nullopt;
    const std::optional<QString> type = imageType(*bytes);
    if (!type)
        return std::nullopt;
    // Written back as captured, never re-encoded.
    return Pasteboard::Representations {{*type, *bytes}};
}

std::optional<Pasteboard::Representations> fileRepresentation(const QString &text)
{
    QList<QByteArray> urls;
    for (const QString &path : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        urls.append(QUrl::fromLocalFile(path).toEncoded());
    if (urls.isEmpty())
        return std::nullopt;
    // The second form is what GNOME's and other file managers paste from.
    return Pasteboard::Representations {
        {QStringLiteral("text/uri-list"), urls.join("\r\n") + "\r\n"},
        {QStringLiteral("x-special/gnome-copied-files"), "copy\n" + urls.join('\n')},
    };
}

} // namespace

std::optional<Pasteboard::Representations> representations(
    const ClipItem &item, bool plain, const ImageStore &images)
{
    const auto textOnly = [&] {
        return Pasteboard::Representations {{mime::kText, item.text().toUtf8()}};
    };
    // An image has no formatting to drop: plain or not, it is the image
    // (its text is empty, and writing it would empty the clipboard).
    if (plain && item.kind() != ClipKind::image)
        return textOnly();
    switch (item.kind()) {
    case ClipKind::text:
        return textOnly();
    case ClipKind::richText: {
        Pasteboard::Representations written;
        if (const std::optional<QByteArray> rtf = item.richData())
            written.append({mime::kRtf, *rtf});
        if (const std::optional<QByteArray> html = item.html())
            written.append({mime::kHtml, *html});
        written.append({mime::kText, item.text().toUtf8()});
        return written;
    }
    case ClipKind::image:
        return imageRepresentation(item, images);
    case ClipKind::file:
        return fileRepresentation(item.text());
    }
    return std::nullopt;
}

bool writeItem(const ClipItem &item, bool plain, const ImageStore &images, Pasteboard &pasteboard)
{
    const std::optional<Pasteboard::Representations> written = representations(item, plain, images);
    if (!written)
        return false;
    pasteboard.write(*written);
    return true;
}

void simulatePasteKeystroke(KeySender &keys, PasteKey key)
{
    if (!keys.isTrusted())
        return;
    // A keystroke that could not be posted leaves the entry on the clipboard
    // for the user to paste by hand.
    (void)keys.sendPaste(key);
}

} // namespace scrivlet::Paster
