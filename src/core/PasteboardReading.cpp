// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasteboardReading.h"

namespace scrivlet {

bool isPrivate(const PasteboardSnapshot &snapshot)
{
    for (const QString &marker : mime::kMarkers) {
        if (snapshot.hasType(marker))
            return true;
    }
    if (!snapshot.hasType(mime::kPasswordManagerHint))
        return false;
    // A hint that is offered but cannot be read counts as secret.
    const std::optional<QByteArray> hint = snapshot.data(mime::kPasswordManagerHint);
    return !hint || hint->trimmed() == "secret";
}

std::optional<ClipContent> readClip(const PasteboardSnapshot &snapshot)
{
    if (isPrivate(snapshot))
        return std::nullopt;

    const QList<QUrl> urls = snapshot.fileURLs();
    if (!urls.isEmpty()) {
        QStringList paths;
        for (const QUrl &url : urls)
            paths.append(url.toLocalFile());
        return ClipContent::files(paths);
    }
    for (const QString &image : {mime::kPng, mime::kTiff}) {
        if (std::optional<QByteArray> bytes = snapshot.data(image))
            return ClipContent::image(std::move(*bytes));
    }
    std::optional<QByteArray> rtf = snapshot.data(mime::kRtf);
    if (!rtf)
        rtf = snapshot.data(mime::kRtfAlternative);
    const std::optional<QString> text = snapshot.string(mime::kText);
    const bool hasText = text && !text->isEmpty();
    if (rtf && hasText)
        return ClipContent::richText(*text, std::move(*rtf));
    if (hasText)
        return ClipContent::text(*text);
    return std::nullopt;
}

} // namespace scrivlet
