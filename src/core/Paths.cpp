// SPDX-License-Identifier: GPL-3.0-or-later
#include "Paths.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace scrivlet::paths {

namespace {

QString xdgHome(const char *variable, const char *fallback)
{
    QString value = qEnvironmentVariable(variable);
    // The XDG rules ignore relative paths.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}

} // namespace

QString dataFolder()
{
    return xdgHome("XDG_DATA_HOME", ".local/share") + QStringLiteral("/Scrivlet");
}

QString configFolder()
{
    return xdgHome("XDG_CONFIG_HOME", ".config") + QStringLiteral("/Scrivlet");
}

Status ensurePrivateFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString partial;
    for (const QString &part : clean.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        partial += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(partial);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return Error {QStringLiteral("cannot create the folder %1: %2")
                              .arg(partial, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    const QByteArray native = QFile::encodeName(clean);
    struct stat info
    { };
    if (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return Error {QStringLiteral("%1 is not a folder").arg(clean)};
    if ((info.st_mode & 0777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return Error {QStringLiteral("cannot make the folder %1 private: %2")
                          .arg(clean, QString::fromLocal8Bit(std::strerror(errno)))};
    return success();
}

} // namespace scrivlet::paths
