// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace scrivlet {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// A portal that does not answer must not hold up start-up.
constexpr int kTimeoutMilliseconds = 1000;

std::optional<bool> fromSetting(QVariant value)
{
    // Read() wraps the value in one more variant than SettingChanged does.
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    if (!ok || scheme == 0 || scheme > 2)
        return std::nullopt;
    return scheme == 1;
}

} // namespace

PortalColorScheme::PortalColorScheme(QObject *parent)
    : ColorScheme(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage read
        = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
    read << kGroup << kKey;
    const QDBusMessage reply = bus.call(read, QDBus::Block, kTimeoutMilliseconds);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        m_prefersDark = fromSetting(reply.arguments().constFirst());
    bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
        SLOT(onSettingChanged(QString, QString, QDBusVariant)));
}

void PortalColorScheme::onSettingChanged(
    const QString &group, const QString &key, const QDBusVariant &value)
{
    if (group != kGroup || key != kKey)
        return;
    m_prefersDark = fromSetting(value.variant());
    Q_EMIT changed();
}

} // namespace scrivlet
