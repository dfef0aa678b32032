// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

class QDBusMessage;

namespace scrivlet {

// What the desktop portal answered a request.
struct PortalAnswer
{
    // 0 granted, 1 cancelled by the user, 2 ended another way.
    uint response = 2;
    QVariantMap results;
    // The D-Bus error of the call itself, when it failed.
    QString error;

    [[nodiscard]] bool granted() const { return response == 0 && error.isEmpty(); }
    // One short English phrase for a log line.
    [[nodiscard]] QString reason() const;
};

// One call to the desktop portal whose answer comes later, as the Response
// signal of a request object. The signal is listened for on the path the
// portal will use before the call is made: an answer sent at once is not
// missed. The handler runs once, unless `context` is destroyed first.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const PortalAnswer &)>;

    // `options` is the call's last argument; handle_token is added to it.
    static void call(const QDBusConnection &bus, const QString &interface, const QString &method,
        const QVariantList &arguments, QVariantMap options, QObject *context, Handler handler);

    static const QString &service();
    static const QString &objectPath();
    // A fresh token for handle_token and session_handle_token.
    [[nodiscard]] static QString newToken();
    [[nodiscard]] static QString sessionPath(const QDBusConnection &bus, const QString &token);
    // How long a first question may take: a portal started on demand, as at
    // login or in a fresh session, takes seconds to answer; one that is not
    // installed answers at once.
    static constexpr int kStartTimeoutMilliseconds = 5000;
    // The interface's "version" property; none when the portal does not offer
    // the interface or does not answer within the time given.
    [[nodiscard]] static std::optional<uint> version(
        const QDBusConnection &bus, const QString &interface, int timeoutMilliseconds);
    static void closeSession(const QDBusConnection &bus, const QString &session);

private Q_SLOTS:
    void onResponse(const QDBusMessage &message);

private:
    PortalRequest(const QDBusConnection &bus, Handler handler, QObject *parent);
    void listen(const QString &path);
    void finish(const PortalAnswer &answer);

    QDBusConnection m_bus;
    Handler m_handler;
    QStringList m_paths;
    bool m_done = false;
};

} // namespace scrivlet
