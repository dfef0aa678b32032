// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QRandomGenerator>

namespace scrivlet {

namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The portal names request and session objects after the caller's unique
// name, ":1.42" becoming "1_42".
QString senderPart(const QDBusConnection &bus)
{
    QString name = bus.baseService();
    if (name.startsWith(QLatin1Char(':')))
        name.remove(0, 1);
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

} // namespace

QString PortalAnswer::reason() const
{
    if (!error.isEmpty())
        return error;
    switch (response) {
    case 0:
        return QStringLiteral("granted");
    case 1:
        return QStringLiteral("cancelled by the user");
    default:
        return QStringLiteral("the request ended without an answer (%1)").arg(response);
    }
}

const QString &PortalRequest::service()
{
    static const QString name = QStringLiteral("org.freedesktop.portal.Desktop");
    return name;
}

const QString &PortalRequest::objectPath()
{
    static const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
    return path;
}

QString PortalRequest::newToken()
{
    return QStringLiteral("scrivlet%1").arg(QRandomGenerator::global()->generate());
}

QString PortalRequest::sessionPath(const QDBusConnection &bus, const QString &token)
{
    return QStringLiteral("%1/session/%2/%3").arg(objectPath(), senderPart(bus), token);
}

std::optional<uint> PortalRequest::version(
    const QDBusConnection &bus, const QString &interface, int timeoutMilliseconds)
{
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage get = QDBusMessage::createMethodCall(service(), objectPath(),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const uint value = reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt(&ok);
    return ok ? std::optional<uint>(value) : std::nullopt;
}

void PortalRequest::closeSession(const QDBusConnection &bus, const QString &session)
{
    if (session.isEmpty())
        return;
    // Nothing to do when it fails: the portal closes a session anyway when
    // we leave the bus.
    const QDBusMessage close = QDBusMessage::createMethodCall(
        service(), session, kSessionInterface, QStringLiteral("Close"));
    QDBusConnection(bus).asyncCall(close);
}

void PortalRequest::call(const QDBusConnection &bus, const QString &interface,
    const QString &method, const QVariantList &arguments, QVariantMap options, QObject *context,
    Handler handler)
{
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    auto *request = new PortalRequest(bus, std::move(handler), context);
    request->listen(QStringLiteral("%1/request/%2/%3").arg(objectPath(), senderPart(bus), token));

    QDBusMessage message
        = QDBusMessage::createMethodCall(service(), objectPath(), interface, method);
    message.setArguments(QVariantList(arguments) << QVariant(options));
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection(bus).asyncCall(message), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request,
        [request](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *call;
            if (reply.isError()) {
                request->finish({2, {}, reply.error().message()});
                return;
            }
            // Portals older than 0.9 chose the path themselves.
            const QString path = reply.value().path();
            if (!request->m_done && !request->m_paths.contains(path))
                request->listen(path);
        });
}

PortalRequest::PortalRequest(const QDBusConnection &bus, Handler handler, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_handler(std::move(handler))
{ }

void PortalRequest::listen(const QString &path)
{
    m_paths << path;
    m_bus.connect(service(), path, kRequestInterface, QStringLiteral("Response"), this,
        SLOT(onResponse(QDBusMessage)));
}

void PortalRequest::onResponse(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    PortalAnswer answer;
    if (arguments.size() >= 1)
        answer.response = arguments.at(0).toUInt();
    if (arguments.size() >= 2)
        answer.results = qdbus_cast<QVariantMap>(arguments.at(1));
    finish(answer);
}

void PortalRequest::finish(const PortalAnswer &answer)
{
    if (m_done)
        return;
    m_done = true;
    for (const QString &path : std::as_const(m_paths)) {
        m_bus.disconnect(service(), path, kRequestInterface, QStringLiteral("Response"), this,
            SLOT(onResponse(QDBusMessage)));
    }
    deleteLater();
    // Last: the handler may destroy the context, and this object with it.
    const Handler handler = std::move(m_handler);
    if (handler)
        handler(answer);
}

} // namespace scrivlet
