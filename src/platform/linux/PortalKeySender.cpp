// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalKeySender.h"

#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QList>
#include <memory>

namespace scrivlet {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
constexpr uint kKeyboardDevice = 1;
// Persist until the user revokes it; restore tokens came with version 2.
constexpr uint kPersistUntilRevoked = 2;
constexpr uint kFirstVersionWithRestore = 2;

constexpr int kKeysymV = 0x0076;
constexpr int kKeysymInsert = 0xff63;
constexpr int kKeysymControlL = 0xffe3;
constexpr int kKeysymShiftL = 0xffe1;

QList<int> keysymsFor(PasteKey key)
{
    switch (key) {
    case PasteKey::ctrlV:
        return {kKeysymControlL, kKeysymV};
    case PasteKey::ctrlShiftV:
        return {kKeysymControlL, kKeysymShiftL, kKeysymV};
    case PasteKey::shiftInsert:
        return {kKeysymShiftL, kKeysymInsert};
    }
    return {};
}

} // namespace

PortalKeySender::PortalKeySender(std::function<QString()> loadToken,
    std::function<void(const QString &)> saveToken, QObject *parent)
    : QObject(parent)
    , m_bus(QDBusConnection::sessionBus())
    , m_loadToken(std::move(loadToken))
    , m_saveToken(std::move(saveToken))
{ }

PortalKeySender::~PortalKeySender()
{
    forgetSession();
}

bool PortalKeySender::isOffered()
{
    return PortalRequest::version(
        QDBusConnection::sessionBus(), kInterface, PortalRequest::kStartTimeoutMilliseconds)
        .has_value();
}

bool PortalKeySender::sendPaste(PasteKey key)
{
    if (m_state == State::none)
        startSession();
    if (m_state != State::started)
        return false;
    const QList<int> keysyms = keysymsFor(key);
    // One log line for the keystroke, however many of its keys fail.
    const auto failed = std::make_shared<bool>(false);
    for (int keysym : keysyms)
        sendKeysym(keysym, true, failed);
    for (auto it = keysyms.crbegin(); it != keysyms.crend(); ++it)
        sendKeysym(*it, false, failed);
    return true;
}

void PortalKeySender::prepare()
{
    if (m_state == State::none || m_state == State::refused)
        startSession();
}

void PortalKeySender::startSession()
{
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("no session bus"));
        return;
    }
    const quint64 generation = ++m_generation;
    setState(State::starting);
    QDBusMessage get
        = QDBusMessage::createMethodCall(PortalRequest::service(), PortalRequest::objectPath(),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, generation](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusMessage reply = call->reply();
            if (generation != m_generation)
                return;
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                fail(call->error().message());
                return;
            }
            const uint version
                = reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
            createSession(generation, version);
        });
}

void PortalKeySender::createSession(quint64 generation, uint version)
{
    const QString token = PortalRequest::newToken();
    PortalRequest::call(m_bus, kInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), token}}, this,
        [this, generation, version, token](const PortalAnswer &answer) {
            QString session = answer.results.value(QStringLiteral("session_handle")).toString();
            if (session.isEmpty())
                session = PortalRequest::sessionPath(m_bus, token);
            if (generation != m_generation) {
                if (answer.granted())
                    PortalRequest::closeSession(m_bus, session);
                return;
            }
            if (!answer.granted()) {
                fail(answer.reason());
                return;
            }
            m_session = session;
            m_bus.connect(PortalRequest::service(), m_session, kSessionInterface,
                QStringLiteral("Closed"), this, SLOT(onSessionClosed(QDBusMessage)));
            selectDevices(generation, version);
        });
}

void PortalKeySender::selectDevices(quint64 generation, uint version)
{
    QVariantMap options {{QStringLiteral("types"), kKeyboardDevice}};
    if (version >= kFirstVersionWithRestore) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        const QString token = m_loadToken ? m_loadToken() : QString();
        if (!token.isEmpty())
            options.insert(QStringLiteral("restore_token"), token);
    }
    PortalRequest::call(m_bus, kInterface, QStringLiteral("SelectDevices"),
        {QVariant::fromValue(QDBusObjectPath(m_session))}, options, this,
        [this, generation](const PortalAnswer &answer) {
            if (generation != m_generation)
                return;
            if (!answer.granted()) {
                fail(answer.reason());
                return;
            }
            start(generation);
        });
}

void PortalKeySender::start(quint64 generation)
{
    PortalRequest::call(m_bus, kInterface, QStringLiteral("Start"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {}, this,
        [this, generation](const PortalAnswer &answer) {
            if (generation != m_generation)
                return;
            if (!answer.granted()) {
                fail(answer.reason());
                return;
            }
            const uint devices = answer.results.value(QStringLiteral("devices")).toUInt();
            if (!(devices & kKeyboardDevice)) {
                fail(QStringLiteral("the keyboard was not granted"));
                return;
            }
            const QString token = answer.results.value(QStringLiteral("restore_token")).toString();
            if (!token.isEmpty() && m_saveToken)
                m_saveToken(token);
            setState(State::started);
        });
}

void PortalKeySender::fail(const QString &reason)
{
    qWarning().noquote() << QStringLiteral(
                                "Scrivlet: the desktop refused the keyboard for automatic paste: ")
            + reason;
    forgetSession();
    setState(State::refused);
}

void PortalKeySender::forgetSession()
{
    ++m_generation;
    if (m_session.isEmpty())
        return;
    m_bus.disconnect(PortalRequest::service(), m_session, kSessionInterface,
        QStringLiteral("Closed"), this, SLOT(onSessionClosed(QDBusMessage)));
    PortalRequest::closeSession(m_bus, m_session);
    m_session.clear();
}

void PortalKeySender::onSessionClosed(const QDBusMessage &)
{
    // The desktop ended it (the user revoked it, the portal restarted): the
    // next paste asks anew, since the user did not say no to us.
    ++m_generation;
    m_bus.disconnect(PortalRequest::service(), m_session, kSessionInterface,
        QStringLiteral("Closed"), this, SLOT(onSessionClosed(QDBusMessage)));
    m_session.clear();
    qWarning("Scrivlet: the desktop closed the keyboard session for automatic paste.");
    setState(State::none);
}

void PortalKeySender::setState(State state)
{
    const bool wasTrusted = isTrusted();
    m_state = state;
    if (isTrusted() != wasTrusted)
        Q_EMIT trustChanged(isTrusted());
}

void PortalKeySender::sendKeysym(int keysym, bool pressed, const std::shared_ptr<bool> &failed)
{
    QDBusMessage message = QDBusMessage::createMethodCall(PortalRequest::service(),
        PortalRequest::objectPath(), kInterface, QStringLiteral("NotifyKeyboardKeysym"));
    message << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << keysym
            << uint(pressed ? 1 : 0);
    // Calls on one connection arrive in order: the keystroke needs no wait.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [failed](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            if (!call->isError() || *failed)
                return;
            *failed = true;
            qWarning().noquote() << QStringLiteral(
                                        "Scrivlet: the desktop did not take the paste keystroke: ")
                    + call->error().message();
        });
}

} // namespace scrivlet
