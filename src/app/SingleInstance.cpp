// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scrivlet {

namespace {

constexpr char kLockName[] = "scrivlet.lock";
constexpr char kSocketName[] = "scrivlet.socket";

// A folder of ours: owned by the user and closed to others.
bool isPrivateFolder(const QString &folder)
{
    struct stat info
    { };
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
    , m_folder(runtimeFolder())
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection()) {
            const auto readRequests = [this, peer] {
                while (peer->canReadLine()) {
                    const QByteArray request = peer->readLine().trimmed();
                    if (request == "show")
                        Q_EMIT showRequested();
                    else if (request == "settings")
                        Q_EMIT settingsRequested();
                }
            };
            connect(peer, &QLocalSocket::readyRead, this, readRequests);
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            // A quick client may have written, and left, already.
            readRequests();
        }
    });
}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    const QString fallback = QStringLiteral("/tmp/scrivlet-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    return fallback;
}

bool SingleInstance::claim()
{
    // Someone else's folder under /tmp is never trusted.
    if (!isPrivateFolder(m_folder))
        return false;
    const QByteArray lockPath
        = QFile::encodeName(m_folder + QLatin1Char('/') + QLatin1String(kLockName));
    m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0 || ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0)
        return false;
    // Holding the lock makes any socket left behind a stale one.
    const QString socket = m_folder + QLatin1Char('/') + QLatin1String(kSocketName);
    QLocalServer::removeServer(socket);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socket))
        qWarning("Scrivlet: cannot listen on %s: %s", qPrintable(socket),
            qPrintable(m_server.errorString()));
    return true;
}

bool SingleInstance::notifyRunning(const QByteArray &request)
{
    QLocalSocket socket;
    socket.connectToServer(m_folder + QLatin1Char('/') + QLatin1String(kSocketName));
    if (!socket.waitForConnected(2000))
        return false;
    socket.write(request + '\n');
    const bool sent = socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return sent;
}

} // namespace scrivlet
