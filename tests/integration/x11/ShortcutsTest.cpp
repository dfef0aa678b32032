// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder and the hotkeys against the test display's X server, with keys
// typed by xdotool: what a user records is stored, grabbed at once and after
// a restart, and the shortcut it replaces is let go.
#include "app/HotkeyManager.h"
#include "core/settings/DefaultsStore.h"
#include "fakes/FakeDialogs.h"
#include "platform/x11/X11HotkeyGrabber.h"
#include "platform/x11/X11KeyboardLayout.h"
#include "support/WaitFor.h"
#include "ui/ShortcutRecorder.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>
#include <gtest/gtest.h>
#include <memory>

namespace scrivlet {
namespace {

using GlobalShortcuts::Language;
using GlobalShortcuts::Name;
using GlobalShortcuts::Shortcut;
using testing::waitFor;
namespace Modifier = GlobalShortcuts::Modifier;

const QString kPalette = Name::togglePalette().rawValue;
const Shortcut kDefault = *Name::togglePalette().defaultShortcut;
const Shortcut kControlAltK = Shortcut::make(40, Modifier::control | Modifier::option);

xcb_connection_t *connection()
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

void xdotool(const QStringList &arguments)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0)
        << arguments.join(' ').toStdString();
}

// Another X client trying to hold a shortcut; true when it got it.
struct OtherClient
{
    QProcess process;
    bool hold(const Shortcut &shortcut)
    {
        process.start(QStringLiteral(GRAB_HOLDER), {QString::fromUtf8(shortcut.toJson())});
        if (!process.waitForReadyRead(10000))
            return false;
        return process.readAll().trimmed() == "held";
    }
    ~OtherClient()
    {
        process.kill();
        process.waitForFinished();
    }
};

// Scrivlet's side: the store, the hotkeys and a window with the recorder.
struct Session
{
    explicit Session(const QString &folder)
        : defaults(folder)
    {
        manager.start();
        auto *box = new QVBoxLayout(&window);
        box->addWidget(recorder);
        box->addWidget(new QLineEdit);
        window.show();
        window.activateWindow();
    }

    DefaultsStore defaults;
    GlobalShortcuts::ShortcutStore shortcuts {defaults};
    X11HotkeyGrabber grabber {connection()};
    X11KeyboardLayout layout {connection()};
    testing::FakeDialogs dialogs;
    int triggered = 0;
    HotkeyManager manager {shortcuts, grabber, [this] { ++triggered; }};
    QWidget window;
    ShortcutRecorder *recorder
        = new ShortcutRecorder({shortcuts, grabber, layout, dialogs}, Language::english, kPalette);

    bool ready() { return QTest::qWaitForWindowActive(&window); }
    void press(const char *keys)
    {
        xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QLatin1String(keys)});
    }
    bool fires(const char *keys)
    {
        const int before = triggered;
        press(keys);
        return waitFor([&] { return triggered > before; }, 3000);
    }
    void clickRecorder()
    {
        const QPoint centre = recorder->mapToGlobal(recorder->rect().center());
        xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
            QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")});
        ASSERT_TRUE(waitFor([&] { return recorder->isRecording(); }));
    }
};

TEST(ShortcutsX11, ARecordedShortcutWorksAtOnceAndAfterARestart)
{
    QTemporaryDir dir;
    {
        Session session(dir.path());
        ASSERT_TRUE(session.ready());
        ASSERT_TRUE(session.manager.isRegistered());
        EXPECT_TRUE(session.fires("super+shift+v"));

        // The current shortcut, pressed while recording, is recorded.
        session.clickRecorder();
        EXPECT_FALSE(session.fires("super+shift+v"));
        EXPECT_FALSE(session.recorder->isRecording());
        EXPECT_EQ(session.shortcuts.shortcut(kPalette), kDefault);
        EXPECT_TRUE(session.fires("super+shift+v")) << "grabbed again once recording ended";

        session.clickRecorder();
        session.press("ctrl+alt+k");
        ASSERT_TRUE(waitFor([&] { return !session.recorder->isRecording(); }));
        EXPECT_EQ(session.defaults.value("GlobalShortcuts_togglePalette").toString(),
            R"({"carbonKeyCode":40,"carbonModifiers":6144})");
        EXPECT_EQ(session.recorder->shownText(), "Ctrl+Alt+K");
        EXPECT_TRUE(session.fires("ctrl+alt+k")) << "works at once";

        EXPECT_TRUE(OtherClient().hold(kDefault)) << "the old one was let go";
        EXPECT_FALSE(OtherClient().hold(kControlAltK));
    }
    Session restarted(dir.path());
    ASSERT_TRUE(restarted.ready());
    EXPECT_TRUE(restarted.fires("ctrl+alt+k")) << "and after a restart";
    EXPECT_FALSE(restarted.fires("super+shift+v"));
}

TEST(ShortcutsX11, ACombinationAnotherClientHoldsIsAskedAbout)
{
    QTemporaryDir dir;
    Session session(dir.path());
    ASSERT_TRUE(session.ready());
    OtherClient other;
    ASSERT_TRUE(other.hold(kControlAltK));

    // The keyboard is the recorder's while it records: the other client's
    // grab does not take the keys away from it.
    session.dialogs.choices = {0};
    session.clickRecorder();
    session.press("ctrl+alt+k");
    ASSERT_TRUE(waitFor([&] { return !session.dialogs.asked.isEmpty(); }));
    EXPECT_EQ(session.dialogs.asked.first(),
        GlobalShortcuts::message("keyboard_shortcut_used_by_system", Language::english));
    EXPECT_EQ(session.shortcuts.shortcut(kPalette), kDefault);
    session.recorder->clearFocus();
    EXPECT_TRUE(session.fires("super+shift+v"));
}

TEST(ShortcutsX11, TheShortcutWorksWhileOurMenuIsOpen)
{
    QTemporaryDir dir;
    Session session(dir.path());
    ASSERT_TRUE(session.ready());
    QMenu menu;
    menu.addAction(QStringLiteral("Ouvrir"));
    menu.popup(session.window.geometry().center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    // The menu grabs the keyboard: the key reaches us as a plain key event.
    EXPECT_TRUE(session.fires("super+shift+v"));
    menu.close();
    EXPECT_TRUE(session.fires("super+shift+v"));
}

TEST(ShortcutsX11, KeysAreFoundByPositionInTheCurrentLayout)
{
    X11KeyboardLayout layout(connection());
    const GlobalShortcuts::Key y {16};
    ASSERT_EQ(layout.character(y), "y");
    const std::optional<xcb_keycode_t> keycode = layout.keycodeFor(y);
    ASSERT_TRUE(keycode);
    EXPECT_EQ(layout.keyAt(*keycode), y);
    EXPECT_EQ(layout.keyAt(255), std::nullopt);

    // The display is shared: the US layout comes back however the test ends.
    const std::unique_ptr<void, void (*)(void *)> restore(reinterpret_cast<void *>(1),
        [](void *) { QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); });
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("de")}), 0);
    EXPECT_EQ(layout.character(y), "z") << "the German layout types z there";
    EXPECT_EQ(layout.keycodeFor(y), keycode) << "the position does not move";
    EXPECT_EQ(Shortcut::make(16, Modifier::command)
                  .displayText(Language::english,
                      [&](GlobalShortcuts::Key key) { return layout.character(key); }),
        "Super+Z");
}

} // namespace
} // namespace scrivlet
