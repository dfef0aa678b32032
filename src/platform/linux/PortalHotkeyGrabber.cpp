// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalHotkeyGrabber.h"

#include "PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QList>
#include <QStringList>
#include <utility>
#include <xkbcommon/xkbcommon.h>

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

using GlobalShortcuts::Key;
using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kShortcutId = QStringLiteral("togglePalette");

// Keys that type no character, by their name in the shortcut model.
constexpr std::pair<const char *, xkb_keysym_t> kKeysyms[] = {
    {"return", XKB_KEY_Return},
    {"tab", XKB_KEY_Tab},
    {"space", XKB_KEY_space},
    {"delete", XKB_KEY_BackSpace},
    {"escape", XKB_KEY_Escape},
    {"rightCommand", XKB_KEY_Super_R},
    {"command", XKB_KEY_Super_L},
    {"shift", XKB_KEY_Shift_L},
    {"capsLock", XKB_KEY_Caps_Lock},
    {"option", XKB_KEY_Alt_L},
    {"control", XKB_KEY_Control_L},
    {"rightShift", XKB_KEY_Shift_R},
    {"rightOption", XKB_KEY_Alt_R},
    {"rightControl", XKB_KEY_Control_R},
    {"keypadDecimal", XKB_KEY_KP_Decimal},
    {"keypadMultiply", XKB_KEY_KP_Multiply},
    {"keypadPlus", XKB_KEY_KP_Add},
    {"keypadClear", XKB_KEY_Num_Lock},
    {"volumeUp", XKB_KEY_XF86AudioRaiseVolume},
    {"volumeDown", XKB_KEY_XF86AudioLowerVolume},
    {"mute", XKB_KEY_XF86AudioMute},
    {"keypadDivide", XKB_KEY_KP_Divide},
    {"keypadEnter", XKB_KEY_KP_Enter},
    {"keypadMinus", XKB_KEY_KP_Subtract},
    {"keypadEquals", XKB_KEY_KP_Equal},
    {"keypad0", XKB_KEY_KP_0},
    {"keypad1", XKB_KEY_KP_1},
    {"keypad2", XKB_KEY_KP_2},
    {"keypad3", XKB_KEY_KP_3},
    {"keypad4", XKB_KEY_KP_4},
    {"keypad5", XKB_KEY_KP_5},
    {"keypad6", XKB_KEY_KP_6},
    {"keypad7", XKB_KEY_KP_7},
    {"keypad8", XKB_KEY_KP_8},
    {"keypad9", XKB_KEY_KP_9},
    {"f1", XKB_KEY_F1},
    {"f2", XKB_KEY_F2},
    {"f3", XKB_KEY_F3},
    {"f4", XKB_KEY_F4},
    {"f5", XKB_KEY_F5},
    {"f6", XKB_KEY_F6},
    {"f7", XKB_KEY_F7},
    {"f8", XKB_KEY_F8},
    {"f9", XKB_KEY_F9},
    {"f10", XKB_KEY_F10},
    {"f11", XKB_KEY_F11},
    {"f12", XKB_KEY_F12},
    {"f13", XKB_KEY_F13},
    {"f14", XKB_KEY_F14},
    {"f15", XKB_KEY_F15},
    {"f16", XKB_KEY_F16},
    {"f17", XKB_KEY_F17},
    {"f18", XKB_KEY_F18},
    {"f19", XKB_KEY_F19},
    {"f20", XKB_KEY_F20},
    {"help", XKB_KEY_Insert},
    {"home", XKB_KEY_Home},
    {"end", XKB_KEY_End},
    {"deleteForward", XKB_KEY_Delete},
    {"pageUp", XKB_KEY_Prior},
    {"pageDown", XKB_KEY_Next},
    {"leftArrow", XKB_KEY_Left},
    {"rightArrow", XKB_KEY_Right},
    {"downArrow", XKB_KEY_Down},
    {"upArrow", XKB_KEY_Up},
};

std::optional<xkb_keysym_t> keysymFor(Key key)
{
    // The unshifted symbol of the US layout: the portal names keys, not what
    // the current layout types there.
    if (const std::optional<QString> character = key.usCharacter(); character)
        return xkb_utf32_to_keysym(character->at(0).unicode());
    const std::optional<QString> name = key.name();
    if (!name)
        return std::nullopt;
    for (const auto &[keyName, keysym] : kKeysyms) {
        if (*name == QLatin1String(keyName))
            return keysym;
    }
    return std::nullopt;
}

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
    if (shortcut.carbonModifiers & Modifier::function)
        return std::nullopt;
    const std::optional<xkb_keysym_t> keysym = keysymFor(shortcut.key());
    if (!keysym || *keysym == XKB_KEY_NoSymbol)
        return std::nullopt;
    char name[64];
    if (xkb_keysym_get_name(*keysym, name, sizeof name) <= 0)
        return std::nullopt;
    QStringList parts;
    for (const auto &[bit, word] : {std::pair {Modifier::control, "CTRL"},
             {Modifier::option, "ALT"}, {Modifier::shift, "SHIFT"}, {Modifier::command, "LOGO"}}) {
        if (shortcut.carbonModifiers & bit)
            parts << QLatin1String(word);
    }
    parts << QString::fromLatin1(name);
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
