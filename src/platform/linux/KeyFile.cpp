// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyFile.h"

#include "core/Paths.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scrivlet {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

struct FileDescriptor
{
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool writeAll(int fd, const unsigned char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

} // namespace

KeyFile::KeyFile(QString folder)
    : m_folder(std::move(folder))
{ }

QString KeyFile::filePath() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(kFileName);
}

Keyring::Lookup KeyFile::lookup(Prompt)
{
    Lookup lookup;
    const QByteArray path = QFile::encodeName(filePath());
    FileDescriptor file {::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    if (file.fd < 0) {
        lookup.outcome = errno == ENOENT ? Lookup::Outcome::notFound : Lookup::Outcome::failed;
        lookup.reason = systemError();
        return lookup;
    }
    struct stat info
    { };
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0
        || info.st_size > 1024) {
        lookup.reason = QStringLiteral("%1 is not a key").arg(filePath());
        return lookup;
    }
    SecretBytes secret(std::size_t(info.st_size));
    std::size_t done = 0;
    while (done < secret.size()) {
        const ssize_t got = ::read(file.fd, secret.data() + done, secret.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            lookup.reason
                = got < 0 ? systemError() : QStringLiteral("%1 is truncated").arg(filePath());
            return lookup;
        }
        done += std::size_t(got);
    }
    lookup.outcome = Lookup::Outcome::found;
    lookup.secrets.push_back(std::move(secret));
    return lookup;
}

Status KeyFile::store(const SecretBytes &key)
{
    if (Status made = paths::ensurePrivateFolder(m_folder); !made)
        return made;
    // Written whole under a temporary name, then linked into place: a crash
    // never leaves a partial key, and link() refuses to replace one.
    QByteArray temporary = QFile::encodeName(filePath() + QStringLiteral(".XXXXXX"));
    FileDescriptor file {::mkostemp(temporary.data(), O_CLOEXEC)};
    if (file.fd < 0)
        return Error {systemError()};
    const QByteArray path = QFile::encodeName(filePath());
    const bool written = ::fchmod(file.fd, 0600) == 0 && writeAll(file.fd, key.data(), key.size())
        && ::fsync(file.fd) == 0;
    const bool linked = written && ::link(temporary.constData(), path.constData()) == 0;
    Error failure {systemError()};
    ::unlink(temporary.constData());
    if (!linked)
        return failure;
    const QByteArray folder = QFile::encodeName(m_folder);
    FileDescriptor directory {::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (directory.fd >= 0)
        ::fsync(directory.fd); // makes the new name durable; the key is already written
    return success();
}

} // namespace scrivlet
