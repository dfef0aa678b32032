// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/KGlobalAccelHotkeyGrabber.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// One key of the service, (ai), as the shortcut settings send it.
struct TestKey
{
    QList<int> combinations;
};

QDBusArgument &operator<<(QDBusArgument &argument, const TestKey &key)
{
    argument.beginStructure();
    argument << key.combinations;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, TestKey &key)
{
    argument.beginStructure();
    argument >> key.combinations;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(TestKey)

namespace scrivlet {
namespace {

using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kOurs = QStringLiteral("org.scrivlet.Scrivlet");
const QString kTestComponent = QStringLiteral("scrivlet-test");
const QStringList kOurAction {kOurs, QStringLiteral("togglePalette"), {}, {}};
const QStringList kProbe {kTestComponent, QStringLiteral("probe"), QStringLiteral("Tests"), {}};
const QStringList kOther {kTestComponent, QStringLiteral("other"), QStringLiteral("Tests"), {}};
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

const Shortcut kSuperShiftV = Shortcut::make(9, Modifier::command | Modifier::shift);
const int kSuperShiftVKey = (Qt::META | Qt::SHIFT | Qt::Key_V).toCombined();

QDBusMessage call(const QString &path, const QString &interface, const QString &method,
    const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

QDBusMessage callService(const QString &method, const QVariantList &arguments)
{
    return call(QStringLiteral("/kglobalaccel"), kInterface, method, arguments);
}

QVariant keys(const QList<int> &combined)
{
    QList<TestKey> list;
    for (const int key : combined)
        list << TestKey {{key, 0, 0, 0}};
    return QVariant::fromValue(list);
}

// The first combination of each key the service holds for the action.
QList<int> keysOf(const QStringList &action, const QString &method = QStringLiteral("shortcutKeys"))
{
    const QDBusMessage reply = callService(method, {action});
    QList<TestKey> list;
    if (reply.type() == QDBusMessage::ReplyMessage)
        reply.arguments().value(0).value<QDBusArgument>() >> list;
    QList<int> combined;
    for (const TestKey &key : list)
        combined << key.combinations.value(0);
    return combined;
}

QString componentPath(const QString &component)
{
    return callService(QStringLiteral("getComponent"), {component})
        .arguments()
        .value(0)
        .value<QDBusObjectPath>()
        .path();
}

class KGlobalAccelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<TestKey>();
        qDBusRegisterMetaType<QList<TestKey>>();
        ASSERT_TRUE(KGlobalAccelHotkeyGrabber::isOffered());
        callService(QStringLiteral("doRegister"), {kProbe});
        m_probe = std::make_unique<QDBusInterface>(
            kService, componentPath(kTestComponent), kComponentInterface);
        m_probePresses = std::make_unique<QSignalSpy>(
            m_probe.get(), SIGNAL(globalShortcutPressed(QString, QString, qlonglong)));
    }

    void TearDown() override
    {
        // Each test starts with no trace of the last: the service keeps
        // bindings for actions that are merely let go.
        m_grabber.reset();
        for (const QStringList &action : {kOurAction, kProbe, kOther})
            callService(QStringLiteral("unregister"), {action.at(0), action.at(1)});
    }

    // Our action invoked over D-Bus, then the probe's: once the probe's press
    // is here, any press of ours has been delivered before it.
    int pressesWhenInvoked()
    {
        QSignalSpy presses(m_grabber.get(), &HotkeyGrabber::pressed);
        // What the palette opens on; KDE sends none for an invoked shortcut.
        QSignalSpy releases(m_grabber.get(), &HotkeyGrabber::released);
        m_probePresses->clear();
        call(componentPath(kOurs), kComponentInterface, QStringLiteral("invokeShortcut"),
            {kOurAction.at(1)});
        call(
            m_probe->path(), kComponentInterface, QStringLiteral("invokeShortcut"), {kProbe.at(1)});
        EXPECT_TRUE(m_probePresses->wait());
        for (const QList<QVariant> &press : presses)
            EXPECT_EQ(press.at(0).value<Shortcut>(), kSuperShiftV);
        EXPECT_EQ(releases.count(), presses.count());
        return int(presses.count());
    }

    std::unique_ptr<KGlobalAccelHotkeyGrabber> m_grabber
        = std::make_unique<KGlobalAccelHotkeyGrabber>();
    std::unique_ptr<QDBusInterface> m_probe;
    std::unique_ptr<QSignalSpy> m_probePresses;
};

TEST_F(KGlobalAccelTest, Grab_ListsOurComponentWithTheKey)
{
    ASSERT_TRUE(m_grabber->grab(kSuperShiftV));
    const QString path = componentPath(kOurs);
    ASSERT_FALSE(path.isEmpty());
    QDBusInterface component(kService, path, kComponentInterface);
    EXPECT_EQ(component.property("friendlyName").toString(), QStringLiteral("Scrivlet"));
    EXPECT_EQ(keysOf(kOurAction), QList<int> {kSuperShiftVKey});
    EXPECT_EQ(
        keysOf(kOurAction, QStringLiteral("defaultShortcutKeys")), QList<int> {kSuperShiftVKey});
    EXPECT_TRUE(m_grabber->triggerDescription().isEmpty());
}

TEST_F(KGlobalAccelTest, Invoked_PressesOnceWhileGrabbed)
{
    ASSERT_TRUE(m_grabber->grab(kSuperShiftV));
    EXPECT_EQ(pressesWhenInvoked(), 1);
    EXPECT_EQ(pressesWhenInvoked(), 1) << "a press with no release seen is still a press";
    m_grabber->ungrab(kSuperShiftV);
    EXPECT_EQ(pressesWhenInvoked(), 0);
    EXPECT_EQ(keysOf(kOurAction), QList<int> {kSuperShiftVKey}) << "let go, the key is kept";
}

TEST_F(KGlobalAccelTest, DesktopRebinding_IsFollowedUntilAnotherKeyIsRecorded)
{
    ASSERT_TRUE(m_grabber->grab(kSuperShiftV));
    QSignalSpy changed(m_grabber.get(), &HotkeyGrabber::triggerChanged);
    const int superC = (Qt::META | Qt::Key_C).toCombined();
    callService(QStringLiteral("setForeignShortcutKeys"), {kOurAction, keys({superC})});
    ASSERT_TRUE(changed.wait());
    EXPECT_EQ(
        m_grabber->triggerDescription(), QKeySequence(superC).toString(QKeySequence::NativeText));

    // Let go and taken again, as around a recording, and by a new run.
    m_grabber->ungrab(kSuperShiftV);
    ASSERT_TRUE(m_grabber->grab(kSuperShiftV));
    m_grabber = std::make_unique<KGlobalAccelHotkeyGrabber>();
    QSignalSpy changedAgain(m_grabber.get(), &HotkeyGrabber::triggerChanged);
    ASSERT_TRUE(m_grabber->grab(kSuperShiftV));
    EXPECT_EQ(keysOf(kOurAction), QList<int> {superC});
    EXPECT_EQ(
        m_grabber->triggerDescription(), QKeySequence(superC).toString(QKeySequence::NativeText));
    EXPECT_EQ(pressesWhenInvoked(), 1);

    // Another key recorded in Scrivlet is the user's latest word.
    const Shortcut controlAltV = Shortcut::make(9, Modifier::control | Modifier::option);
    m_grabber->ungrab(kSuperShiftV);
    ASSERT_TRUE(m_grabber->grab(controlAltV));
    EXPECT_EQ(keysOf(kOurAction), QList<int> {(Qt::CTRL | Qt::ALT | Qt::Key_V).toCombined()});
    EXPECT_TRUE(m_grabber->triggerDescription().isEmpty());

    // Emptied in the desktop's settings: not taken back.
    callService(QStringLiteral("setForeignShortcutKeys"), {kOurAction, keys({})});
    ASSERT_TRUE(changedAgain.wait());
    m_grabber->ungrab(controlAltV);
    EXPECT_FALSE(m_grabber->grab(controlAltV));
    EXPECT_EQ(keysOf(kOurAction), QList<int> {});
}

TEST_F(KGlobalAccelTest, KeyOfAnotherComponent_IsRefusedUntilLetGo)
{
    callService(QStringLiteral("doRegister"), {kOther});
    callService(QStringLiteral("setShortcutKeys"),
        {kOther, keys({kSuperShiftVKey}), kSetPresent | kNoAutoloading});
    ASSERT_EQ(keysOf(kOther), QList<int> {kSuperShiftVKey});

    EXPECT_FALSE(m_grabber->isAvailable(kSuperShiftV));
    EXPECT_FALSE(m_grabber->grab(kSuperShiftV));
    EXPECT_EQ(keysOf(kOther), QList<int> {kSuperShiftVKey});
    EXPECT_EQ(keysOf(kOurAction), QList<int> {});

    callService(QStringLiteral("unregister"), {kOther.at(0), kOther.at(1)});
    EXPECT_TRUE(m_grabber->isAvailable(kSuperShiftV));
    EXPECT_TRUE(m_grabber->grab(kSuperShiftV)) << "tried again once free";
    EXPECT_EQ(keysOf(kOurAction), QList<int> {kSuperShiftVKey});
}

} // namespace
} // namespace scrivlet
