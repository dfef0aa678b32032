// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageStore.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace scrivlet {

namespace {

constexpr char kTemporarySuffix[] = ".tmp";

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

void syncFolder(const QString &folder)
{
    const int fd
        = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ImageStore::ImageStore(QString directory, std::optional<Crypto> crypto)
    : m_directory(std::move(directory))
    , m_crypto(std::move(crypto))
{ }

QString ImageStore::defaultDirectory()
{
    return paths::dataFolder() + QStringLiteral("/images");
}

std::optional<QString> ImageStore::pathOf(const QString &name) const
{
    // Names come from the database: never let one reach outside the folder.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".")
        || name == QLatin1String("..") || name.contains(QChar(0)))
        return std::nullopt;
    return m_directory + QLatin1Char('/') + name;
}

Result<QString> ImageStore::write(const QByteArray &image) const
{
    if (!m_crypto)
        return Error {QStringLiteral("no key to seal the image with")};
    const QByteArray sealed = m_crypto->seal(image);
    if (sealed.isEmpty())
        return Error {QStringLiteral("the image could not be sealed")};
    if (Status made = paths::ensurePrivateFolder(m_directory); !made)
        return Error {made.error()};

    const QString name
        = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".png");
    const QByteArray finalPath = QFile::encodeName(*pathOf(name));
    const QByteArray temporary = QFile::encodeName(
        m_directory + QStringLiteral("/.") + name + QLatin1String(kTemporarySuffix));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return Error {systemError()};
    const bool written = writeAll(fd, sealed.constData(), sealed.size()) && ::fsync(fd) == 0;
    Error failure {systemError()};
    ::close(fd);
    if (!written || ::rename(temporary.constData(), finalPath.constData()) != 0) {
        if (written)
            failure = Error {systemError()};
        ::unlink(temporary.constData());
        return failure;
    }
    syncFolder(m_directory);
    return name;
}

std::optional<QByteArray> ImageStore::read(const QString &name) const
{
    const auto path = pathOf(name);
    if (!path)
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (m_crypto) {
        if (std::optional<QByteArray> opened = m_crypto->open(bytes))
            return opened;
    }
    return bytes;
}

void ImageStore::deleteFile(const QString &name) const
{
    if (const auto path = pathOf(name))
        QFile::remove(*path);
}

bool ImageStore::isSealedHere(const QString &path) const
{
    if (!m_crypto)
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && m_crypto->open(file.readAll()).has_value();
}

void ImageStore::sweep(const QSet<QString> &named, double now, double graceSeconds) const
{
    const QDir folder(m_directory);
    const QFileInfoList entries = folder.entryInfoList(
        QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        const bool temporary
            = name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(kTemporarySuffix));
        const bool image
            = name.endsWith(QLatin1String(".png")) && !name.startsWith(QLatin1Char('.'));
        if (!(temporary || (image && !named.contains(name))))
            continue;
        const double age = now - double(entry.lastModified().toMSecsSinceEpoch()) / 1000.0;
        // A file this young may belong to a record being saved right now.
        if (age < graceSeconds)
            continue;
        // An image sealed under another key belongs to another history (one
        // whose setting aside stopped halfway): only ours may go.
        if (image && !isSealedHere(entry.absoluteFilePath()))
            continue;
        QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace scrivlet
