// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryListing.h"

#include "core/history/ClipKind.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace scrivlet::HistoryListing {

QString preview(const ClipItem &item)
{
    if (item.kind() == ClipKind::image)
        return QStringLiteral("<image, %1 bytes>").arg(item.byteSize());
    QString text = item.text();
    // Only the start is shown: no need to fold a whole novel.
    text.truncate(qsizetype(kPreviewLength) * 8);
    QString line;
    line.reserve(std::min<qsizetype>(text.size(), kPreviewLength + 1));
    bool space = false;
    for (const QChar c : std::as_const(text)) {
        // Controls too: a NUL or an escape sequence has no place in a listing.
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            space = !line.isEmpty();
            continue;
        }
        if (space)
            line += QLatin1Char(' ');
        space = false;
        line += c;
        if (line.size() >= kPreviewLength) {
            line += QChar(0x2026);
            break;
        }
    }
    return line;
}

QByteArray lines(const std::vector<Entry> &entries, bool nullSeparated)
{
    QByteArray out;
    for (const Entry &entry : entries) {
        out += QByteArray::number(entry.position) + '\t' + rawValue(entry.item->kind()).toUtf8()
            + '\t' + (entry.item->isPinned() ? "*" : "") + '\t' + preview(*entry.item).toUtf8()
            + (nullSeparated ? '\0' : '\n');
    }
    return out;
}

QByteArray json(const std::vector<Entry> &entries)
{
    QJsonArray array;
    for (const Entry &entry : entries) {
        const ClipItem &item = *entry.item;
        const QDateTime created
            = QDateTime::fromMSecsSinceEpoch(qint64(item.createdAt() * 1000)).toUTC();
        array.append(QJsonObject {
            {QStringLiteral("position"), entry.position},
            {QStringLiteral("id"), item.id().toString(QUuid::WithoutBraces)},
            {QStringLiteral("kind"), rawValue(item.kind())},
            {QStringLiteral("pinned"), item.isPinned()},
            {QStringLiteral("createdAt"), created.toString(Qt::ISODateWithMs)},
            {QStringLiteral("sourceApp"),
                item.sourceAppBundleID() ? QJsonValue(*item.sourceAppBundleID()) : QJsonValue()},
            {QStringLiteral("byteSize"), item.byteSize()},
            {QStringLiteral("text"),
                item.kind() == ClipKind::image ? QJsonValue() : QJsonValue(item.text())},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

} // namespace scrivlet::HistoryListing
