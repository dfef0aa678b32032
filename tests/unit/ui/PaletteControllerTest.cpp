// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/palette/PaletteController.h"

#include "core/settings/AppSettings.h"
#include "core/history/ClipStore.h"
#include "core/crypto/Crypto.h"
#include "core/settings/DefaultsStore.h"
#include "core/desktop/DesktopEntries.h"
#include "core/history/ModelContainer.h"
#include "fakes/FakePasteboard.h"
#include "ui/AppIconCache.h"
#include "ui/palette/PaletteModel.h"
#include "ui/palette/PaletteWindow.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;

// Notes whether the palette was still on screen when the clipboard was written.
class WatchingPasteboard : public FakePasteboard
{
public:
    std::function<bool()> paletteShown;
    std::vector<bool> shownAtWrite;
    void write(const Representations &representations) override
    {
        shownAtWrite.push_back(paletteShown && paletteShown());
        FakePasteboard::write(representations);
    }
};

class PaletteControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Crypto::setShared(Crypto(SecretBytes(32)));
        m_container = std::move(ModelContainer::open(m_dir.path())).value();
        m_images.emplace(m_dir.path() + QStringLiteral("/images"), Crypto::shared());
        m_store = std::make_unique<ClipStore>(m_container->mainContext(), *m_images);
        m_defaults = std::make_unique<DefaultsStore>(m_dir.path() + QStringLiteral("/config"));
        m_settings = std::make_unique<AppSettings>(*m_defaults);
        const QString applications = m_dir.path() + QStringLiteral("/applications");
        QDir().mkpath(applications);
        QFile terminal(applications + QStringLiteral("/org.example.Term.desktop"));
        terminal.open(QIODevice::WriteOnly);
        terminal.write(
            "[Desktop Entry]\nType=Application\nName=Term\nCategories=System;TerminalEmulator;\n");
        terminal.close();
        m_entries = std::make_unique<DesktopEntries>(QStringList {applications});
        m_icons = std::make_unique<AppIconCache>(*m_entries);
        m_controller
            = std::make_unique<PaletteController>(PaletteController::Services {*m_store, *m_images,
                *m_settings, *m_defaults, m_pasteboard, m_workspace, m_keys, *m_entries, *m_icons});
        m_pasteboard.paletteShown = [this] { return m_controller->isVisible(); };
        for (const char *text : {"first", "second", "third"})
            m_store->recordContent(ClipContent::text(QString::fromLatin1(text)), std::nullopt);
    }
    void TearDown() override
    {
        m_controller.reset();
        Crypto::setShared(std::nullopt);
    }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool repeat = false)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, QString(), repeat);
        QApplication::sendEvent(&m_controller->window()->searchField(), &event);
    }
    // Runs the event loop long enough for the keystroke's wait to end.
    void settle()
    {
        QTest::qWait(
            PaletteController::kKeystrokeDelayMs + PaletteController::kActivationWaitMs + 100);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::optional<ImageStore> m_images;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<DefaultsStore> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<DesktopEntries> m_entries;
    std::unique_ptr<AppIconCache> m_icons;
    WatchingPasteboard m_pasteboard;
    FakeWorkspace m_workspace;
    FakeKeySender m_keys;
    std::unique_ptr<PaletteController> m_controller;
};

TEST(PalettePlacement, TopLeftAtThePointerInsideTheScreen)
{
    const QRect screen(0, 0, 1600, 1000);
    const QSize size(520, 400);
    const struct
    {
        const char *name;
        QPoint pointer;
        QPoint expected;
    } cases[] = {
        {"in the open", {300, 200}, {300, 200}},
        {"near the right edge", {1500, 200}, {1600 - 520 - 8, 200}},
        {"near the bottom", {300, 950}, {300, 1000 - 400 - 8}},
        {"in the top-left corner", {0, 0}, {8, 8}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PaletteController::placeNear(c.pointer, size, screen), c.expected) << c.name;
    EXPECT_EQ(PaletteController::placeNear({900, 900}, QSize(2000, 1200), screen), QPoint(8, 8))
        << "too large: the left and top margins hold";
}

TEST_F(PaletteControllerTest, SavedSizesAreBoundedAndFinite)
{
    const QSize screen(1600, 1000);
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
        m_defaults->setValue(QStringLiteral("paletteWidth"), c.width);
        m_defaults->setValue(QStringLiteral("paletteHeight"), c.height);
        EXPECT_EQ(m_controller->savedSize(screen), c.expected);
    }
}

TEST_F(PaletteControllerTest, PastesIntoTheRememberedWindowOnceItIsActiveAgain)
{
    m_workspace.active
        = WindowRef {42, QStringLiteral("org.example.Editor"), QStringLiteral("Editor")};
    m_controller->show();
    press(Qt::Key_Down);
    press(Qt::Key_Return, Qt::ShiftModifier);
    ASSERT_EQ(m_pasteboard.writes.size(), 1u);
    EXPECT_EQ(m_pasteboard.writes[0].at(0).second, QByteArray("second"));
    EXPECT_EQ(m_pasteboard.shownAtWrite, std::vector<bool> {false})
        << "the palette goes before the write, which can be slow";
    settle();
    EXPECT_EQ(m_workspace.activated.back(), 42u);
    EXPECT_EQ(m_keys.keys, (std::vector<PasteKey> {PasteKey::ctrlV}));
}

TEST_F(PaletteControllerTest, NoKeystrokeLandsInTheWrongPlace)
{
    // The target never comes back to the front.
    m_workspace.active = WindowRef {42, std::nullopt, QString()};
    m_workspace.activationWorks = false;
    m_controller->show();
    m_workspace.active = WindowRef {7, std::nullopt, QString()};
    press(Qt::Key_Return);
    settle();
    EXPECT_EQ(m_pasteboard.writes.size(), 1u) << "the entry is still on the clipboard";
    EXPECT_EQ(m_keys.pastes, 0);

    // No window was in front.
    m_workspace.active.reset();
    m_workspace.activationWorks = true;
    m_controller->show();
    press(Qt::Key_Return);
    settle();
    EXPECT_EQ(m_keys.pastes, 0);

    // The palette came back before the keystroke.
    m_workspace.active = WindowRef {42, std::nullopt, QString()};
    m_controller->show();
    press(Qt::Key_Return);
    m_controller->show();
    settle();
    EXPECT_EQ(m_keys.pastes, 0);
    m_controller->hide();

    // Not trusted: the clipboard only.
    m_keys.trusted = false;
    m_controller->show();
    press(Qt::Key_Return);
    settle();
    EXPECT_EQ(m_keys.pastes, 0);
}

TEST_F(PaletteControllerTest, TerminalsGetTheirOwnPasteKey)
{
    m_workspace.active = WindowRef {5, QStringLiteral("org.example.Term"), QStringLiteral("Term")};
    m_controller->show();
    press(Qt::Key_Return);
    settle();
    m_workspace.active = WindowRef {6, std::nullopt, QStringLiteral("kitty")};
    m_controller->show();
    press(Qt::Key_Return);
    settle();
    m_defaults->setValue(QStringLiteral("pasteKeys"),
        QJsonObject {{QStringLiteral("org.example.Term"), QStringLiteral("shift+insert")}});
    m_workspace.active = WindowRef {5, QStringLiteral("org.example.Term"), QStringLiteral("Term")};
    m_controller->show();
    press(Qt::Key_Return);
    settle();
    EXPECT_EQ(m_keys.keys,
        (std::vector<PasteKey> {
            PasteKey::ctrlShiftV, PasteKey::ctrlShiftV, PasteKey::shiftInsert}));
}

TEST_F(PaletteControllerTest, KeysDriveTheListOncePerGesture)
{
    m_workspace.active = WindowRef {42, std::nullopt, QString()};
    m_controller->show();
    PaletteWindow &window = *m_controller->window();
    auto *model = static_cast<PaletteModel *>(window.list().model());

    press(Qt::Key_Down);
    press(Qt::Key_Down, Qt::NoModifier, true);
    press(Qt::Key_Down, Qt::NoModifier, true);
    EXPECT_EQ(model->selection(), 2) << "held down, it moves per repeat and stops at the end";
    press(Qt::Key_Home);
    EXPECT_EQ(model->selection(), 0);

    press(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(m_store->recentItems(10).at(0)->isPinned());
    press(Qt::Key_Backspace, Qt::ControlModifier);
    press(Qt::Key_Backspace, Qt::ControlModifier, true);
    press(Qt::Key_Backspace, Qt::ControlModifier, true);
    EXPECT_EQ(m_store->recentItems(10).size(), 2u) << "one delete for one held press";

    window.searchField().setText(QStringLiteral("zz"));
    press(Qt::Key_Escape);
    EXPECT_TRUE(window.searchField().text().isEmpty());
    EXPECT_TRUE(m_controller->isVisible());

    // Ctrl+digit by the key's place on the digit row: AZERTY types "é" there.
    QKeyEvent azerty(
        QEvent::KeyPress, Qt::Key_Eacute, Qt::ControlModifier, 11, 0, 0, QStringLiteral("é"));
    QApplication::sendEvent(&window.searchField(), &azerty);
    ASSERT_EQ(m_pasteboard.writes.size(), 1u);
    EXPECT_EQ(m_pasteboard.writes[0].at(0).second, QByteArray("first")) << "the second row";
    m_controller->show();
    press(Qt::Key_Escape);
    EXPECT_FALSE(m_controller->isVisible());
}

} // namespace
} // namespace scrivlet
