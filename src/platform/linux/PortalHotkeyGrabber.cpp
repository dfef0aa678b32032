// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalHotkeyGrabber.h"

#include "PortalRequest.h"
#include "ShortcutKeysym.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QList>
#include <QStringList>
#include <utility>

namespace {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace scrivlet {

namespace {

using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kShortcutId = QStringLiteral("togglePalette");

QList<PortalShortcut> shortcutList(const QVariant &value)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return {};
    QList<PortalShortcut> list;
    value.value<QDBusArgument>() >> list;
    return list;
}

} // namespace

PortalHotkeyGrabber::PortalHotkeyGrabber(QObject *parent)
    : HotkeyGrabber(parent)
    , m_bus(QDBusConnection::sessionBus())
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    const QString &service = PortalRequest::service();
    const QString &path = PortalRequest::objectPath();
    m_bus.connect(service, path, kInterface, QStringLiteral("Activated"), this,
        SLOT(onActivated(QDBusMessage)));
    m_bus.connect(service, path, kInterface, QStringLiteral("Deactivated"), this,
        SLOT(onDeactivated(QDBusMessage)));
    m_bus.connect(service, path, kInterface, QStringLiteral("ShortcutsChanged"), this,
        SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalHotkeyGrabber::~PortalHotkeyGrabber()
{
    closeSession();
}

bool PortalHotkeyGrabber::isOffered()
{
    return PortalRequest::version(
        QDBusConnection::sessionBus(), kInterface, PortalRequest::kStartTimeoutMilliseconds)
        .has_value();
}

std::optional<QString> PortalHotkeyGrabber::portalTrigger(const Shortcut &shortcut)
{
    const std::optional<QString> name = shortcutKeysymName(shortcut);
    if (!name)
        return std::nullopt;
    QStringList parts;
    for (const auto &[bit, word] : {std::pair {Modifier::control, "CTRL"},
             {Modifier::option, "ALT"}, {Modifier::shift, "SHIFT"}, {Modifier::command, "LOGO"}}) {
        if (shortcut.carbonModifiers & bit)
            parts << QLatin1String(word);
    }
    parts << *name;
    return parts.join(QLatin1Char('+'));
}

bool PortalHotkeyGrabber::grab(const Shortcut &shortcut)
{
    if (!m_bus.isConnected() || !portalTrigger(shortcut))
        return false;
    if (m_shortcut == shortcut && (m_creating || !m_session.isEmpty()))
        return true;
    closeSession();
    m_shortcut = shortcut;
    createSession();
    return true;
}

void PortalHotkeyGrabber::ungrab(const Shortcut &shortcut)
{
    if (m_shortcut != shortcut)
        return;
    closeSession();
    m_shortcut.reset();
    setTriggerDescription({});
}

void PortalHotkeyGrabber::createSession()
{
    const quint64 generation = ++m_generation;
    m_creating = true;
    const QString token = PortalRequest::newToken();
    PortalRequest::call(m_bus, kInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), token}}, this,
        [this, generation, token](const PortalAnswer &answer) {
            QString session = answer.results.value(QStringLiteral("session_handle")).toString();
            if (session.isEmpty())
                session = PortalRequest::sessionPath(m_bus, token);
            if (generation != m_generation) {
                if (answer.granted())
                    PortalRequest::closeSession(m_bus, session);
                return;
            }
            m_creating = false;
            if (!answer.granted()) {
                refuse(answer.reason());
                return;
            }
            m_session = session;
            bindShortcut(generation);
        });
}

void PortalHotkeyGrabber::bindShortcut(quint64 generation)
{
    const QVariantMap properties {
        {QStringLiteral("description"), tr("Afficher l'historique du presse-papiers")},
        {QStringLiteral("preferred_trigger"), portalTrigger(*m_shortcut).value_or(QString())},
    };
    const QList<PortalShortcut> shortcuts {{kShortcutId, properties}};
    PortalRequest::call(m_bus, kInterface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
            QString()},
        {}, this, [this, generation](const PortalAnswer &answer) {
            if (generation != m_generation)
                return;
            if (!answer.granted()) {
                refuse(answer.reason());
                return;
            }
            takeBoundShortcuts(answer.results.value(QStringLiteral("shortcuts")));
        });
}

void PortalHotkeyGrabber::closeSession()
{
    ++m_generation;
    m_creating = false;
    m_held = false;
    PortalRequest::closeSession(m_bus, m_session);
    m_session.clear();
}

void PortalHotkeyGrabber::refuse(const QString &reason)
{
    qWarning().noquote() << QStringLiteral("Scrivlet: the desktop refused the palette shortcut: ")
            + reason;
    closeSession();
    setTriggerDescription({});
}

void PortalHotkeyGrabber::takeBoundShortcuts(const QVariant &shortcuts)
{
    for (const PortalShortcut &bound : shortcutList(shortcuts)) {
        if (bound.id == kShortcutId) {
            setTriggerDescription(
                bound.properties.value(QStringLiteral("trigger_description")).toString());
            return;
        }
    }
    refuse(QStringLiteral("it is not among the shortcuts bound"));
}

void PortalHotkeyGrabber::setTriggerDescription(const QString &description)
{
    if (description == m_triggerDescription)
        return;
    m_triggerDescription = description;
    Q_EMIT triggerChanged();
}

bool PortalHotkeyGrabber::isOurs(const QDBusMessage &message) const
{
    const QVariantList arguments = message.arguments();
    return m_shortcut && !m_session.isEmpty() && arguments.size() >= 2
        && arguments.at(0).value<QDBusObjectPath>().path() == m_session
        && arguments.at(1).toString() == kShortcutId;
}

void PortalHotkeyGrabber::onActivated(const QDBusMessage &message)
{
    // A held key repeats on some desktops: one press until its release.
    if (!isOurs(message) || m_held)
        return;
    m_held = true;
    Q_EMIT pressed(*m_shortcut);
}

void PortalHotkeyGrabber::onDeactivated(const QDBusMessage &message)
{
    if (!isOurs(message) || !m_held)
        return;
    m_held = false;
    Q_EMIT released(*m_shortcut);
}

void PortalHotkeyGrabber::onShortcutsChanged(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    if (m_session.isEmpty() || arguments.size() < 2
        || arguments.at(0).value<QDBusObjectPath>().path() != m_session)
        return;
    for (const PortalShortcut &bound : shortcutList(arguments.at(1))) {
        if (bound.id == kShortcutId)
            setTriggerDescription(
                bound.properties.value(QStringLiteral("trigger_description")).toString());
    }
}

} // namespace scrivlet
