// SPDX-License-Identifier: GPL-3.0-or-later
// The Wayland services against a real headless sway, with probe windows as
// the applications they type into and watch.
#include "SwaySession.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandKeySender.h"
#include "platform/wayland/WaylandKeyboardLayout.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "virtual-keyboard-unstable-v1-client.h"

#include <QTemporaryDir>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// Failures show text, not code units.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace scrivlet;
using namespace scrivlet::testing;
using GlobalShortcuts::Key;

namespace {

constexpr Key kV {9};
constexpr Key kY {16};
// xkb keycodes are evdev codes + 8; KEY_V is 47.
constexpr quint32 kKeycodeV = 47 + 8;
const QString kLost = QStringLiteral("Scrivlet: Wayland connection lost: ");

// Whether sway carried the command out.
bool swaymsg(const QString &command)
{
    return run(QStringLiteral("swaymsg"), {command}).has_value();
}

bool hasFocus(const QString &appId)
{
    return swaymsg(QStringLiteral("[app_id=\"^%1$\" con_id=__focused__] nop")
                       .arg(QRegularExpression::escape(appId)));
}

// The seat's layout for one test. sway up to 1.7 applies its keyboard
// settings to virtual keyboards too; later ones keep a virtual keyboard's own
// keymap, so a second keyboard of that layout, made the seat's, stays too.
class KeyboardConfig
{
public:
    explicit KeyboardConfig(const QString &layout, const QString &variant = {})
    {
        EXPECT_TRUE(swaymsg(QStringLiteral("input type:keyboard xkb_layout ") + layout));
        // sway takes a variant only with a layout named.
        if (!variant.isEmpty()) {
            EXPECT_TRUE(swaymsg(QStringLiteral("input type:keyboard xkb_variant ") + variant));
        }
        m_keyboard.start(QStringLiteral(PROBE),
            {"--timeout", "120000", "--hold", "120000", "--keymap",
                variant.isEmpty() ? layout : layout + QLatin1Char(':') + variant});
        EXPECT_TRUE(eventually([&] { return !linesOf(m_keyboard).isEmpty(); }));
    }
    ~KeyboardConfig()
    {
        m_keyboard.kill();
        m_keyboard.waitForFinished(2000);
        EXPECT_TRUE(swaymsg(QStringLiteral("input type:keyboard xkb_variant \"\"")));
        EXPECT_TRUE(swaymsg(QStringLiteral("input type:keyboard xkb_layout us")));
    }
    KeyboardConfig(const KeyboardConfig &) = delete;
    KeyboardConfig &operator=(const KeyboardConfig &) = delete;

private:
    QProcess m_keyboard;
};

// What is logged while it lives.
struct LogCapture
{
    LogCapture()
        : previous(qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &line) { lines << line; }))
    {
        lines.clear();
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    qsizetype count(const QString &text) const { return lines.filter(text).size(); }
    std::string text() const { return lines.join(QLatin1Char('\n')).toStdString(); }

    static inline QStringList lines;
    QtMessageHandler previous;
};

// Every service on a connection that is not, or no longer, there.
void expectEveryServiceAnswersNone(WaylandConnection &connection)
{
    EXPECT_FALSE(connection.roundtrip());
    WaylandKeySender sender(connection);
    EXPECT_FALSE(sender.isTrusted());
    EXPECT_FALSE(sender.sendPaste(PasteKey::ctrlV));
    WaylandWorkspace workspace(connection);
    EXPECT_FALSE(workspace.isAvailable());
    EXPECT_EQ(workspace.activeWindow(), std::nullopt);
    EXPECT_EQ(workspace.frontmostApplicationId(), std::nullopt);
    workspace.activate(1);
    WaylandKeyboardLayout layout(connection);
    EXPECT_EQ(layout.keyAt(kKeycodeV), std::nullopt);
    EXPECT_EQ(layout.character(kV), std::nullopt);
}

class WaylandSession : public SwaySession
{
protected:
    void SetUp() override
    {
        SwaySession::SetUp();
        if (!IsSkipped()) {
            ASSERT_TRUE(m_connection.isConnected());
        }
    }

    WaylandConnection m_connection;
};

// First: a headless sway has no keyboard until a virtual one comes.
TEST_F(WaylandSession, KeyboardLayout_KnowsNothingUntilTheSeatHasAKeyboardThenFollowsItsKeymap)
{
    WaylandKeyboardLayout layout(m_connection);
    ASSERT_FALSE(m_connection.seatHasKeyboard());
    EXPECT_EQ(layout.keyAt(kKeycodeV), std::nullopt);
    EXPECT_EQ(layout.character(kV), std::nullopt);

    // Our virtual keyboard gives the headless seat its keyboard and keymap.
    WaylandKeySender sender(m_connection);
    ASSERT_TRUE(sender.sendPaste(PasteKey::ctrlV));
    ASSERT_TRUE(eventually([&] { return m_connection.roundtrip() && layout.keyAt(kKeycodeV); }));
    EXPECT_EQ(layout.keyAt(kKeycodeV), kV);
    EXPECT_EQ(layout.keyAt(9), Key {53}) << "escape";
    EXPECT_EQ(layout.keyAt(8), std::nullopt) << "below the first key";
    EXPECT_EQ(layout.character(kV), QStringLiteral("v"));
    EXPECT_EQ(layout.character(kY), QStringLiteral("y"));

    const KeyboardConfig german(QStringLiteral("de"));
    EXPECT_TRUE(eventually(
        [&] { return m_connection.roundtrip() && layout.character(kY) == QStringLiteral("z"); }));
    EXPECT_EQ(layout.keyAt(kKeycodeV), kV) << "positions stay where they are";
}

// Each keystroke once and in order: the last one of a kind shows that none
// before it came twice; the first, that no key is lost while the keyboard is
// new. On Dvorak the V is where the US layout has its period (KEY_DOT, 52):
// the keystroke follows the seat's layout, so that the window reads a V.
TEST_F(WaylandSession, SendPaste_ReachesTheFocusedWindowAsOneKeystrokeOfTheSeatsLayout)
{
    WaylandKeySender sender(m_connection);
    ASSERT_TRUE(sender.isTrusted());
    QProcess &window = openWindow(QStringLiteral("org.scrivlet.KeyProbe"));
    ASSERT_TRUE(isShown(window));
    // Evdev key codes; modifier masks of the default keymap (Shift 1, Control 4).
    const QList<std::pair<PasteKey, QString>> cases {
        {PasteKey::ctrlV, "key 47 4"},
        {PasteKey::ctrlShiftV, "key 47 5"},
        {PasteKey::shiftInsert, "key 110 1"},
        {PasteKey::ctrlV, "key 47 4"},
    };
    QStringList expected;
    for (const auto &[key, line] : cases) {
        ASSERT_TRUE(sender.sendPaste(key));
        expected << line;
        EXPECT_TRUE(eventually([&] { return keysOf(window).size() >= expected.size(); }));
    }
    EXPECT_EQ(keysOf(window), expected);

    const QByteArray before = m_connection.keymap();
    const KeyboardConfig dvorak(QStringLiteral("us"), QStringLiteral("dvorak"));
    ASSERT_TRUE(
        eventually([&] { return m_connection.roundtrip() && m_connection.keymap() != before; }));
    // Twice: the second arrives after anything the first one sent.
    ASSERT_TRUE(sender.sendPaste(PasteKey::ctrlV));
    ASSERT_TRUE(sender.sendPaste(PasteKey::ctrlV));
    expected << "key 52 4"
             << "key 52 4";
    EXPECT_TRUE(eventually([&] { return keysOf(window).size() >= expected.size(); }));
    EXPECT_EQ(keysOf(window), expected);
}

TEST_F(WaylandSession, Workspace_FollowsFocusActivatesAndIgnoresScrivletsOwnWindows)
{
    WaylandWorkspace workspace(m_connection);
    ASSERT_TRUE(workspace.isAvailable());
    const auto activeId = [&] { return workspace.activeWindow().value_or(WindowRef {}).id; };
    // The second app id in the form of a desktop-entry file name names its entry.
    const QString firstId = QStringLiteral("org.scrivlet.First");
    const QString secondId = QStringLiteral("org.scrivlet.Second.desktop");

    ASSERT_TRUE(isShown(openWindow(firstId)));
    ASSERT_TRUE(eventually([&] { return workspace.frontmostApplicationId() == firstId; }));
    const std::optional<WindowRef> first = workspace.activeWindow();
    ASSERT_TRUE(first);
    EXPECT_NE(first->id, 0u);
    EXPECT_EQ(first->windowClass, firstId);

    QProcess &secondWindow = openWindow(secondId);
    ASSERT_TRUE(isShown(secondWindow));
    ASSERT_TRUE(
        eventually([&] { return workspace.frontmostApplicationId() == "org.scrivlet.Second"; }));
    const std::optional<WindowRef> second = workspace.activeWindow();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->windowClass, secondId);
    EXPECT_NE(second->id, first->id);

    ASSERT_TRUE(swaymsg(QStringLiteral("[app_id=\"%1\"] focus").arg(firstId)));
    const std::optional<WindowRef> again = workspace.activeWindow();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->id, first->id) << "a window keeps its id";
    EXPECT_EQ(again->applicationId, firstId);

    workspace.activate(second->id);
    EXPECT_TRUE(eventually([&] { return hasFocus(secondId); }));
    EXPECT_EQ(activeId(), second->id);

    secondWindow.kill();
    EXPECT_TRUE(eventually([&] { return activeId() == first->id; }));
    workspace.activate(second->id); // gone: nothing happens
    EXPECT_EQ(activeId(), first->id);

    ASSERT_TRUE(isShown(openWindow(QStringLiteral("org.scrivlet.Scrivlet"))));
    ASSERT_TRUE(eventually([] { return hasFocus(QStringLiteral("org.scrivlet.Scrivlet")); }));
    EXPECT_EQ(workspace.activeWindow(), std::nullopt);
    EXPECT_EQ(workspace.frontmostApplicationId(), std::nullopt);
}

TEST_F(WaylandSession, ProtocolError_EverythingAnswersNoneAndTheLossIsLoggedOnce)
{
    const LogCapture log;
    WaylandConnection connection;
    ASSERT_TRUE(connection.isConnected());
    WaylandWorkspace workspace(connection);
    QProcess &window = openWindow(QStringLiteral("org.scrivlet.Victim"));
    ASSERT_TRUE(isShown(window));
    ASSERT_TRUE(eventually([&] { return workspace.activeWindow().has_value(); }));

    // A key before any keymap is a protocol error: the compositor cuts us off.
    zwp_virtual_keyboard_v1 *keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
        connection.virtualKeyboardManager(), connection.seat());
    zwp_virtual_keyboard_v1_key(keyboard, 0, 47, 1);
    EXPECT_FALSE(connection.roundtrip());
    zwp_virtual_keyboard_v1_destroy(keyboard);

    EXPECT_FALSE(connection.isConnected());
    EXPECT_FALSE(workspace.isAvailable()) << "a service made before the loss";
    expectEveryServiceAnswersNone(connection);
    EXPECT_EQ(log.count(kLost), 1) << log.text();
    EXPECT_TRUE(keysOf(window).isEmpty()) << "nothing typed";
}

} // namespace

// Not in a session (or with one that does not exist): nothing is connected.
TEST(WaylandWithoutCompositor, EveryServiceAnswersNone)
{
    for (const char *display : {"", "scrivlet-no-such-display"}) {
        SCOPED_TRACE(display);
        const QByteArray saved = qgetenv("WAYLAND_DISPLAY");
        qputenv("WAYLAND_DISPLAY", display);
        WaylandConnection connection;
        qputenv("WAYLAND_DISPLAY", saved);
        EXPECT_FALSE(connection.isConnected());
        expectEveryServiceAnswersNone(connection);
    }
}

// A compositor that takes the connection and never says a word, then goes away.
TEST(WaylandWithoutCompositor, SilentThenGoneCompositor_NoHangThenOneLostLine)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray path = folder.filePath(QStringLiteral("silent")).toLocal8Bit();
    const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 4), 0);

    const LogCapture log;
    const QByteArray saved = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", path); // an absolute path is taken as the socket
    WaylandConnection connection; // its first roundtrip goes unanswered
    qputenv("WAYLAND_DISPLAY", saved);
    EXPECT_TRUE(connection.isConnected()) << "silent is not gone";
    expectEveryServiceAnswersNone(connection);
    EXPECT_EQ(log.count(QStringLiteral("connection lost")), 0);

    close(server); // never accepted: the connection is reset
    EXPECT_FALSE(connection.roundtrip());
    EXPECT_FALSE(connection.isConnected());
    EXPECT_FALSE(connection.roundtrip());
    EXPECT_EQ(log.count(kLost), 1) << log.text();
}
