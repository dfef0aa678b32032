// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever another program offers on the clipboard is read: the reader must
// never keep a secret, never alter what it keeps, and never crash.
//
// Input: a first line of letters, one per offered type (upper case: offered
// with the next payload, lower case: offered without bytes), then the
// payloads separated by 0x1e.
#include "core/capture/MimeSnapshot.h"

#include <QUrl>
#include <cstdint>
#include <cstdlib>

using namespace scrivlet;

namespace {

const QString &typeFor(char letter)
{
    static const QHash<char, QString> types {
        {'u', mime::kUriList},
        {'p', mime::kPng},
        {'t', mime::kTiff},
        {'r', mime::kRtf},
        {'a', mime::kRtfAlternative},
        {'w', mime::kHtml},
        {'x', mime::kText},
        {'h', mime::kPasswordManagerHint},
        {'c', mime::kMarkers[0]},
        {'v', mime::kMarkers[1]},
        {'g', mime::kMarkers[2]},
    };
    static const QString none;
    const auto found = types.constFind(char(QChar::toLower(uint(uchar(letter)))));
    return found == types.constEnd() ? none : *found;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray letters = lineEnd < 0 ? input : input.left(lineEnd);
    QList<QByteArray> payloads
        = lineEnd < 0 ? QList<QByteArray>() : input.mid(lineEnd + 1).split('\x1e');

    MimeSnapshot snapshot;
    QHash<QString, std::optional<QByteArray>> offered; // the last bytes given win
    for (const char letter : letters) {
        const QString &type = typeFor(letter);
        if (type.isEmpty())
            continue;
        if (QChar::isUpper(uint(uchar(letter)))) {
            const QByteArray bytes = payloads.isEmpty() ? QByteArray() : payloads.takeFirst();
            snapshot.set(type, bytes);
            offered.insert(type, bytes);
        } else {
            snapshot.offer(type);
            if (!offered.contains(type))
                offered.insert(type, std::nullopt);
        }
    }
    const auto delivered = [&](const QString &type) { return offered.value(type, std::nullopt); };

    const std::optional<ClipContent> content = readClip(snapshot);

    bool secret = false;
    for (const QString &marker : mime::kMarkers)
        secret = secret || offered.contains(marker);
    if (offered.contains(mime::kPasswordManagerHint)) {
        const auto hint = delivered(mime::kPasswordManagerHint);
        secret = secret || !hint || hint->trimmed().isEmpty() || hint->trimmed() == "secret";
    }
    if (secret) {
        check(!content);
        return 0;
    }

    const std::optional<QByteArray> textBytes = delivered(mime::kText);
    const bool readableText = textBytes && QByteArrayView(*textBytes).isValidUtf8()
        && !textBytes->isEmpty() && *textBytes != "\xef\xbb\xbf";
    // Text kept is the text offered, but for a byte order mark in front.
    const auto sameText = [&](const QString &kept) {
        const QByteArray back = kept.toUtf8();
        return back == *textBytes || "\xef\xbb\xbf" + back == *textBytes;
    };
    const bool image = delivered(mime::kPng) || delivered(mime::kTiff);
    const std::optional<QByteArray> rtf
        = delivered(mime::kRtf) ? delivered(mime::kRtf) : delivered(mime::kRtfAlternative);
    // HTML in UTF-8 is kept as it came; UTF-16 (told by a mark or a zero
    // byte in front) is kept converted, when it converts.
    const std::optional<QByteArray> html = delivered(mime::kHtml);
    const bool utf16Html = html && html->size() >= 2
        && (html->startsWith("\xff\xfe") || html->startsWith("\xfe\xff")
            || (html->at(0) == 0) != (html->at(1) == 0));
    const bool utf8Html
        = html && !html->isEmpty() && !utf16Html && QByteArrayView(*html).isValidUtf8();
    if (!content) {
        // Neither an image nor readable text is ever dropped.
        check(!image && !readableText);
        return 0;
    }

    if (const auto *files = std::get_if<ClipContent::Files>(&content->value)) {
        check(delivered(mime::kUriList).has_value() && !files->paths.isEmpty());
        // The history keeps a file list as lines; each line must come back as
        // the same file.
        check(files->paths.join(QLatin1Char('\n')).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            == files->paths);
        // Pasted back as a file URL, each must name the same local file.
        for (const QString &path : files->paths) {
            const QUrl back = QUrl::fromLocalFile(path);
            check(back.host().isEmpty() && back.toLocalFile() == path);
        }
    } else if (const auto *kept = std::get_if<ClipContent::Image>(&content->value)) {
        const auto png = delivered(mime::kPng);
        check(kept->bytes == (png ? *png : delivered(mime::kTiff).value_or("not offered")));
    } else if (const auto *rich = std::get_if<ClipContent::RichText>(&content->value)) {
        check(rich->rtf == rtf);
        if (utf16Html)
            check(!rich->html
                || (!rich->html->isEmpty() && QByteArrayView(*rich->html).isValidUtf8()));
        else
            check(rich->html == (utf8Html ? html : std::nullopt));
        check(rich->rtf || rich->html);
        check(!image && readableText && sameText(rich->plain));
    } else if (const auto *plain = std::get_if<ClipContent::Text>(&content->value)) {
        // A list that is not only files is kept as text: the owner's, else
        // the list's own lines.
        const bool fromList = delivered(mime::kUriList).has_value();
        check(!image);
        if (readableText)
            check(sameText(plain->text) && ((!rtf && !utf8Html) || fromList));
        else
            check(fromList && !plain->text.isEmpty());
    }
    return 0;
}
