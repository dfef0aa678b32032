// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ShortcutRecorder.h"

#include "app/HotkeyManager.h"
#include "core/settings/DefaultsStore.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeKeyboardLayout.h"
#include "fakes/FakePasteboard.h"

#include <QApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using GlobalShortcuts::Name;
using GlobalShortcuts::Shortcut;
using scrivlet::Language;
namespace Modifier = GlobalShortcuts::Modifier;

// Evdev scan codes (X keycodes) of keys the tests press.
constexpr quint32 kScanV = 55, kScanK = 45, kScanF5 = 71, kScanShift = 50, kScanEscape = 9,
                  kScanBackspace = 22, kScanTab = 23;

const QString kPalette = Name::togglePalette().rawValue;
const Shortcut kDefault = *Name::togglePalette().defaultShortcut;

class ShortcutRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Evdev scan codes and the positions' key codes.
        layout.keys = {{kScanV, 9}, {kScanK, 40}, {kScanF5, 96}, {kScanShift, 56},
            {kScanEscape, 53}, {kScanBackspace, 51}, {kScanTab, 48}, {54, 8}, {53, 7}, {52, 6},
            {29, 16}, {38, 0}, {24, 12}, {33, 35}, {118, 114}, {10, 18}, {81, 92}, {36, 36},
            {104, 76}, {111, 126}};
        shortcuts.declare(Name::togglePalette());
        auto *box = new QVBoxLayout(&window);
        box->addWidget(recorder);
        box->addWidget(next);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void press(int qtKey, Qt::KeyboardModifiers modifiers, quint32 scanCode, bool repeat = false)
    {
        QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, scanCode, 0, 0, QString(), repeat);
        QApplication::sendEvent(recorder, &event);
    }
    void startRecording()
    {
        QTest::mouseClick(recorder, Qt::LeftButton);
        ASSERT_TRUE(recorder->isRecording());
    }
    QString stored() const
    {
        return QString::fromUtf8(
            QJsonDocument(QJsonArray {defaults.value("GlobalShortcuts_togglePalette")})
                .toJson(QJsonDocument::Compact));
    }

    QTemporaryDir dir;
    DefaultsStore defaults {dir.path()};
    GlobalShortcuts::ShortcutStore shortcuts {defaults};
    testing::FakeHotkeyGrabber grabber;
    testing::FakeKeyboardLayout layout;
    testing::FakeDialogs dialogs;
    QWidget window;
    ShortcutRecorder *recorder
        = new ShortcutRecorder({shortcuts, grabber, layout, dialogs}, Language::french, kPalette);
    QLineEdit *next = new QLineEdit;
};

// Ctrl+V, Ctrl+C and the like, taken, would break copy and paste everywhere
// (Scrivlet's own Ctrl+V included); the palette's keys would leave it without
// them.
TEST_F(ShortcutRecorderTest, KeysWhileRecording)
{
    const auto control = Qt::ControlModifier;
    const auto shift = Qt::ShiftModifier;
    // On AZERTY the US A position types "q" and the US Q position "a".
    const QHash<int, QString> azerty {{12, QStringLiteral("a")}, {0, QStringLiteral("q")}};
    const auto json = [](int code, int modifiers) {
        return QStringLiteral(R"(["{\"carbonKeyCode\":%1,\"carbonModifiers\":%2}"])")
            .arg(code)
            .arg(modifiers);
    };
    const QString refusal
        = GlobalShortcuts::message("keyboard_shortcut_used_by_menu_item", Language::french);
    struct Case
    {
        const char *what;
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        quint32 scanCode;
        // Expected afterwards; a null stored value: unchanged.
        int beeps;
        bool recording;
        QString stored = {};
        const char *refusedFor = nullptr; // the use a refusal names
        QHash<int, QString> characters = {}; // the layout, when not US
    };
    const Case cases[] = {
        {"a letter alone would take it from typing", Qt::Key_V, Qt::NoModifier, kScanV, 1, true},
        {"Shift is not enough", Qt::Key_V, shift, kScanV, 1, true},
        {"a modifier pressed alone is not a shortcut yet", Qt::Key_Shift, shift, kScanShift, 0,
            true},
        {"a key this keyboard does not place", Qt::Key_Q, control, 200, 1, true},
        {"Escape leaves it unchanged", Qt::Key_Escape, Qt::NoModifier, kScanEscape, 0, false},
        {"a function key alone", Qt::Key_F5, Qt::NoModifier, kScanF5, 0, false, json(96, 0)},
        {"Control+Alt+K", Qt::Key_K, control | Qt::AltModifier, kScanK, 0, false, json(40, 6144)},
        {"Super is Command", Qt::Key_K, Qt::MetaModifier | Qt::KeypadModifier, kScanK, 0, false,
            json(40, 256)},
        {"Ctrl+V", Qt::Key_V, control, kScanV, 0, true, {}, "Coller"},
        {"Ctrl+C", Qt::Key_C, control, 54, 0, true, {}, "Copier"},
        {"Ctrl+X", Qt::Key_X, control, 53, 0, true, {}, "Couper"},
        {"Ctrl+Z", Qt::Key_Z, control, 52, 0, true, {}, "Annuler"},
        {"Ctrl+Y", Qt::Key_Y, control, 29, 0, true, {}, "Rétablir"},
        {"Ctrl+A", Qt::Key_A, control, 38, 0, true, {}, "Tout sélectionner"},
        {"Ctrl+Shift+V", Qt::Key_V, control | shift, kScanV, 0, true, {},
            "Coller sans mise en forme"},
        {"Shift+Insert, refused though Shift alone would only beep", Qt::Key_Insert, shift, 118, 0,
            true, {}, "Coller"},
        {"Ctrl+P", Qt::Key_P, control, 33, 0, true, {}, "Palette : épingler"},
        {"Ctrl+Backspace", Qt::Key_Backspace, control, kScanBackspace, 0, true, {},
            "Palette : supprimer"},
        {"Ctrl+1 by its place on the digit row", Qt::Key_Ampersand, control, 10, 0, true, {},
            "Palette : coller l'élément 1"},
        {"Ctrl+keypad 9", Qt::Key_9, control | Qt::KeypadModifier, 81, 0, true, {},
            "Palette : coller l'élément 9"},
        {"Return", Qt::Key_Return, Qt::NoModifier, 36, 0, true, {}, "Palette : coller"},
        {"Shift+keypad Enter", Qt::Key_Enter, shift | Qt::KeypadModifier, 104, 0, true, {},
            "Palette : coller en texte brut"},
        {"Up", Qt::Key_Up, Qt::NoModifier, 111, 0, true, {}, "Palette : élément précédent"},
        {"AZERTY: Ctrl+A is where US Q is", Qt::Key_A, control, 24, 0, true, {},
            "Tout sélectionner", azerty},
        {"Cyrillic: Ctrl+V still pastes where V is", 0x43c, control, kScanV, 0, true, {}, "Coller",
            {{9, QStringLiteral("м")}}},
        // The modifiers must be the same exactly.
        {"Ctrl+Alt+V is free", Qt::Key_V, control | Qt::AltModifier, kScanV, 0, false,
            json(9, 6144)},
        {"Ctrl+Shift+P is free", Qt::Key_P, control | shift, 33, 0, false, json(35, 4608)},
        {"AZERTY: Ctrl+Q where US A is", Qt::Key_Q, control, 38, 0, false, json(0, 4096), nullptr,
            azerty},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        shortcuts.reset(kPalette);
        dialogs.beeps = 0;
        dialogs.told.clear();
        layout.characters = test.characters;
        startRecording();
        press(test.qtKey, test.modifiers, test.scanCode);
        EXPECT_EQ(dialogs.beeps, test.beeps);
        EXPECT_EQ(recorder->isRecording(), test.recording);
        EXPECT_EQ(stored(), test.stored.isNull() ? json(9, 768) : test.stored);
        EXPECT_EQ(dialogs.told,
            test.refusedFor ? QStringList {refusal.arg(QString::fromUtf8(test.refusedFor))}
                            : QStringList {});
        recorder->clearFocus();
        EXPECT_FALSE(recorder->isRecording());
    }
    // Key repeat is ignored; Backspace removes the shortcut, and recording goes on.
    shortcuts.reset(kPalette);
    startRecording();
    press(Qt::Key_K, control | Qt::AltModifier, kScanK, true);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(shortcuts.shortcut(kPalette), kDefault);
    press(Qt::Key_Backspace, Qt::NoModifier, kScanBackspace);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(stored(), "[false]");
    EXPECT_EQ(dialogs.beeps, 0);
}

TEST_F(ShortcutRecorderTest, TheCurrentShortcutIsRecordedNotFired)
{
    int triggered = 0;
    HotkeyManager manager(shortcuts, grabber, [&] { ++triggered; });
    manager.start();
    ASSERT_EQ(grabber.grabbed, std::vector<Shortcut> {kDefault});

    startRecording();
    EXPECT_TRUE(grabber.grabbed.empty()) << "our hotkeys are let go while recording";
    EXPECT_TRUE(shortcuts.isRecorderActive());
    Q_EMIT grabber.released(kDefault);
    EXPECT_EQ(triggered, 0);

    const Shortcut controlK = Shortcut::make(40, Modifier::control);
    press(Qt::Key_K, Qt::ControlModifier, kScanK);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(shortcuts.isRecorderActive());
    EXPECT_EQ(grabber.grabbed, std::vector<Shortcut> {controlK}) << "the new one, at once";
    EXPECT_EQ(recorder->shownText(), "Ctrl+K");
}

TEST_F(ShortcutRecorderTest, ACombinationAnotherProgramHoldsAsksFirst)
{
    const Shortcut controlK = Shortcut::make(40, Modifier::control);
    grabber.heldElsewhere = {controlK};
    const QString question
        = GlobalShortcuts::message("keyboard_shortcut_used_by_system", Language::french);

    dialogs.choices = {0};
    startRecording();
    press(Qt::Key_K, Qt::ControlModifier, kScanK);
    EXPECT_EQ(dialogs.asked, QStringList {question});
    EXPECT_EQ(shortcuts.shortcut(kPalette), kDefault) << "OK keeps the old one";
    EXPECT_TRUE(recorder->isRecording()) << "and recording goes on";

    dialogs.choices = {1};
    press(Qt::Key_K, Qt::ControlModifier, kScanK);
    EXPECT_EQ(shortcuts.shortcut(kPalette), controlK) << "used anyway";
    EXPECT_FALSE(recorder->isRecording());
}

TEST_F(ShortcutRecorderTest, RecordingNeverOutlivesTheField)
{
    // Tab moves on; the window coming back does not start recording again.
    startRecording();
    press(Qt::Key_Tab, Qt::NoModifier, kScanTab);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(next->hasFocus());
    recorder->setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_FALSE(recorder->isRecording());

    // Hidden while recording.
    startRecording();
    window.hide();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(shortcuts.isRecorderActive());

    // Destroyed while recording.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    startRecording();
    delete recorder;
    recorder = nullptr;
    EXPECT_FALSE(shortcuts.isRecorderActive());
}

TEST_F(ShortcutRecorderTest, ShowsTheShortcutInTheCurrentLayout)
{
    EXPECT_EQ(recorder->shownText(), "Maj+Super+V");
    EXPECT_FALSE(recorder->isShowingPlaceholder());

    // Stored by position: on a layout that types another letter there, the
    // field names that letter.
    layout.characters = {{40, QStringLiteral("ĸ")}};
    shortcuts.setShortcut(Shortcut::make(40, Modifier::control), kPalette);
    EXPECT_EQ(recorder->shownText(), "Ctrl+ĸ");

    shortcuts.setShortcut(std::nullopt, kPalette);
    EXPECT_TRUE(recorder->isShowingPlaceholder());
    EXPECT_EQ(recorder->shownText(), "Enregistrer un raccourci");
    startRecording();
    EXPECT_EQ(recorder->shownText(), "Tapez le raccourci");
}

} // namespace
} // namespace scrivlet
