// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasteboardReading.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QUrl>

namespace scrivlet {

namespace {

struct UriList
{
    QStringList paths; // complete only when every line was a file we can keep
    QStringList lines;
    bool holdsFiles = false;
    bool isFileList = true;
};

UriList parseUriList(const QByteArray &list)
{
    UriList parsed;
    for (const QByteArray &line : list.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#')) // comments are part of text/uri-list
            continue;
        parsed.lines.append(QString::fromUtf8(trimmed));
        QUrl url = QUrl::fromEncoded(trimmed, QUrl::StrictMode);
        // This machine by name, as RFC 8089 allows.
        if (url.host() == QLatin1String("localhost"))
            url.setHost(QString());
        const QString path = url.toLocalFile();
        parsed.holdsFiles = parsed.holdsFiles || url.scheme() == QLatin1String("file");
        // Any other URL among them means this is not a file list; so does a
        // path the history could not give back: it keeps one path a line,
        // and a path starting with "//" pastes as a URL with a host.
        if (!url.isValid() || !url.isLocalFile() || !path.startsWith(QLatin1Char('/'))
            || path.startsWith(QLatin1String("//")) || path.contains(QLatin1Char('\n')))
            parsed.isFileList = false;
        else
            parsed.paths.append(path);
    }
    parsed.isFileList = parsed.isFileList && !parsed.lines.isEmpty();
    return parsed;
}

std::optional<QByteArray> offered(const PasteboardSnapshot &snapshot, const QString &type)
{
    if (!snapshot.hasType(type))
        return std::nullopt;
    return snapshot.data(type);
}

// The first text type offered that gives text; an owner that refuses one,
// answers it with nothing, or with bytes that are not its encoding, is asked
// the next.
std::optional<QString> readText(const PasteboardSnapshot &snapshot)
{
    std::optional<QString> empty;
    for (const QString &type : mime::kTextTypes) {
        const std::optional<QByteArray> bytes = offered(snapshot, type);
        if (!bytes)
            continue;
        std::optional<QString> text
            = type == QLatin1String("STRING") ? QString::fromLatin1(*bytes) : decodeUtf8(*bytes);
        if (text && !text->isEmpty())
            return text;
        if (text)
            empty = text;
    }
    return empty;
}

// HTML as UTF-8. Chromium and older Firefox write it as UTF-16 on X11,
// with or without a byte order mark; a NUL in the first two bytes gives
// away the latter, as no UTF-8 HTML starts with one.
std::optional<QByteArray> readHtml(const PasteboardSnapshot &snapshot)
{
    std::optional<QByteArray> bytes = offered(snapshot, mime::kHtml);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    const auto byte = [&](qsizetype i) { return quint8(bytes->at(i)); };
    if (bytes->size() >= 2
        && ((byte(0) == 0xff && byte(1) == 0xfe) || (byte(0) == 0xfe && byte(1) == 0xff)
            || (byte(0) == 0) != (byte(1) == 0))) {
        // Without a mark, the zero byte says which half comes first.
        const bool bigEndian = byte(0) == 0xfe || byte(0) == 0;
        QStringDecoder decoder(bigEndian ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE,
            QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(*bytes);
        // The decoder lets a lone surrogate through; the encoder does not.
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        QByteArray utf8 = encoder.encode(text);
        if (decoder.hasError() || encoder.hasError() || utf8.isEmpty())
            return std::nullopt;
        return utf8;
    }
    if (!decodeUtf8(*bytes))
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    // Stateless: a sequence cut short at the end is an error, not held back.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool isPrivate(const PasteboardSnapshot &snapshot)
{
    for (const QString &marker : mime::kMarkers) {
        if (snapshot.hasType(marker))
            return true;
    }
    if (!snapshot.hasType(mime::kPasswordManagerHint))
        return false;
    // A hint that is offered but cannot be read counts as secret, and so
    // does one that comes empty: GTK offers a name that is not a MIME type,
    // then closes the pipe unwritten.
    const std::optional<QByteArray> hint = snapshot.data(mime::kPasswordManagerHint);
    return !hint || hint->trimmed().isEmpty() || hint->trimmed() == "secret";
}

std::optional<ClipContent> readClip(const PasteboardSnapshot &snapshot)
{
    if (isPrivate(snapshot))
        return std::nullopt;

    std::optional<QString> listAsText;
    if (const std::optional<QByteArray> list = offered(snapshot, mime::kUriList)) {
        const UriList parsed = parseUriList(*list);
        if (parsed.isFileList)
            return ClipContent::files(parsed.paths);
        // Files mixed with other URLs cannot be pasted back as files; they
        // are still what the user copied.
        if (parsed.holdsFiles)
            listAsText = parsed.lines.join(QLatin1Char('\n'));
    }
    for (const QString &image : {mime::kPng, mime::kTiff}) {
        if (std::optional<QByteArray> bytes = offered(snapshot, image))
            return ClipContent::image(std::move(*bytes));
    }
    std::optional<QByteArray> rtf = offered(snapshot, mime::kRtf);
    if (!rtf)
        rtf = offered(snapshot, mime::kRtfAlternative);
    std::optional<QByteArray> html = readHtml(snapshot);
    const std::optional<QString> text = readText(snapshot);
    const bool hasText = text && !text->isEmpty();
    if ((rtf || html) && hasText)
        return ClipContent::richText(*text, std::move(rtf), std::move(html));
    if (hasText)
        return ClipContent::text(*text);
    if (listAsText)
        return ClipContent::text(*listAsText);
    return std::nullopt;
}

ClipboardRead readClipboard(const PasteboardSnapshot &snapshot, ReadScope scope, bool ownWrite)
{
    ClipboardRead read;
    read.ownWrite = ownWrite;
    if (scope == ReadScope::contents)
        read.content = readClip(snapshot);
    return read;
}

} // namespace scrivlet
