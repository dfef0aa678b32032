// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteFixture.h"
#include "support/WaitFor.h"
#include "ui/palette/HeldKeys.h"
#include "ui/palette/PaletteRowActions.h"
#include "ui/palette/PaletteRowDelegate.h"
#include "ui/palette/Thumbnails.h"

#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>

namespace scrivlet {
namespace {

using testing::PaletteTest;
using testing::waitFor;

TEST_F(PaletteTest, DoubleClickPastesTheRowUnderThePointer)
{
    settings.setPasteOnSingleClick(false);
    QStringList texts;
    for (int i = 1; i <= 15; ++i)
        texts.append(QStringLiteral("item %1").arg(i));
    open(texts, {520, 300});
    const QListView &list = window().list();
    // The lowest row in full view: centring it on the first press would
    // move another row under the pointer.
    int row = 0;
    while (
        viewport()->rect().contains(list.visualRect(model().index(row + 1)).adjusted(0, 0, 0, 2)))
        ++row;
    ASSERT_GT(row, 1);
    const QString expected = model().entryAt(row)->text();
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(row));
    EXPECT_EQ(list.verticalScrollBar()->value(), 0) << "a row in full view stays put";
    controller.show();
    doubleClick(viewport(), centreOf(row));
    EXPECT_EQ(pasted(), QStringList {expected});

    // A half-hidden row is brought into view, and is still the one pasted.
    controller.show();
    const QRect below = list.visualRect(model().index(row + 1));
    ASSERT_GT(below.bottom(), viewport()->rect().bottom());
    const QString half = model().entryAt(row + 1)->text();
    doubleClick(viewport(), QPoint(below.center().x(), below.top() + 3));
    EXPECT_EQ(pasted(), (QStringList {expected, half}));
}

TEST_F(PaletteTest, ASingleClickPastesOnlyIfNothingIntervenes)
{
    settings.setPasteOnSingleClick(true);
    const QStringList two {QStringLiteral("two")};
    const struct
    {
        const char *name;
        std::function<void()> intervene;
        QStringList pasted;
    } cases[] = {
        {"nothing", [] {}, two},
        {"hidden", [this] { controller.hide(); }, {}},
        {"Return pastes once", [this] { press(Qt::Key_Return); }, two},
        {"typing changes the rows", [this] { QTest::keyClick(&window().searchField(), 'o'); }, {}},
        {"double click pastes once",
            [this] {
                QTest::mousePress(viewport(), Qt::LeftButton, {}, centreOf(1));
                QTest::mouseDClick(viewport(), Qt::LeftButton, {}, centreOf(1));
                QTest::mouseRelease(viewport(), Qt::LeftButton, {}, centreOf(1));
            },
            two},
    };
    open({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        pasteboard.writes.clear();
        open();
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(1));
        c.intervene();
        EXPECT_EQ(window().isClickPending(), std::string(c.name) == "nothing");
        timers.elapse(QApplication::doubleClickInterval());
        EXPECT_EQ(pasted(), c.pasted);
    }
}

TEST_F(PaletteTest, KeysActOncePerPressExceptTheArrows)
{
    // On AZERTY the digit row types "&é"…; Ctrl+digit goes by the place.
    layout.keys = {{10, 18}, {11, 19}};
    open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
        QStringLiteral("e")});
    // As X11 sends a held key with detectable auto-repeat: presses, no
    // releases, none flagged as repeats.
    auto hold = [&](int key, Qt::KeyboardModifiers modifiers, quint32 scanCode, int presses) {
        for (int i = 0; i < presses; ++i)
            press(key, modifiers, scanCode);
        release(key, modifiers, scanCode);
    };
    ClipStore &store = history.store();
    hold(Qt::Key_Backspace, Qt::ControlModifier, 22, 3);
    EXPECT_EQ(store.recentItems(10).size(), 4u) << "one delete for one held press";
    hold(Qt::Key_Backspace, Qt::ControlModifier, 22, 1);
    EXPECT_EQ(store.recentItems(10).size(), 3u) << "pressed again, deletes again";
    hold(Qt::Key_P, Qt::ControlModifier, 33, 3);
    EXPECT_TRUE(store.recentItems(10).at(0)->isPinned()) << "pinned once, not pinned and undone";
    hold(Qt::Key_Down, Qt::NoModifier, 116, 2);
    EXPECT_EQ(model().selection(), 2) << "arrows repeat";
    hold(Qt::Key_Home, Qt::NoModifier, 110, 1);
    EXPECT_EQ(model().selection(), 0);

    window().searchField().setText(QStringLiteral("zz"));
    hold(Qt::Key_Escape, Qt::NoModifier, 9, 1);
    EXPECT_TRUE(window().searchField().text().isEmpty()) << "Escape clears the query first";
    EXPECT_TRUE(controller.isVisible());
    hold(Qt::Key_Escape, Qt::NoModifier, 9, 1);
    EXPECT_FALSE(controller.isVisible());

    // Still held from before the palette opened: a repeat pastes nothing.
    open();
    QKeyEvent held(
        QEvent::KeyPress, Qt::Key_Eacute, Qt::ControlModifier, 11, 0, 0, QStringLiteral("é"), true);
    QApplication::sendEvent(&window().searchField(), &held);
    EXPECT_TRUE(pasted().isEmpty());
    release(Qt::Key_Eacute, Qt::ControlModifier, 11);
    press(Qt::Key_Eacute, Qt::ControlModifier, 11, QStringLiteral("é"));
    EXPECT_EQ(pasted(), QStringList {model().entryAt(1)->text()}) << "the second row";
}

TEST(HeldKeys, TellsFirstPressesFromRepeats)
{
    // A press, a release, a press Qt flags as a repeat, and the palette going
    // away; each with its scan code and time.
    enum Event { press, release, flagged, gone };
    using Key = std::tuple<Event, quint32, quint64>;
    const struct
    {
        const char *name;
        std::vector<Key> keys;
        bool lastIsRepeat;
    } cases[] = {
        {"first press", {{press, 33, 100}}, false},
        {"no release between", {{press, 33, 100}, {press, 33, 130}}, true},
        {"release and press at one instant",
            {{press, 33, 100}, {release, 33, 160}, {press, 33, 160}}, true},
        {"flagged by Qt", {{flagged, 33, 100}}, true},
        {"pressed again later", {{press, 33, 100}, {release, 33, 160}, {press, 33, 400}}, false},
        {"another key", {{press, 33, 100}, {press, 22, 130}}, false},
        {"let go while the palette was away", {{press, 33, 100}, {gone, 0, 0}, {press, 33, 500}},
            false},
    };
    for (const auto &c : cases) {
        HeldKeys held;
        bool repeat = false;
        for (const auto &[event, code, time] : c.keys) {
            QKeyEvent key(event == release ? QEvent::KeyRelease : QEvent::KeyPress, Qt::Key_P,
                Qt::ControlModifier, code, 0, 0, QString(), event == flagged);
            key.setTimestamp(time);
            if (event == gone)
                held.clear();
            else if (event == release)
                held.released(key);
            else
                repeat = held.isRepeat(key);
        }
        EXPECT_EQ(repeat, c.lastIsRepeat) << c.name;
    }
}

TEST_F(PaletteTest, RowButtonsHaveNamesAndTakeTheKeyboard)
{
    open({QStringLiteral("plain"), QStringLiteral("second")});
    PaletteRowActions &actions = window().rowActions();
    ClipStore &store = history.store();
    EXPECT_FALSE(actions.isVisible());
    QTest::mouseMove(viewport(), centreOf(1));
    ASSERT_TRUE(waitFor([&] { return actions.isVisible(); }));
    EXPECT_EQ(actions.row(), 1);
    EXPECT_EQ(actions.pinButton().toolTip(), QStringLiteral("Épingler"));
    EXPECT_EQ(actions.removeButton().accessibleName(), QStringLiteral("Supprimer de l'historique"));
    EXPECT_EQ(actions.pinButton().accessibleDescription(), QStringLiteral("plain"));

    QTest::mouseClick(&actions.pinButton(), Qt::LeftButton);
    ASSERT_TRUE(store.recentItems(10).at(0)->isPinned());
    EXPECT_EQ(store.recentItems(10).at(0)->text(), QStringLiteral("plain"));
    // The pinned entry moved to the top, away from the pointer.
    QTest::mouseMove(viewport(), centreOf(0));
    ASSERT_TRUE(waitFor([&] { return actions.row() == 0; }));
    EXPECT_EQ(actions.pinButton().toolTip(), QStringLiteral("Désépingler"));
    doubleClick(&actions.removeButton());
    EXPECT_EQ(store.recentItems(10).size(), 1u) << "a double click deletes one entry";
    EXPECT_TRUE(pasted().isEmpty()) << "a button's click is not the row's";

    // From the keyboard: Tab reaches the selected row's buttons.
    history.record(ClipContent::text(QStringLiteral("third")));
    window().reset();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport(), &leave);
    QTest::keyClick(&window().searchField(), Qt::Key_Down);
    QTest::keyClick(&window().searchField(), Qt::Key_Tab);
    ASSERT_TRUE(actions.pinButton().hasFocus());
    EXPECT_EQ(actions.row(), 1);
    QTest::keyClick(&actions.pinButton(), Qt::Key_Tab);
    ASSERT_TRUE(actions.removeButton().hasFocus());
    QTest::keyClick(&actions.removeButton(), Qt::Key_Return);
    EXPECT_EQ(store.recentItems(10).size(), 1u) << "Return on the delete button deletes";
    QTest::keyClick(&actions.removeButton(), Qt::Key_Escape);
    EXPECT_TRUE(window().searchField().hasFocus());
    EXPECT_TRUE(waitFor([&] { return !actions.isVisible(); }));
}

TEST_F(PaletteTest, RowsAreAsTallAsWhatTheyDraw)
{
    const QString paragraph = QStringLiteral(
        "Un texte assez long pour passer sur plusieurs lignes dans la palette, et même plus de "
        "deux lignes, avec encore un peu de texte ici pour remplir la troisième ligne et au-delà");
    const QString longWord = QString(120, QLatin1Char('m'));
    open();
    // Lines taller than the icon, so that the text decides the height.
    QFont large = window().list().font();
    large.setPixelSize(24);
    window().list().setFont(large);
    open({paragraph, QStringLiteral("un\ndeux\ntrois\nquatre\ncinq"), longWord,
        QStringLiteral("court")});
    const QListView &list = window().list();
    auto &rows = static_cast<PaletteRowDelegate &>(*list.itemDelegate());
    for (int row = 0; row < model().rowCount(); ++row) {
        const QRect item = list.visualRect(model().index(row));
        QStyleOptionViewItem option;
        option.initFrom(viewport());
        option.font = viewport()->font();
        option.widget = &list;
        option.rect = QRect(QPoint(), item.size());
        ASSERT_EQ(rows.sizeHint(option, model().index(row)).height(), item.height());
        QImage image(item.width(), item.height() * 3, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            rows.paint(&painter, option, model().index(row));
        }
        int lowest = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)))
                    lowest = y;
            }
        }
        EXPECT_LT(lowest, item.height()) << "row " << row << " spills";
    }

    const QFontMetrics metrics(large);
    const struct
    {
        QString text;
        int lines;
        bool ellipsis;
    } cases[] = {
        {QStringLiteral("court"), 1, false},
        {longWord, 1, true},
        {QStringLiteral("avant ") + longWord + QStringLiteral(" après"), 3, true},
        {paragraph, 3, true},
        {QStringLiteral("un\ndeux"), 2, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QStringList lines = PaletteRowDelegate::previewLines(c.text, large, 200, 3);
        EXPECT_EQ(lines.size(), c.lines);
        EXPECT_EQ(lines.join(QString()).contains(QStringLiteral("…")), c.ellipsis);
        for (const QString &line : lines)
            EXPECT_LE(metrics.horizontalAdvance(line), 200) << line.toStdString();
    }
}

// Row heights are kept between layouts; a prepared palette, a narrower one
// and a pinned row (whose text has less room) still get the heights a new
// delegate gives.
TEST_F(PaletteTest, KeptRowHeightsFollowTheWidthAndThePin)
{
    const QString paragraph = QStringLiteral(
        "Un texte qui tient sur deux lignes quand la palette est large, et sur trois lignes "
        "quand elle est étroite, avec ce qu'il faut de mots pour cela");
    history.record(ClipContent::text(paragraph));
    history.record(ClipContent::text(QStringLiteral("court")));
    Thumbnails thumbnails(images);
    const auto heightsMatch = [&](const char *when) {
        SCOPED_TRACE(when);
        const QListView &list = window().list();
        PaletteRowDelegate fresh(icons, thumbnails);
        QStyleOptionViewItem option;
        option.initFrom(viewport());
        option.font = viewport()->font();
        option.widget = &list;
        for (int row = 0; row < model().rowCount(); ++row)
            EXPECT_EQ(list.visualRect(model().index(row)).height(),
                fresh.sizeHint(option, model().index(row)).height())
                << "row " << row;
        return list.visualRect(model().index(1)).height();
    };
    defaults.setValue(QStringLiteral("paletteWidth"), 900.0);
    defaults.setValue(QStringLiteral("paletteHeight"), 400.0);
    controller.prepare();
    open({}, {900, 400});
    const int wide = heightsMatch("prepared, then shown wide");
    open({}, {360, 400});
    EXPECT_GT(heightsMatch("shown narrow"), wide);
    history.store().togglePin(model().entryAt(1));
    open({}, {360, 400});
    heightsMatch("pinned");
}

// Every hint at the foot is whole at the smallest width the window takes.
TEST_F(PaletteTest, FooterFitsAtTheMinimumWidth)
{
    // In a font where the hints alone are wider than the usual minimum; the
    // window is made at its first showing.
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSizeF(usual.pointSizeF() * 1.6);
    QApplication::setFont(large);
    open({QStringLiteral("one")}, {1, 1});
    QApplication::setFont(usual);
    window().resize(1, 1);
    ASSERT_EQ(window().width(), window().minimumWidth());
    const QList<QLabel *> labels = window().footer().findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 8);
    for (const QLabel *label : labels) {
        SCOPED_TRACE(label->text().toStdString());
        const QRect shown(label->mapTo(&window().footer(), QPoint()), label->size());
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_TRUE(window().footer().rect().contains(shown));
    }
}

} // namespace
} // namespace scrivlet
