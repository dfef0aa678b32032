// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/palette/PaletteWindow.h"

#include "core/settings/AppSettings.h"
#include "core/history/ClipStore.h"
#include "core/crypto/Crypto.h"
#include "core/settings/DefaultsStore.h"
#include "core/desktop/DesktopEntries.h"
#include "core/history/ModelContainer.h"
#include "ui/AppIconCache.h"
#include "ui/palette/HeldKeys.h"
#include "ui/palette/PaletteModel.h"
#include "ui/palette/PaletteRowActions.h"
#include "ui/palette/PaletteRowDelegate.h"
#include "ui/palette/Thumbnails.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

class PaletteWindowTest : public ::testing::Test
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
        m_entries = std::make_unique<DesktopEntries>(QStringList {m_dir.path()});
        m_icons = std::make_unique<AppIconCache>(*m_entries);
        m_thumbnails = std::make_unique<Thumbnails>(*m_images);
        m_model = std::make_unique<PaletteModel>(*m_store);
        m_rows = std::make_unique<PaletteRowDelegate>(*m_icons, *m_thumbnails);
        m_window = std::make_unique<PaletteWindow>(*m_model, *m_rows, *m_settings);
        m_pastes = std::make_unique<QSignalSpy>(m_model.get(), &PaletteModel::pasteRequested);
    }
    void TearDown() override
    {
        m_window.reset();
        Crypto::setShared(std::nullopt);
    }

    // Records the texts, newest last, and shows the palette over them.
    void open(const QStringList &texts, QSize size = {520, 400})
    {
        for (const QString &text : texts)
            m_store->recordContent(ClipContent::text(text), std::nullopt);
        m_window->resize(size);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->reset();
    }
    QWidget *viewport() const { return m_window->list().viewport(); }
    QPoint centreOf(int row) const
    {
        return m_window->list().visualRect(m_model->index(row)).center();
    }
    QString pasted(qsizetype at) const
    {
        return m_pastes->at(at).at(0).value<ClipItemPtr>()->text();
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
    static QStringList numbered(int count)
    {
        QStringList texts;
        for (int i = 1; i <= count; ++i)
            texts.append(QStringLiteral("item %1").arg(i, 2, 10, QLatin1Char('0')));
        return texts;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::optional<ImageStore> m_images;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<DefaultsStore> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<DesktopEntries> m_entries;
    std::unique_ptr<AppIconCache> m_icons;
    std::unique_ptr<Thumbnails> m_thumbnails;
    std::unique_ptr<PaletteModel> m_model;
    std::unique_ptr<PaletteRowDelegate> m_rows;
    std::unique_ptr<PaletteWindow> m_window;
    std::unique_ptr<QSignalSpy> m_pastes;
};

TEST_F(PaletteWindowTest, DoubleClickPastesTheRowUnderThePointer)
{
    m_settings->setPasteOnSingleClick(false);
    open(numbered(15), {520, 300});
    // The lowest row in full view: centring it on the first press would
    // move another row under the pointer.
    int row = 0;
    while (viewport()->rect().contains(
        m_window->list().visualRect(m_model->index(row + 1)).adjusted(0, 0, 0, 2)))
        ++row;
    ASSERT_GT(row, 1);
    const QString expected = m_model->entryAt(row)->text();
    const QPoint at = centreOf(row);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(m_window->list().verticalScrollBar()->value(), 0) << "a row in full view stays put";
    m_window->reset();
    doubleClick(viewport(), at);
    ASSERT_EQ(m_pastes->size(), 1);
    EXPECT_EQ(pasted(0), expected);

    // A half-hidden row is brought into view, and is still the one pasted.
    m_pastes->clear();
    m_window->reset();
    const QRect below = m_window->list().visualRect(m_model->index(row + 1));
    ASSERT_GT(below.bottom(), viewport()->rect().bottom());
    const QPoint edge(below.center().x(), below.top() + 3);
    const QString half = m_model->entryAt(row + 1)->text();
    doubleClick(viewport(), edge);
    EXPECT_TRUE(viewport()->rect().contains(m_window->list().visualRect(m_model->index(row + 1))));
    ASSERT_EQ(m_pastes->size(), 1);
    EXPECT_EQ(pasted(0), half);
}

TEST_F(PaletteWindowTest, SingleClickPastesOnlyIfNothingIntervenes)
{
    m_settings->setPasteOnSingleClick(true);
    open({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(1));
    EXPECT_TRUE(m_window->isClickPending());
    QTRY_COMPARE(m_pastes->size(), 1);
    EXPECT_EQ(pasted(0), QStringLiteral("two"));

    struct
    {
        const char *name;
        std::function<void()> intervene;
        int pastes;
    } const cases[] = {
        {"hidden", [this] { m_window->hide(); }, 0},
        {"Return pastes once",
            [this] { QTest::keyClick(&m_window->searchField(), Qt::Key_Return); }, 1},
        {"typing changes the rows", [this] { QTest::keyClick(&m_window->searchField(), 'o'); }, 0},
        {"double click pastes once",
            [this] {
                QTest::mousePress(viewport(), Qt::LeftButton, {}, centreOf(1));
                QTest::mouseDClick(viewport(), Qt::LeftButton, {}, centreOf(1));
                QTest::mouseRelease(viewport(), Qt::LeftButton, {}, centreOf(1));
            },
            1},
    };
    for (const auto &c : cases) {
        m_window->show();
        m_window->reset();
        m_pastes->clear();
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(1));
        c.intervene();
        EXPECT_FALSE(m_window->isClickPending()) << c.name;
        // A later click's paste comes after any the first click still had
        // pending.
        m_window->show();
        const QString sentinel = m_model->entryAt(0)->text();
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(0));
        QTRY_VERIFY(!m_pastes->isEmpty() && pasted(m_pastes->size() - 1) == sentinel);
        EXPECT_EQ(m_pastes->size() - 1, c.pastes) << c.name;
    }
}

TEST_F(PaletteWindowTest, HeldKeysActOnceExceptTheArrows)
{
    open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
        QStringLiteral("e")});
    QLineEdit &field = m_window->searchField();
    // As X11 sends a held key with detectable auto-repeat: presses, no
    // releases, none flagged as repeats.
    auto hold = [&](int key, Qt::KeyboardModifiers modifiers, quint32 scanCode, int presses) {
        for (int i = 0; i < presses; ++i) {
            QKeyEvent press(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
            QApplication::sendEvent(&field, &press);
        }
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(&field, &release);
    };
    hold(Qt::Key_Backspace, Qt::ControlModifier, 22, 3);
    EXPECT_EQ(m_store->recentItems(10).size(), 4u) << "one delete for one held press";
    hold(Qt::Key_Backspace, Qt::ControlModifier, 22, 1);
    EXPECT_EQ(m_store->recentItems(10).size(), 3u) << "pressed again, deletes again";
    hold(Qt::Key_P, Qt::ControlModifier, 33, 3);
    EXPECT_TRUE(m_store->recentItems(10).at(0)->isPinned()) << "pinned once, not pinned and undone";
    hold(Qt::Key_Down, Qt::NoModifier, 116, 2);
    EXPECT_EQ(m_model->selection(), 2) << "arrows repeat";
    hold(Qt::Key_Escape, Qt::NoModifier, 9, 1);
    hold(Qt::Key_2, Qt::ControlModifier, 11, 3);
    EXPECT_EQ(m_pastes->size(), 1) << "Ctrl+digit pastes once";
}

TEST(HeldKeys, TellsFirstPressesFromRepeats)
{
    struct Key
    {
        QEvent::Type type;
        quint32 code;
        quint64 time;
        bool autoRepeat = false;
    };
    constexpr QEvent::Type press = QEvent::KeyPress;
    constexpr QEvent::Type release = QEvent::KeyRelease;
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
        {"flagged by Qt", {{press, 33, 100, true}}, true},
        {"pressed again later", {{press, 33, 100}, {release, 33, 160}, {press, 33, 400}}, false},
        {"another key", {{press, 33, 100}, {press, 22, 130}}, false},
    };
    auto send = [](HeldKeys &held, const Key &key) {
        QKeyEvent event(
            key.type, Qt::Key_P, Qt::ControlModifier, key.code, 0, 0, QString(), key.autoRepeat);
        event.setTimestamp(key.time);
        if (key.type == QEvent::KeyPress)
            return held.isRepeat(event);
        held.released(event);
        return false;
    };
    for (const auto &c : cases) {
        HeldKeys held;
        bool repeat = false;
        for (const Key &key : c.keys)
            repeat = send(held, key);
        EXPECT_EQ(repeat, c.lastIsRepeat) << c.name;
    }
    HeldKeys held;
    send(held, {press, 33, 100});
    held.clear();
    EXPECT_FALSE(send(held, {press, 33, 500})) << "a key let go while the palette was away";
}

TEST_F(PaletteWindowTest, RowButtonsHaveNamesAndTakeTheKeyboard)
{
    open({QStringLiteral("plain"), QStringLiteral("second")});
    PaletteRowActions &actions = m_window->rowActions();
    EXPECT_FALSE(actions.isVisible());
    QTest::mouseMove(viewport(), centreOf(1));
    QTRY_VERIFY(actions.isVisible());
    EXPECT_EQ(actions.row(), 1);
    EXPECT_EQ(actions.pinButton().toolTip(), QStringLiteral("Épingler"));
    EXPECT_EQ(actions.removeButton().toolTip(), QStringLiteral("Supprimer de l'historique"));
    EXPECT_EQ(actions.removeButton().accessibleName(), QStringLiteral("Supprimer de l'historique"));
    EXPECT_EQ(actions.pinButton().accessibleDescription(), QStringLiteral("plain"));

    QTest::mouseClick(&actions.pinButton(), Qt::LeftButton);
    ASSERT_TRUE(m_store->recentItems(10).at(0)->isPinned());
    EXPECT_EQ(m_store->recentItems(10).at(0)->text(), QStringLiteral("plain"));
    // The pinned entry moved to the top, away from the pointer.
    QTest::mouseMove(viewport(), centreOf(0));
    QTRY_COMPARE(actions.row(), 0);
    EXPECT_EQ(actions.pinButton().toolTip(), QStringLiteral("Désépingler"));
    doubleClick(&actions.removeButton());
    EXPECT_EQ(m_store->recentItems(10).size(), 1u) << "a double click deletes one entry";
    EXPECT_TRUE(m_pastes->isEmpty()) << "a button's click is not the row's";

    // From the keyboard: Tab reaches the selected row's buttons.
    m_store->recordContent(ClipContent::text(QStringLiteral("third")), std::nullopt);
    m_window->reset();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport(), &leave);
    QTest::keyClick(&m_window->searchField(), Qt::Key_Down);
    QTest::keyClick(&m_window->searchField(), Qt::Key_Tab);
    ASSERT_TRUE(actions.pinButton().hasFocus());
    EXPECT_EQ(actions.row(), 1);
    QTest::keyClick(&actions.pinButton(), Qt::Key_Tab);
    ASSERT_TRUE(actions.removeButton().hasFocus());
    QTest::keyClick(&actions.removeButton(), Qt::Key_Return);
    EXPECT_EQ(m_store->recentItems(10).size(), 1u) << "Return on the delete button deletes";
    QTest::keyClick(&actions.removeButton(), Qt::Key_Escape);
    EXPECT_TRUE(m_window->searchField().hasFocus());
    QTRY_VERIFY(!actions.isVisible());
}

TEST_F(PaletteWindowTest, RowsAreAsTallAsWhatTheyDraw)
{
    const QString paragraph = QStringLiteral(
        "Un texte assez long pour passer sur plusieurs lignes dans la palette, et même plus de "
        "deux lignes, avec encore un peu de texte ici pour remplir la troisième ligne et au-delà");
    const QString longWord = QString(120, QLatin1Char('m'));
    // Lines taller than the icon, so that the text decides the height.
    QFont large = m_window->list().font();
    large.setPixelSize(24);
    m_window->list().setFont(large);
    open({paragraph, QStringLiteral("un\ndeux\ntrois\nquatre\ncinq"), longWord,
        QStringLiteral("court")});
    const QListView &list = m_window->list();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QRect item = list.visualRect(m_model->index(row));
        QStyleOptionViewItem option;
        option.initFrom(viewport());
        option.font = viewport()->font();
        option.widget = &list;
        option.rect = QRect(QPoint(), item.size());
        ASSERT_EQ(m_rows->sizeHint(option, m_model->index(row)).height(), item.height());
        QImage image(item.width(), item.height() * 3, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            m_rows->paint(&painter, option, m_model->index(row));
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

    const QFont font = list.font();
    const QFontMetrics metrics(font);
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
        const QStringList lines = PaletteRowDelegate::previewLines(c.text, font, 200, 3);
        EXPECT_EQ(lines.size(), c.lines) << c.text.toStdString();
        EXPECT_EQ(lines.join(QString()).contains(QStringLiteral("…")), c.ellipsis)
            << c.text.toStdString();
        for (const QString &line : lines)
            EXPECT_LE(metrics.horizontalAdvance(line), 200) << line.toStdString();
    }
}

// Every hint at the foot is whole at the smallest width the window takes.
TEST_F(PaletteWindowTest, FooterFitsAtTheMinimumWidth)
{
    // In a font where the hints alone are wider than the usual minimum.
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSizeF(usual.pointSizeF() * 1.6);
    QApplication::setFont(large);
    m_window = std::make_unique<PaletteWindow>(*m_model, *m_rows, *m_settings);
    QApplication::setFont(usual);
    open({QStringLiteral("one")}, {1, 1});
    ASSERT_EQ(m_window->width(), m_window->minimumWidth());
    const QList<QLabel *> labels = m_window->footer().findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 8);
    for (const QLabel *label : labels) {
        const QRect shown(label->mapTo(&m_window->footer(), QPoint()), label->size());
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_TRUE(m_window->footer().rect().contains(shown)) << label->text().toStdString();
    }
}

} // namespace
} // namespace scrivlet
