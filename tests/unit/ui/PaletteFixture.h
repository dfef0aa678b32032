// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/desktop/DesktopEntries.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "fakes/FakeKeyboardLayout.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeScheduler.h"
#include "support/TestHistory.h"
#include "ui/AppIconCache.h"
#include "ui/palette/PaletteController.h"
#include "ui/palette/PaletteModel.h"
#include "ui/palette/PaletteWindow.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <gtest/gtest.h>

namespace scrivlet::testing {

// The palette over a test history and fakes of the desktop, on a scheduler
// whose time the test moves.
class PaletteTest : public ::testing::Test
{
protected:
    // Records the texts, newest last, and opens the palette over them.
    void open(const QStringList &texts = {}, QSize size = {520, 400})
    {
        for (const QString &text : texts)
            history.record(ClipContent::text(text));
        defaults.setValue(QStringLiteral("paletteWidth"), double(size.width()));
        defaults.setValue(QStringLiteral("paletteHeight"), double(size.height()));
        controller.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    }
    PaletteWindow &window() const { return *controller.window(); }
    PaletteModel &model() const { return *static_cast<PaletteModel *>(window().list().model()); }
    QWidget *viewport() const { return window().list().viewport(); }
    QPoint centreOf(int row) const
    {
        return window().list().visualRect(model().index(row)).center();
    }
    // A key pressed (or released) in the search field, as X11 sends it.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, quint32 scanCode = 0,
        const QString &text = {}, QEvent::Type type = QEvent::KeyPress)
    {
        QKeyEvent event(type, key, modifiers, scanCode, 0, 0, text);
        QApplication::sendEvent(&window().searchField(), &event);
    }
    void release(int key, Qt::KeyboardModifiers modifiers, quint32 scanCode)
    {
        press(key, modifiers, scanCode, {}, QEvent::KeyRelease);
    }
    // The text of every entry pasted so far, in order.
    QStringList pasted() const
    {
        QStringList texts;
        for (const auto &written : pasteboard.writes)
            texts.append(QString::fromUtf8(written.back().second));
        return texts;
    }
    // As Qt 6 delivers a double click: a click, then a press, the double
    // click and a release.
    static void doubleClick(QWidget *widget, const QPoint &at = {})
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    }

    TestHistory history;
    ImageStore images = history.images();
    DefaultsStore defaults {history.folder() + QStringLiteral("/config")};
    AppSettings settings {defaults};
    DesktopEntries entries {QStringList {history.folder() + QStringLiteral("/applications")}};
    AppIconCache icons {entries};
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySender keys;
    FakeKeyboardLayout layout;
    FakeScheduler timers;
    PaletteController controller {{history.store(), images, settings, defaults, pasteboard,
        workspace, keys, entries, icons, true, &layout, timers}};
};

} // namespace scrivlet::testing
