// SPDX-License-Identifier: GPL-3.0-or-later
// The portal clients against tests/support/fake_portal.py on a private bus
// (run inside tests/fixtures/session). Waits are for the other process, never
// a check of speed.
#include "platform/linux/PortalHotkeyGrabber.h"
#include "platform/linux/PortalKeySender.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>

namespace scrivlet {
namespace {

using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;
using testing::waitFor;

const QString kPortal = "org.freedesktop.portal.Desktop";
constexpr int kCallTimeoutMs = 20000;

QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    g_log << text;
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

int logLinesWith(const QString &words)
{
    return int(g_log.filter(words).size());
}

bool portalOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kPortal).value();
}

// The stand-in portal, for one test.
class FakePortal
{
public:
    explicit FakePortal(const QStringList &arguments = {})
    {
        m_process.setProgram(QStringLiteral(FAKE_PORTAL));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        m_ready = m_process.waitForStarted(kCallTimeoutMs) && waitFor(portalOnBus);
    }
    ~FakePortal()
    {
        if (m_suspended)
            ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.terminate();
        if (!m_process.waitForFinished(kCallTimeoutMs))
            m_process.kill();
        m_process.waitForFinished(kCallTimeoutMs);
        waitFor([] { return !portalOnBus(); });
    }

    [[nodiscard]] bool isReady() const { return m_ready; }

    QVariant control(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            kPortal, "/org/freedesktop/portal/desktop", "org.scrivlet.FakePortal", method);
        message.setArguments(arguments);
        const QDBusMessage reply
            = QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
        return reply.arguments().value(0);
    }

    // The calls received with this name, oldest first: their arguments.
    QList<QJsonArray> calls(const QString &name)
    {
        QList<QJsonArray> found;
        for (const QJsonValue &call :
            QJsonDocument::fromJson(control("Calls").toString().toUtf8()).array()) {
            QJsonArray entry = call.toArray();
            if (entry.at(0).toString() == name) {
                entry.removeFirst();
                found << entry;
            }
        }
        return found;
    }

    bool waitForCalls(const QString &name, qsizetype count)
    {
        return waitFor([&] { return calls(name).size() >= count; });
    }

    // It keeps its name on the bus and answers nothing.
    void suspend() { m_suspended = ::kill(pid_t(m_process.processId()), SIGSTOP) == 0; }

private:
    QProcess m_process;
    bool m_ready = false;
    bool m_suspended = false;
};

class Portal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_log.clear();
        ASSERT_FALSE(portalOnBus()) << "a portal is already on the test bus";
    }
};

TEST(PortalTrigger, NamesTheKeyAndModifiersAsThePortalDoes)
{
    const struct
    {
        int key;
        int modifiers;
        const char *trigger; // none: not grabbed
    } cases[] = {
        {9, Modifier::command | Modifier::shift, "SHIFT+LOGO+v"},
        {122, Modifier::control | Modifier::option, "CTRL+ALT+F1"},
        {18, Modifier::control, "CTRL+1"},
        {49, Modifier::command, "LOGO+space"},
        {33, Modifier::option, "ALT+bracketleft"},
        {39, Modifier::control | Modifier::shift, "CTRL+SHIFT+apostrophe"},
        {83, Modifier::control | Modifier::option | Modifier::shift | Modifier::command,
            "CTRL+ALT+SHIFT+LOGO+KP_1"},
        {116, Modifier::control, "CTRL+Prior"},
        {36, Modifier::command, "LOGO+Return"},
        {114, Modifier::shift, "SHIFT+Insert"},
        // Function has no equivalent; 10 is no key of the table.
        {9, Modifier::function | Modifier::command, nullptr},
        {10, Modifier::command, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.trigger ? c.trigger : "none");
        const auto trigger = PortalHotkeyGrabber::portalTrigger(Shortcut::make(c.key, c.modifiers));
        EXPECT_EQ(
            trigger, c.trigger ? std::optional(QString::fromLatin1(c.trigger)) : std::nullopt);
    }
}

TEST_F(Portal, GlobalShortcuts_BoundShortcutIsOnePressAndOneRelease)
{
    FakePortal portal;
    ASSERT_TRUE(portal.isReady());
    const Shortcut shortcut = Shortcut::make(9, Modifier::command | Modifier::shift);
    PortalHotkeyGrabber grabber;
    // A shortcut the portal has no name for is refused before the desktop is asked.
    EXPECT_FALSE(grabber.grab(Shortcut::make(10, Modifier::command)));
    QList<Shortcut> pressed;
    QList<Shortcut> released;
    int changes = 0;
    QObject::connect(&grabber, &HotkeyGrabber::pressed, [&](const Shortcut &s) { pressed << s; });
    QObject::connect(&grabber, &HotkeyGrabber::released, [&](const Shortcut &s) { released << s; });
    QObject::connect(&grabber, &PortalHotkeyGrabber::triggerChanged, [&changes] { ++changes; });
    ASSERT_TRUE(grabber.grab(shortcut));
    ASSERT_TRUE(portal.waitForCalls("GlobalShortcuts.BindShortcuts", 1));
    EXPECT_EQ(portal.calls("GlobalShortcuts.CreateSession").size(), 1);
    const QJsonArray shortcuts
        = portal.calls("GlobalShortcuts.BindShortcuts").at(0).at(1).toArray();
    ASSERT_EQ(shortcuts.size(), 1);
    EXPECT_EQ(shortcuts.at(0)[0].toString(), "togglePalette");
    const QJsonObject properties = shortcuts.at(0)[1].toObject();
    EXPECT_EQ(properties.value("preferred_trigger").toString(), "SHIFT+LOGO+v");
    EXPECT_FALSE(properties.value("description").toString().isEmpty());
    // The fake answers before the call returns: only a client that listened
    // first learns what was bound.
    ASSERT_TRUE(waitFor([&] { return !grabber.triggerDescription().isEmpty(); }));
    EXPECT_EQ(grabber.triggerDescription(), "Bound: SHIFT+LOGO+v");
    EXPECT_EQ(changes, 1);

    const QString id = "togglePalette";
    ASSERT_EQ(portal.control("Activate", {id}).toUInt(), 1u);
    ASSERT_TRUE(waitFor([&] { return !pressed.isEmpty(); }));
    // A repeat while held, then the release: signals arrive in order, so
    // once the release is here the repeat was seen and ignored.
    portal.control("Activate", {id});
    portal.control("Deactivate", {id});
    ASSERT_TRUE(waitFor([&] { return !released.isEmpty(); }));
    portal.control("Deactivate", {id});
    portal.control("ChangeTrigger", {id, "Super+Shift+V"});
    ASSERT_TRUE(waitFor([&] { return grabber.triggerDescription() == "Super+Shift+V"; }));
    EXPECT_EQ(pressed, QList<Shortcut> {shortcut});
    EXPECT_EQ(released, QList<Shortcut> {shortcut});

    // Let go: the desktop's session is closed, nothing more arrives.
    grabber.ungrab(shortcut);
    EXPECT_TRUE(grabber.triggerDescription().isEmpty());
    ASSERT_TRUE(portal.waitForCalls("Session.Close", 1));
    EXPECT_EQ(portal.control("Activate", {id}).toUInt(), 0u);
}

TEST_F(Portal, GlobalShortcuts_SessionAnsweredAfterUngrabIsClosed)
{
    FakePortal portal;
    ASSERT_TRUE(portal.isReady());
    const Shortcut first = Shortcut::make(9, Modifier::command | Modifier::shift);
    const Shortcut second = Shortcut::make(122, Modifier::control);
    PortalHotkeyGrabber grabber;
    // The user records another shortcut before the desktop has answered.
    ASSERT_TRUE(grabber.grab(first));
    grabber.ungrab(first);
    ASSERT_TRUE(grabber.grab(second));
    ASSERT_TRUE(waitFor([&] { return !grabber.triggerDescription().isEmpty(); }));
    EXPECT_EQ(grabber.triggerDescription(), "Bound: CTRL+F1");
    ASSERT_TRUE(portal.waitForCalls("Session.Close", 1));
    const QList<QJsonArray> created = portal.calls("GlobalShortcuts.CreateSession");
    ASSERT_EQ(created.size(), 2);
    const QString firstToken
        = created.at(0).at(0).toObject().value("session_handle_token").toString();
    const QList<QJsonArray> closed = portal.calls("Session.Close");
    ASSERT_EQ(closed.size(), 1);
    EXPECT_TRUE(closed.at(0).at(0).toString().endsWith(QLatin1Char('/') + firstToken));
    EXPECT_EQ(portal.calls("GlobalShortcuts.BindShortcuts").size(), 1);
}

TEST_F(Portal, GlobalShortcuts_RefusalIsOneLogLineAndNoEvent)
{
    const struct
    {
        const char *method; // none: no portal on the bus
        uint response;
    } cases[] = {
        {"GlobalShortcuts.CreateSession", 2},
        {"GlobalShortcuts.BindShortcuts", 1},
        {nullptr, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.method ? c.method : "no portal");
        g_log.clear();
        std::optional<FakePortal> portal;
        if (c.method) {
            portal.emplace();
            ASSERT_TRUE(portal->isReady());
            portal->control("Refuse", {QString::fromLatin1(c.method), c.response});
        }
        PortalHotkeyGrabber grabber;
        int events = 0;
        QObject::connect(&grabber, &HotkeyGrabber::pressed, [&] { ++events; });
        QObject::connect(&grabber, &HotkeyGrabber::released, [&] { ++events; });
        QObject::connect(&grabber, &PortalHotkeyGrabber::triggerChanged, [&] { ++events; });
        EXPECT_TRUE(grabber.grab(Shortcut::make(9, Modifier::command | Modifier::shift)));
        const QString line = "Scrivlet: the desktop refused the palette shortcut: ";
        ASSERT_TRUE(waitFor([&] { return logLinesWith(line) > 0; }));
        if (portal) {
            portal->control("Activate", {"togglePalette"});
            portal->control("Deactivate", {"togglePalette"});
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(logLinesWith(line), 1);
        EXPECT_EQ(events, 0);
        EXPECT_TRUE(grabber.triggerDescription().isEmpty());
    }
}

TEST_F(Portal, RemoteDesktop_KeepsTheRestoreTokenWhereThePortalHasOne)
{
    const struct
    {
        uint version;
        bool restores;
    } cases[] = {{2, true}, {1, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        FakePortal portal;
        ASSERT_TRUE(portal.isReady());
        portal.control("SetRemoteDesktop", {c.version, 1u, c.restores ? "token-2" : QString()});
        QStringList saved;
        PortalKeySender sender([] { return QStringLiteral("token-1"); },
            [&saved](const QString &token) { saved << token; });
        EXPECT_FALSE(sender.isTrusted());
        // The first paste asks for consent and is not sent.
        EXPECT_FALSE(sender.sendPaste(PasteKey::ctrlV));
        ASSERT_TRUE(waitFor([&] { return sender.isTrusted(); }));

        const QJsonObject options
            = portal.calls("RemoteDesktop.SelectDevices").at(0).at(1).toObject();
        EXPECT_EQ(options.value("types").toInt(), 1);
        if (c.restores) {
            EXPECT_EQ(options.value("persist_mode").toInt(), 2);
            EXPECT_EQ(options.value("restore_token").toString(), "token-1");
            EXPECT_EQ(saved, QStringList {"token-2"});
        } else {
            EXPECT_FALSE(options.contains("persist_mode"));
            EXPECT_FALSE(options.contains("restore_token"));
            EXPECT_TRUE(saved.isEmpty());
        }
        EXPECT_EQ(portal.calls("RemoteDesktop.Start").at(0).at(1).toString(), "");
        EXPECT_TRUE(portal.calls("RemoteDesktop.NotifyKeyboardKeysym").isEmpty());
    }
}

TEST_F(Portal, RemoteDesktop_SendsEachPasteKeyAsOneKeystrokeUntilTheSessionCloses)
{
    FakePortal portal;
    ASSERT_TRUE(portal.isReady());
    PortalKeySender sender;
    sender.prepare();
    ASSERT_TRUE(waitFor([&] { return sender.isTrusted(); }));

    constexpr int control = 0xffe3, shift = 0xffe1, v = 0x76, insert = 0xff63;
    const struct
    {
        PasteKey key;
        QList<QPair<int, int>> events;
    } cases[] = {
        {PasteKey::ctrlV, {{control, 1}, {v, 1}, {v, 0}, {control, 0}}},
        {PasteKey::ctrlShiftV,
            {{control, 1}, {shift, 1}, {v, 1}, {v, 0}, {shift, 0}, {control, 0}}},
        {PasteKey::shiftInsert, {{shift, 1}, {insert, 1}, {insert, 0}, {shift, 0}}},
    };
    qsizetype seen = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.key));
        ASSERT_TRUE(sender.sendPaste(c.key));
        const QString name = "RemoteDesktop.NotifyKeyboardKeysym";
        ASSERT_TRUE(portal.waitForCalls(name, seen + c.events.size()));
        const QList<QJsonArray> calls = portal.calls(name);
        ASSERT_EQ(calls.size(), seen + c.events.size());
        QList<QPair<int, int>> events;
        for (qsizetype i = seen; i < calls.size(); ++i)
            events << qMakePair(calls.at(i).at(0).toInt(), calls.at(i).at(1).toInt());
        EXPECT_EQ(events, c.events);
        seen = calls.size();
    }

    // The desktop ended the session: the next paste asks again.
    ASSERT_EQ(portal.control("CloseRemoteSessions").toUInt(), 1u);
    ASSERT_TRUE(waitFor([&] { return !sender.isTrusted(); }));
    EXPECT_FALSE(sender.sendPaste(PasteKey::ctrlV));
    ASSERT_TRUE(waitFor([&] { return sender.isTrusted(); }));
    EXPECT_EQ(portal.calls("RemoteDesktop.CreateSession").size(), 2);
    EXPECT_TRUE(sender.sendPaste(PasteKey::ctrlV));
}

TEST_F(Portal, RemoteDesktop_WithoutConsentPasteStaysOff)
{
    const struct
    {
        const char *what;
        const char *method;
        uint response;
        uint devices;
    } cases[] = {
        {"session refused", "RemoteDesktop.CreateSession", 2, 1},
        {"start cancelled", "RemoteDesktop.Start", 1, 1},
        {"no keyboard granted", "", 0, 0},
        {"no portal", nullptr, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        g_log.clear();
        std::optional<FakePortal> portal;
        if (c.method) {
            portal.emplace();
            ASSERT_TRUE(portal->isReady());
            portal->control("Refuse", {QString::fromLatin1(c.method), c.response});
            portal->control("SetRemoteDesktop", {2u, c.devices, QString()});
        }
        PortalKeySender sender;
        int trustChanges = 0;
        QObject::connect(&sender, &PortalKeySender::trustChanged, [&] { ++trustChanges; });
        EXPECT_FALSE(sender.sendPaste(PasteKey::ctrlV));
        const QString line = "Scrivlet: the desktop refused the keyboard for automatic paste: ";
        ASSERT_TRUE(waitFor([&] { return logLinesWith(line) > 0; }));
        EXPECT_EQ(logLinesWith(line), 1);
        EXPECT_FALSE(sender.isTrusted());
        EXPECT_FALSE(sender.sendPaste(PasteKey::ctrlV));
        EXPECT_EQ(trustChanges, 0);
        if (portal) {
            EXPECT_TRUE(portal->calls("RemoteDesktop.NotifyKeyboardKeysym").isEmpty());
        }
    }
}

TEST_F(Portal, Offered_OnlyWhereThePortalAnswersForTheInterface)
{
    EXPECT_FALSE(PortalHotkeyGrabber::isOffered());
    EXPECT_FALSE(PortalKeySender::isOffered());
    FakePortal portal({"--without", "GlobalShortcuts"});
    ASSERT_TRUE(portal.isReady());
    EXPECT_FALSE(PortalHotkeyGrabber::isOffered());
    EXPECT_TRUE(PortalKeySender::isOffered());
    portal.suspend();
    EXPECT_FALSE(PortalKeySender::isOffered());
}

} // namespace
} // namespace scrivlet

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    scrivlet::g_previousHandler = qInstallMessageHandler(scrivlet::recordMessage);
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        std::fprintf(stderr, "needs a private bus: run it inside tests/fixtures/session\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
