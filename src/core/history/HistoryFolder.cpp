// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace scrivlet {

Result<QString> setAsideHistory(const QString &dataFolder)
{
    const QString stamp
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString aside = dataFolder + QStringLiteral("/set-aside-") + stamp;
    if (!QDir().mkdir(aside))
        return Error {QStringLiteral("cannot create %1").arg(aside)};
    // The database first: once it has moved, a new start sees no old history.
    for (const char *name :
        {"history.sqlite", "history.sqlite-wal", "history.sqlite-shm", "images"}) {
        const QString from = dataFolder + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::exists(from))
            continue;
        const QString to = aside + QLatin1Char('/') + QLatin1String(name);
        if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData())
            != 0)
            return Error {QStringLiteral("cannot move %1: %2")
                              .arg(from, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    return aside;
}

} // namespace scrivlet
