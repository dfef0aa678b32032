// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteFixture.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <cmath>

namespace scrivlet {
namespace {

using testing::PaletteTest;

constexpr int kLongestWait
    = PaletteController::kKeystrokeDelayMs + PaletteController::kActivationWaitMs;

TEST(PalettePlacement, TopLeftAtThePointerInsideTheScreen)
{
    const QRect screen(0, 0, 1600, 1000);
    const struct
    {
        const char *name;
        QPoint pointer;
        QSize size;
        QPoint expected;
    } cases[] = {
        {"in the open", {300, 200}, {520, 400}, {300, 200}},
        {"near the right edge", {1500, 200}, {520, 400}, {1600 - 520 - 8, 200}},
        {"near the bottom", {300, 950}, {520, 400}, {300, 1000 - 400 - 8}},
        {"in the top-left corner", {0, 0}, {520, 400}, {8, 8}},
        {"too large: the left and top margins hold", {900, 900}, {2000, 1200}, {8, 8}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PaletteController::placeNear(c.pointer, c.size, screen), c.expected) << c.name;
}

TEST_F(PaletteTest, SavedSizesAreBoundedAndFinite)
{
    const struct
    {
        QJsonValue width, height;
        QSize expected;
    } cases[] = {
        {QJsonValue(), QJsonValue(), {520, 400}},
        {200.0, 100.0, {360, 280}},
        {700.0, 500.0, {700, 500}},
        {QStringLiteral("wide"), true, {520, 400}},
        {1e9, 5000.0, {1600 - 16, 1000 - 16}},
        {std::nan(""), -1.0, {520, 280}},
    };
    for (const auto &c : cases) {
        defaults.setValue(QStringLiteral("paletteWidth"), c.width);
        defaults.setValue(QStringLiteral("paletteHeight"), c.height);
        EXPECT_EQ(controller.savedSize({1600, 1000}), c.expected);
    }
}

TEST_F(PaletteTest, PastesIntoTheRememberedWindowOnceItIsActiveAgain)
{
    // Noted at each write: the palette goes first, as a large write is slow.
    std::vector<bool> shownAtWrite;
    pasteboard.written = [&] { shownAtWrite.push_back(controller.isVisible()); };
    workspace.active = WindowRef {42, QStringLiteral("org.example.Editor"), QString()};
    open({QStringLiteral("first"), QStringLiteral("second")});
    // The editor takes a while to come back to the front.
    workspace.activationWorks = false;
    workspace.active = WindowRef {7, std::nullopt, QString()};
    press(Qt::Key_Down);
    press(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(pasted(), QStringList {QStringLiteral("first")});
    EXPECT_EQ(shownAtWrite, std::vector<bool> {false});
    EXPECT_EQ(workspace.activated.back(), 42u);
    timers.elapse(PaletteController::kKeystrokeDelayMs + 100);
    EXPECT_TRUE(keys.keys.empty()) << "not into the window in front meanwhile";
    workspace.active = WindowRef {42, QStringLiteral("org.example.Editor"), QString()};
    timers.elapse(PaletteController::kActivationWaitMs);
    EXPECT_EQ(keys.keys, std::vector<PasteKey> {PasteKey::ctrlV});
}

TEST_F(PaletteTest, NoKeystrokeLandsInTheWrongPlace)
{
    const struct
    {
        const char *name;
        std::optional<quint64> inFront; // when the palette opens
        bool activationWorks;
        bool trusted;
        bool reopened; // the palette shown again before the keystroke
    } cases[] = {
        {"the target never comes back", 42, false, true, false},
        {"no window was in front", std::nullopt, true, true, false},
        {"the palette came back", 42, true, true, true},
        {"keystrokes are not trusted", 42, true, false, false},
    };
    history.record(ClipContent::text(QStringLiteral("entry")));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QSignalSpy unavailable(&controller, &PaletteController::pasteKeystrokeUnavailable);
        pasteboard.writes.clear();
        workspace.active.reset();
        if (c.inFront)
            workspace.active = WindowRef {*c.inFront, std::nullopt, QString()};
        workspace.activationWorks = c.activationWorks;
        keys.trusted = c.trusted;
        open();
        workspace.active = WindowRef {7, std::nullopt, QString()};
        press(Qt::Key_Return);
        if (c.reopened)
            controller.show();
        timers.elapse(kLongestWait);
        EXPECT_TRUE(timers.isIdle()) << "the wait for the target ends";
        EXPECT_EQ(pasteboard.writes.size(), 1u) << "the entry is on the clipboard";
        EXPECT_EQ(keys.pastes, 0);
        EXPECT_EQ(unavailable.size(), c.trusted ? 0 : 1);
        controller.hide();
    }
}

TEST_F(PaletteTest, TerminalsGetTheirOwnPasteKey)
{
    const QString applications = history.folder() + QStringLiteral("/applications");
    QDir().mkpath(applications);
    QFile terminal(applications + QStringLiteral("/org.example.Term.desktop"));
    ASSERT_TRUE(terminal.open(QIODevice::WriteOnly));
    terminal.write(
        "[Desktop Entry]\nType=Application\nName=Term\nCategories=System;TerminalEmulator;\n");
    terminal.close();
    const struct
    {
        const char *name;
        WindowRef target;
        QJsonValue pasteKeys;
        PasteKey expected;
    } cases[] = {
        {"a terminal by its entry", {5, QStringLiteral("org.example.Term"), QString()}, {},
            PasteKey::ctrlShiftV},
        {"a terminal by its window class", {6, std::nullopt, QStringLiteral("kitty")}, {},
            PasteKey::ctrlShiftV},
        {"the user's choice first", {5, QStringLiteral("org.example.Term"), QString()},
            QJsonObject {{QStringLiteral("org.example.Term"), QStringLiteral("shift+insert")}},
            PasteKey::shiftInsert},
        {"an editor", {8, QStringLiteral("org.example.Editor"), QString()}, {}, PasteKey::ctrlV},
    };
    history.record(ClipContent::text(QStringLiteral("ls")));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        keys.keys.clear();
        defaults.setValue(QStringLiteral("pasteKeys"), c.pasteKeys);
        workspace.active = c.target;
        open();
        press(Qt::Key_Return);
        timers.elapse(kLongestWait);
        EXPECT_EQ(keys.keys, std::vector<PasteKey> {c.expected});
    }
}

} // namespace
} // namespace scrivlet
