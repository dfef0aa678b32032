// SPDX-License-Identifier: GPL-3.0-or-later
#include "MimeSnapshot.h"

#include <QStringDecoder>

namespace scrivlet {

QList<QUrl> MimeSnapshot::fileURLs() const
{
    const auto list = data(mime::kUriList);
    if (!list)
        return {};
    QList<QUrl> urls;
    for (const QByteArray &line : list->split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#')) // comments are part of text/uri-list
            continue;
        const QUrl url = QUrl::fromEncoded(trimmed, QUrl::StrictMode);
        // Any other URL among them means this is not a file list.
        if (!url.isValid() || !url.isLocalFile())
            return {};
        urls.append(url);
    }
    return urls;
}

std::optional<QByteArray> MimeSnapshot::data(const QString &type) const
{
    const auto found = m_data.constFind(type);
    if (found == m_data.constEnd())
        return std::nullopt;
    return *found;
}

std::optional<QString> MimeSnapshot::string(const QString &type) const
{
    const auto bytes = data(type);
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace scrivlet
