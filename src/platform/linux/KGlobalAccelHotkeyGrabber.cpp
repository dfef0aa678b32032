// SPDX-License-Identifier: GPL-3.0-or-later
#include "KGlobalAccelHotkeyGrabber.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <utility>

namespace {

// One key sequence of the service, (ai): up to four combinations.
struct DBusKey
{
    QList<int> combinations;
};

QDBusArgument &operator<<(QDBusArgument &argument, const DBusKey &key)
{
    argument.beginStructure();
    argument << key.combinations;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusKey &key)
{
    argument.beginStructure();
    argument >> key.combinations;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(DBusKey)

namespace scrivlet {

namespace {

using GlobalShortcuts::Key;
using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
// The desktop entry's name: the shortcut settings show its icon and name.
const QString kComponent = QStringLiteral("org.scrivlet.Scrivlet");
const QString kAction = QStringLiteral("togglePalette");
// KWin answers at once or the desktop is stuck anyway.
constexpr int kTimeoutMilliseconds = 2000;
constexpr int kSequenceLength = 4;

// setShortcutKeys' flags.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;
constexpr uint kIsDefault = 8;

constexpr std::pair<const char *, int> kNamedKeys[] = {
    {"return", Qt::Key_Return},
    {"tab", Qt::Key_Tab},
    {"space", Qt::Key_Space},
    {"delete", Qt::Key_Backspace},
    {"escape", Qt::Key_Escape},
    {"deleteForward", Qt::Key_Delete},
    {"help", Qt::Key_Insert},
    {"home", Qt::Key_Home},
    {"end", Qt::Key_End},
    {"pageUp", Qt::Key_PageUp},
    {"pageDown", Qt::Key_PageDown},
    {"leftArrow", Qt::Key_Left},
    {"rightArrow", Qt::Key_Right},
    {"downArrow", Qt::Key_Down},
    {"upArrow", Qt::Key_Up},
    {"volumeUp", Qt::Key_VolumeUp},
    {"volumeDown", Qt::Key_VolumeDown},
    {"mute", Qt::Key_VolumeMute},
    // KWin reports keypad keys by their symbol, without a keypad modifier.
    {"keypadClear", Qt::Key_NumLock},
    {"keypadEnter", Qt::Key_Enter},
    {"keypadDecimal", Qt::Key_Period},
    {"keypadMultiply", Qt::Key_Asterisk},
    {"keypadPlus", Qt::Key_Plus},
    {"keypadDivide", Qt::Key_Slash},
    {"keypadMinus", Qt::Key_Minus},
    {"keypadEquals", Qt::Key_Equal},
    {"keypad0", Qt::Key_0},
    {"keypad1", Qt::Key_1},
    {"keypad2", Qt::Key_2},
    {"keypad3", Qt::Key_3},
    {"keypad4", Qt::Key_4},
    {"keypad5", Qt::Key_5},
    {"keypad6", Qt::Key_6},
    {"keypad7", Qt::Key_7},
    {"keypad8", Qt::Key_8},
    {"keypad9", Qt::Key_9},
};

// What Shift makes of the US layout's symbols.
constexpr std::pair<char, char> kShifted[] = {
    {'1', '!'},
    {'2', '@'},
    {'3', '#'},
    {'4', '$'},
    {'5', '%'},
    {'6', '^'},
    {'7', '&'},
    {'8', '*'},
    {'9', '('},
    {'0', ')'},
    {'-', '_'},
    {'=', '+'},
    {'[', '{'},
    {']', '}'},
    {'\\', '|'},
    {';', ':'},
    {'\'', '"'},
    {'`', '~'},
    {',', '<'},
    {'.', '>'},
    {'/', '?'},
};

std::optional<int> characterKey(char character, int modifiers)
{
    // A Qt key of a Latin-1 symbol is its code, capital for letters.
    if (character >= 'a' && character <= 'z')
        return modifiers | (Qt::Key_A + (character - 'a'));
    if (!(modifiers & Qt::ShiftModifier))
        return modifiers | character;
    // KWin drops a Shift that turned the key into another symbol, and
    // reports that symbol.
    for (const auto &[plain, shifted] : kShifted) {
        if (plain == character)
            return (modifiers & ~Qt::ShiftModifier) | shifted;
    }
    return std::nullopt;
}

QDBusMessage callService(
    const QDBusConnection &bus, const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return bus.call(message, QDBus::Block, kTimeoutMilliseconds);
}

bool succeeded(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

QVariant toDBus(const QKeySequence &sequence)
{
    DBusKey key;
    for (int i = 0; i < kSequenceLength; ++i)
        key.combinations << (i < sequence.count() ? sequence[i].toCombined() : 0);
    return QVariant::fromValue(key);
}

QVariant toDBus(const QList<QKeySequence> &sequences)
{
    QList<DBusKey> keys;
    for (const QKeySequence &sequence : sequences)
        keys << toDBus(sequence).value<DBusKey>();
    return QVariant::fromValue(keys);
}

// The sequences that hold a key: the service answers a key another
// component holds with an empty one.
QList<QKeySequence> fromDBus(const QVariant &value)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return {};
    QList<DBusKey> keys;
    value.value<QDBusArgument>() >> keys;
    QList<QKeySequence> sequences;
    for (const DBusKey &key : keys) {
        const QList<int> &c = key.combinations;
        const QKeySequence sequence(c.value(0), c.value(1), c.value(2), c.value(3));
        if (!sequence.isEmpty())
            sequences << sequence;
    }
    return sequences;
}

} // namespace

KGlobalAccelHotkeyGrabber::KGlobalAccelHotkeyGrabber(QObject *parent)
    : HotkeyGrabber(parent)
    , m_bus(QDBusConnection::sessionBus())
    , m_actionId {kComponent, kAction, QStringLiteral("Scrivlet"),
          tr("Afficher l'historique du presse-papiers")}
{
    qDBusRegisterMetaType<DBusKey>();
    qDBusRegisterMetaType<QList<DBusKey>>();
    // Sent to every client: the shortcut settings changed some action's keys.
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("yourShortcutsChanged"), this,
        SLOT(onShortcutsChanged(QDBusMessage)));
}

KGlobalAccelHotkeyGrabber::~KGlobalAccelHotkeyGrabber()
{
    // Left present, the key would stay grabbed with nobody to answer it.
    if (m_shortcut)
        ungrab(*m_shortcut);
}

bool KGlobalAccelHotkeyGrabber::isOffered()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kService).value();
}

std::optional<int> KGlobalAccelHotkeyGrabber::qtKey(const Shortcut &shortcut)
{
    const Key key = shortcut.key();
    if ((shortcut.carbonModifiers & Modifier::function) || key.isModifier())
        return std::nullopt;
    int modifiers = 0;
    for (const auto &[bit, qt] : {std::pair {Modifier::control, int(Qt::ControlModifier)},
             {Modifier::option, int(Qt::AltModifier)}, {Modifier::shift, int(Qt::ShiftModifier)},
             {Modifier::command, int(Qt::MetaModifier)}}) {
        if (shortcut.carbonModifiers & bit)
            modifiers |= qt;
    }
    if (const std::optional<QString> character = key.usCharacter(); character)
        return characterKey(character->at(0).toLatin1(), modifiers);
    const std::optional<QString> name = key.name();
    if (!name)
        return std::nullopt;
    if (key.isFunctionKey())
        return modifiers | (Qt::Key_F1 + name->mid(1).toInt() - 1);
    for (const auto &[keyName, qt] : kNamedKeys) {
        if (*name == QLatin1String(keyName))
            return modifiers | qt;
    }
    return std::nullopt;
}

bool KGlobalAccelHotkeyGrabber::grab(const Shortcut &shortcut)
{
    const std::optional<int> key = qtKey(shortcut);
    if (!key || !m_bus.isConnected())
        return false;
    if (m_shortcut == shortcut && !m_keys.isEmpty())
        return true;
    if (m_shortcut)
        ungrab(*m_shortcut);
    if (!succeeded(callService(m_bus, QStringLiteral("doRegister"), {m_actionId})))
        return false;

    const QList<QKeySequence> ours {QKeySequence(*key)};
    const QDBusMessage defaults
        = callService(m_bus, QStringLiteral("defaultShortcutKeys"), {m_actionId});
    if (!succeeded(defaults))
        return false;
    std::optional<QList<QKeySequence>> keys;
    if (fromDBus(defaults.arguments().value(0)) != ours) {
        // Recorded in Scrivlet since the service last saw the action: the
        // user's latest choice, over what the desktop had bound. Left as it
        // was while another holds it, so that a retry asks again.
        if (!answersUs(ours.first()) || !setKeys(ours, kIsDefault))
            return false;
        keys = setKeys(ours, kSetPresent | kNoAutoloading);
    } else {
        // The service keeps its own binding, which the user may have changed.
        keys = setKeys(ours, kSetPresent);
        // None: another component held the key when it was last asked for,
        // and may have let it go since.
        if (keys && keys->isEmpty() && m_clearedByDesktop != shortcut && answersUs(ours.first()))
            keys = setKeys(ours, kSetPresent | kNoAutoloading);
    }
    if (!keys)
        return false;
    // The service lets two components bind one key; the first one it finds
    // gets the presses.
    keys->removeIf([this](const QKeySequence &bound) { return !answersUs(bound); });
    m_keys = *keys;
    if (m_keys.isEmpty())
        return false;
    watchComponent();
    m_shortcut = shortcut;
    takeKeys(m_keys);
    return true;
}

void KGlobalAccelHotkeyGrabber::ungrab(const Shortcut &shortcut)
{
    if (m_shortcut != shortcut)
        return;
    // Not unregistered: the service would forget the user's binding.
    callService(m_bus, QStringLiteral("setInactive"), {m_actionId});
    m_shortcut.reset();
    if (!m_triggerDescription.isEmpty()) {
        m_triggerDescription.clear();
        Q_EMIT triggerChanged();
    }
}

bool KGlobalAccelHotkeyGrabber::isAvailable(const Shortcut &shortcut)
{
    const std::optional<int> key = qtKey(shortcut);
    return key && answersUs(QKeySequence(*key));
}

bool KGlobalAccelHotkeyGrabber::answersUs(const QKeySequence &key) const
{
    // The action a press of the key goes to, if any.
    const QDBusMessage reply = callService(m_bus, QStringLiteral("actionList"), {toDBus(key)});
    if (!succeeded(reply))
        return false;
    const QStringList action = reply.arguments().value(0).toStringList();
    return action.isEmpty() || (action.value(0) == kComponent && action.value(1) == kAction);
}

std::optional<QList<QKeySequence>> KGlobalAccelHotkeyGrabber::setKeys(
    const QList<QKeySequence> &keys, uint flags)
{
    const QDBusMessage reply
        = callService(m_bus, QStringLiteral("setShortcutKeys"), {m_actionId, toDBus(keys), flags});
    if (!succeeded(reply))
        return std::nullopt;
    return fromDBus(reply.arguments().value(0));
}

void KGlobalAccelHotkeyGrabber::watchComponent()
{
    if (!m_componentPath.isEmpty())
        return;
    const QDBusMessage reply = callService(m_bus, QStringLiteral("getComponent"), {kComponent});
    if (!succeeded(reply))
        return;
    m_componentPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
    m_bus.connect(kService, m_componentPath, kComponentInterface,
        QStringLiteral("globalShortcutPressed"), this,
        SLOT(onPressed(QString, QString, qlonglong)));
}

void KGlobalAccelHotkeyGrabber::takeKeys(const QList<QKeySequence> &keys)
{
    m_keys = keys;
    QString description;
    if (keys.isEmpty())
        description = tr("aucune touche");
    else if (keys != QList {QKeySequence(qtKey(*m_shortcut).value_or(0))})
        description = QKeySequence::listToString(keys, QKeySequence::NativeText);
    if (description == m_triggerDescription)
        return;
    m_triggerDescription = description;
    Q_EMIT triggerChanged();
}

void KGlobalAccelHotkeyGrabber::onPressed(
    const QString &component, const QString &action, qlonglong /*timestamp*/)
{
    // A held key repeats with a signal of its own: every press is one. The
    // press is the whole of it, as for KDE's own shortcuts: one invoked from
    // the desktop's settings or over D-Bus is never released.
    if (component != kComponent || action != kAction || !m_shortcut || m_keys.isEmpty())
        return;
    Q_EMIT pressed(*m_shortcut);
    Q_EMIT released(*m_shortcut);
}

void KGlobalAccelHotkeyGrabber::onShortcutsChanged(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QStringList actionId = arguments.at(0).toStringList();
    if (actionId.value(0) != kComponent || actionId.value(1) != kAction || !m_shortcut)
        return;
    const QList<QKeySequence> keys = fromDBus(arguments.at(1));
    // Emptied in the desktop's settings: the user's choice, not retaken.
    if (keys.isEmpty())
        m_clearedByDesktop = m_shortcut;
    else
        m_clearedByDesktop.reset();
    takeKeys(keys);
}

} // namespace scrivlet
