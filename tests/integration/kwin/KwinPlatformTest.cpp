// SPDX-License-Identifier: GPL-3.0-or-later
// KWin's paste keyboard and window list against a real headless KWin, which
// grants them only to a program its installed desktop entry names: the
// granted suite installs one for this very executable, the withheld suite
// none (each suite runs in a session of its own).
#include "app/DesktopSession.h"
#include "core/desktop/DesktopEntries.h"
#include "core/services/KeySender.h"
#include "integration/wayland/SwaySession.h"
#include "platform/linux/PortalKeySender.h"
#include "platform/wayland/FakeInputKeySender.h"
#include "platform/wayland/PlasmaWorkspace.h"
#include "platform/wayland/WaylandConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace scrivlet {
namespace {

using namespace scrivlet::testing;

class KwinGranted : public SwaySession
{
protected:
    // Before the connection the tests use: KWin decides when a client connects.
    static void SetUpTestSuite()
    {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/applications");
        QDir().mkpath(folder);
        QFile entry(folder + QStringLiteral("/org.scrivlet.KwinTest.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Scrivlet KWin test\nExec="
            + QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toUtf8()
            + "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,"
              "org_kde_plasma_window_management\n");
        entry.close();
        // KWin notices a new entry on its own, without kbuildsycoca6, but only
        // at its next look at the entries (about a second and a half apart).
        ASSERT_TRUE(waitFor([] { return WaylandConnection().fakeInput() != nullptr; }, kWaitMs));
    }

    WaylandConnection m_connection;
};

// Each keystroke comes as exactly its keys, every one released again: the
// next one starts without modifiers. Evdev codes; modifier masks of the
// default keymap (Shift 1, Control 4).
TEST_F(KwinGranted, FakeInput_TypesExactlyThePasteKeystrokeIntoTheFocusedWindow)
{
    FakeInputKeySender sender(m_connection);
    ASSERT_TRUE(sender.isTrusted());
    QProcess &window = openWindow(QStringLiteral("org.scrivlet.KeyProbe"));
    ASSERT_TRUE(isShown(window));
    ASSERT_TRUE(eventually([&] { return linesOf(window).contains(QLatin1String("focus in")); }));
    const QList<std::pair<PasteKey, QStringList>> cases {
        {PasteKey::ctrlV, {"key 29 0", "key 47 4"}},
        {PasteKey::ctrlShiftV, {"key 29 0", "key 42 4", "key 47 5"}},
        {PasteKey::shiftInsert, {"key 42 0", "key 110 1"}},
        {PasteKey::ctrlV, {"key 29 0", "key 47 4"}},
    };
    QStringList expected;
    for (const auto &[key, lines] : cases) {
        ASSERT_TRUE(sender.sendPaste(key));
        expected << lines;
        EXPECT_TRUE(eventually([&] { return keysOf(window).size() >= expected.size(); }));
    }
    EXPECT_EQ(keysOf(window), expected);
}

TEST_F(KwinGranted, PlasmaWorkspace_FollowsTheFrontWindowAndActivatesOneBack)
{
    PlasmaWorkspace workspace(m_connection);
    ASSERT_TRUE(workspace.isAvailable());
    const QString firstId = QStringLiteral("org.scrivlet.First");
    ASSERT_TRUE(isShown(openWindow(firstId)));
    ASSERT_TRUE(eventually([&] { return workspace.frontmostApplicationId() == firstId; }));
    const std::optional<WindowRef> first = workspace.activeWindow();
    ASSERT_TRUE(first);

    // An app id in the form of a desktop-entry file name names its entry.
    ASSERT_TRUE(isShown(openWindow(QStringLiteral("org.scrivlet.Second.desktop"))));
    ASSERT_TRUE(
        eventually([&] { return workspace.frontmostApplicationId() == "org.scrivlet.Second"; }));
    EXPECT_NE(workspace.activeWindow().value_or(WindowRef {}).id, first->id);

    workspace.activate(first->id);
    EXPECT_TRUE(eventually(
        [&] { return workspace.activeWindow().value_or(WindowRef {}).id == first->id; }));

    // Our own window (the palette) is never the one in front to paste into.
    ASSERT_TRUE(isShown(openWindow(QStringLiteral("org.scrivlet.Scrivlet"))));
    EXPECT_TRUE(eventually([&] { return !workspace.activeWindow(); }));
}

class KwinWithheld : public SwaySession
{ };

// No entry grants them: KWin does not even list the globals, and the session
// falls back to the portal's keyboard and says so.
TEST_F(KwinWithheld, NoGrant_NothingOfferedAndTheSessionSaysWhatItFallsBackTo)
{
    {
        WaylandConnection connection;
        ASSERT_TRUE(connection.isConnected());
        EXPECT_FALSE(connection.fakeInput());
        EXPECT_FALSE(FakeInputKeySender(connection).isTrusted());
        EXPECT_FALSE(PlasmaWorkspace(connection).isAvailable());
    }
    DesktopEntries applications(QStringList {});
    const DesktopSession session({DisplayServer::wayland, QStringLiteral("KDE"), {}}, {},
        applications, QDir::tempPath() + QStringLiteral("/scrivlet-kwin-test"));
    EXPECT_FALSE(session.keys().isTrusted());
    EXPECT_EQ(
        dynamic_cast<PortalKeySender *>(&session.keys()) != nullptr, PortalKeySender::isOffered());
    EXPECT_FALSE(session.abilities().knowsFrontmostApplication);
    const QStringList withheld = session.abilities().withheld;
    ASSERT_EQ(withheld.size(), 2) << withheld.join('\n').toStdString();
    EXPECT_TRUE(withheld[0].startsWith("no paste keyboard: KWin gives it only"));
    EXPECT_TRUE(withheld[1].startsWith("no front window: KWin gives it only"));
    EXPECT_TRUE(withheld[0].contains(QCoreApplication::applicationFilePath()));
}

} // namespace
} // namespace scrivlet
