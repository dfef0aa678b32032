// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "core/Paths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace scrivlet {

namespace {

constexpr char kLockName[] = "scrivlet.lock";
constexpr char kSocketName[] = "scrivlet.socket";
constexpr int kIdleTimeoutMs = 10000;

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
    , m_allowedUser(::geteuid())
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection())
            serve(peer);
    });
}

void SingleInstance::serve(QLocalSocket *peer)
{
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    const auto answer = [peer](const CommandResponse &response) {
        peer->write(response.toJson() + '\n');
        peer->disconnectFromServer();
    };
    // The folder is private already; the peer's credentials are the proof.
    struct ucred credentials
    { };
    socklen_t length = sizeof credentials;
    if (::getsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length)
            != 0
        || credentials.uid != m_allowedUser) {
        answer({false, {}, QStringLiteral("refused: another user's process")});
        return;
    }
    // A peer that never finishes its line is not waited for.
    auto *timeout = new QTimer(peer);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, peer, [peer] { peer->abort(); });
    timeout->start(kIdleTimeoutMs);
    const auto readRequest = [this, peer, answer, timeout] {
        if (peer->property("answered").toBool())
            return;
        if (!peer->canReadLine()) {
            if (peer->bytesAvailable() > CommandRequest::kMaxLine) {
                peer->setProperty("answered", true);
                answer({false, {}, QStringLiteral("request too long")});
            }
            return;
        }
        peer->setProperty("answered", true);
        timeout->stop();
        const QByteArray line = peer->readLine(CommandRequest::kMaxLine + 1).trimmed();
        const Result<CommandRequest> request = CommandRequest::fromJson(line);
        if (!request) {
            answer({false, {}, request.error()});
            return;
        }
        if (!m_handler) {
            answer({false, {}, QStringLiteral("Scrivlet is starting")});
            return;
        }
        // The peer may leave before a slow answer (paste) comes.
        const QPointer<QLocalSocket> guarded(peer);
        m_handler(request.value(), [guarded, answer](const CommandResponse &response) {
            if (guarded)
                answer(response);
        });
    };
    connect(peer, &QLocalSocket::readyRead, this, readRequest);
    // A quick client may have written, and left, already.
    readRequest();
}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::runtimeFolder()
{
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    QString fallback = QStringLiteral("/tmp/scrivlet-%1").arg(::getuid());
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

QString SingleInstance::socketPath()
{
    return runtimeFolder() + QLatin1Char('/') + QLatin1String(kSocketName);
}

std::optional<CommandResponse> SingleInstance::send(
    const CommandRequest &request, SendFailure *failure, int timeoutMs)
{
    // Plain POSIX: the command line answers without starting Qt's machinery.
    const auto fail
        = [failure](const QString &why, bool notRunning = false) -> std::optional<CommandResponse> {
        if (failure)
            *failure = {notRunning, why};
        return std::nullopt;
    };
    const QByteArray path = QFile::encodeName(socketPath());
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return fail(QStringLiteral("the runtime folder's path is too long"));
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (errno == EACCES || errno == EPERM)
            return fail(QStringLiteral("Scrivlet's socket %1 is not yours to use")
                            .arg(QString::fromLocal8Bit(path)));
        return fail(QStringLiteral("Scrivlet is not running"), true);
    }

    const QByteArray line = request.toJson() + '\n';
    for (qsizetype sent = 0; sent < line.size();) {
        const ssize_t n
            = ::send(fd, line.constData() + sent, std::size_t(line.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        // A refusal can come, and the connection close, before the request
        // is written: the answer is read all the same.
        if (n <= 0)
            break;
        sent += n;
    }
    QByteArray answer;
    QDeadlineTimer deadline(timeoutMs);
    char buffer[65536];
    while (!answer.endsWith('\n')) {
        pollfd readable {fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return fail(QStringLiteral("Scrivlet did not answer"));
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, n);
    }
    if (answer.isEmpty())
        return fail(QStringLiteral("Scrivlet closed the connection without answering"));
    Result<CommandResponse> response = CommandResponse::fromJson(answer.trimmed());
    if (!response)
        return fail(response.error());
    return std::move(response).value();
}

} // namespace scrivlet
