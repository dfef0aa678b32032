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
        QUrl url = QUrl::fromEncoded(trimmed, QUrl::StrictMode);
        // This machine by name, as RFC 8089 allows.
        if (url.host() == QLatin1String("localhost"))
            url.setHost(QString());
        const QString path = url.toLocalFile();
        // Any other URL among them means this is not a file list; so does a
        // path the history could not give back: it keeps one path a line,
        // and a path starting with "//" pastes as a URL with a host.
        if (!url.isValid() || !url.isLocalFile() || !path.startsWith(QLatin1Char('/'))
            || path.startsWith(QLatin1String("//")) || path.contains(QLatin1Char('\n')))
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
    // Stateless: a sequence cut short at the end is an error, not held back.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace scrivlet
