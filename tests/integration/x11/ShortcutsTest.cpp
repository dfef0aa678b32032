// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder and the hotkeys against the test display's X server, with keys
// typed by xdotool: what a user records is stored, grabbed at once and after
// a restart, and the shortcut it replaces is let go.
#include "X11Clients.h"
#include "app/HotkeyManager.h"
#include "core/settings/DefaultsStore.h"
#include "fakes/FakeDialogs.h"
#include "platform/x11/X11HotkeyGrabber.h"
#include "platform/x11/X11KeyboardLayout.h"
#include "ui/ShortcutRecorder.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using GlobalShortcuts::Name;
using GlobalShortcuts::Shortcut;
using scrivlet::Language;
using testing::waitFor;
namespace Modifier = GlobalShortcuts::Modifier;

const QString kPalette = Name::togglePalette().rawValue;
const Shortcut kDefault = *Name::togglePalette().defaultShortcut;
const Shortcut kControlAltK = Shortcut::make(40, Modifier::control | Modifier::option);

void xdotool(const QStringList &arguments)
{
    ASSERT_EQ(QProcess::execute("xdotool", arguments), 0) << arguments.join(' ').toStdString();
}

// Another X client trying to hold a shortcut, for as long as it lives.
testing::Probe otherClient(const Shortcut &shortcut)
{
    return testing::Probe(GRAB_HOLDER, {QString::fromUtf8(shortcut.toJson())});
}

// Scrivlet's side: the store, the hotkeys and a window with the recorder.
struct Session
{
    explicit Session(const QString &folder)
        : defaults(folder)
    {
        manager.start();
        auto *box = new QVBoxLayout(&window);
        box->addWidget(recorder);
        box->addWidget(edit);
        window.show();
        window.activateWindow();
    }

    DefaultsStore defaults;
    GlobalShortcuts::ShortcutStore shortcuts {defaults};
    X11HotkeyGrabber grabber {testing::x11Connection()};
    X11KeyboardLayout layout {testing::x11Connection()};
    testing::FakeDialogs dialogs;
    int triggered = 0;
    HotkeyManager manager {shortcuts, grabber, [this] { ++triggered; }};
    QWidget window;
    QLineEdit *edit = new QLineEdit;
    ShortcutRecorder *recorder
        = new ShortcutRecorder({shortcuts, grabber, layout, dialogs}, Language::english, kPalette);

    bool ready() { return QTest::qWaitForWindowActive(&window); }
    void press(const char *keys) { xdotool({"key", "--clearmodifiers", QLatin1String(keys)}); }
    bool fires(const char *keys)
    {
        const int before = triggered;
        press(keys);
        return waitFor([&] { return triggered > before; });
    }
    // Whether these keys fire nothing: a letter typed after them into the
    // line edit arrives once they have been dealt with.
    bool firesNothing(const char *keys)
    {
        const int before = triggered;
        edit->setFocus();
        const qsizetype typed = edit->text().size();
        press(keys);
        press("x");
        return waitFor([&] { return edit->text().size() > typed; }) && triggered == before;
    }
    void clickRecorder()
    {
        const QPoint centre = recorder->mapToGlobal(recorder->rect().center());
        xdotool(
            {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
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

        // The current shortcut, pressed while recording, is recorded: the
        // recorder gets the key only if our grab let it go.
        session.clickRecorder();
        const int before = session.triggered;
        session.press("super+shift+v");
        ASSERT_TRUE(waitFor([&] { return !session.recorder->isRecording(); }));
        EXPECT_EQ(session.triggered, before);
        EXPECT_EQ(session.shortcuts.shortcut(kPalette), kDefault);
        EXPECT_TRUE(session.fires("super+shift+v")) << "grabbed again once recording ended";

        session.clickRecorder();
        session.press("ctrl+alt+k");
        ASSERT_TRUE(waitFor([&] { return !session.recorder->isRecording(); }));
        EXPECT_EQ(session.defaults.value("GlobalShortcuts_togglePalette").toString(),
            R"({"carbonKeyCode":40,"carbonModifiers":6144})");
        EXPECT_EQ(session.recorder->shownText(), "Ctrl+Alt+K");
        EXPECT_TRUE(session.fires("ctrl+alt+k")) << "works at once";

        EXPECT_TRUE(otherClient(kDefault).says("held")) << "the old one was let go";
        EXPECT_FALSE(otherClient(kControlAltK).says("held"));
    }
    Session restarted(dir.path());
    ASSERT_TRUE(restarted.ready());
    EXPECT_TRUE(restarted.fires("ctrl+alt+k")) << "and after a restart";
    EXPECT_TRUE(restarted.firesNothing("super+shift+v"));
}

TEST(ShortcutsX11, ACombinationAnotherClientHoldsIsAskedAbout)
{
    QTemporaryDir dir;
    Session session(dir.path());
    ASSERT_TRUE(session.ready());
    testing::Probe other = otherClient(kControlAltK);
    ASSERT_TRUE(other.says("held"));

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
    menu.addAction("Ouvrir");
    menu.popup(session.window.geometry().center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    // The menu grabs the keyboard: the key reaches us as a plain key event.
    EXPECT_TRUE(session.fires("super+shift+v"));
    menu.close();
    EXPECT_TRUE(session.fires("super+shift+v"));
}

TEST(ShortcutsX11, KeysAreFoundByPositionInTheCurrentLayout)
{
    X11KeyboardLayout layout(testing::x11Connection());
    const GlobalShortcuts::Key y {16};
    ASSERT_EQ(layout.character(y), "y");
    const std::optional<xcb_keycode_t> keycode = layout.keycodeFor(y);
    ASSERT_TRUE(keycode);
    EXPECT_EQ(layout.keyAt(*keycode), y);
    EXPECT_EQ(layout.keyAt(255), std::nullopt);

    // The display is shared: the US layout comes back however the test ends.
    const auto restore = qScopeGuard([] { QProcess::execute("setxkbmap", {"us"}); });
    ASSERT_EQ(QProcess::execute("setxkbmap", {"de"}), 0);
    EXPECT_EQ(layout.character(y), "z") << "the German layout types z there";
    EXPECT_EQ(layout.keycodeFor(y), keycode) << "the position does not move";
    EXPECT_EQ(Shortcut::make(16, Modifier::command)
                  .displayText(Language::english,
                      [&](GlobalShortcuts::Key key) { return layout.character(key); }),
        "Super+Z");
}

} // namespace
} // namespace scrivlet
