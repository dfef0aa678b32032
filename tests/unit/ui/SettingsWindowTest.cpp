// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/SettingsWindow.h"

#include "core/desktop/DesktopEntries.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeKeyboardLayout.h"
#include "fakes/FakePasteboard.h"
#include "ui/AppIconCache.h"
#include "ui/ShortcutRecorder.h"
#include "ui/ThemeApplier.h"
#include "ui/settings/ToggleSwitch.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyleOptionSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using scrivlet::Language;

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// One notch of the wheel, scrolling down, over the middle of `widget`.
void turnWheel(QWidget *widget)
{
    const QPointF centre = QRectF(widget->rect()).center();
    QWheelEvent wheel(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

// How far apart a colour, drawn over `back`, is from `back` (0 to 255).
int contrast(const QColor &color, const QColor &back)
{
    const double alpha = color.alphaF();
    const double drawn = color.lightness() * alpha + back.lightness() * (1 - alpha);
    return int(std::abs(drawn - back.lightness()));
}

class SettingsWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(dir.filePath(QStringLiteral("apps/org.gnome.Calculator.desktop")),
            "[Desktop Entry]\nType=Application\nName=Calculatrice\nExec=calc\n");
    }

    // Made on first use, so a test can store values first.
    SettingsWindow &window()
    {
        if (!m_window) {
            settings.emplace(*defaults);
            m_window = std::make_unique<SettingsWindow>(
                SettingsWindow::Services {*settings, shortcuts, grabber, layout, keys, dialogs,
                    applications, icons, grabsShortcut, knowsFrontmostApplication},
                Language::french, [this] { ++clears; },
                dir.filePath(QStringLiteral("autostart/s.desktop")));
            m_window->show();
            writes = std::make_unique<QSignalSpy>(&*settings, &AppSettings::changed);
        }
        return *m_window;
    }
    // The deferred redraw that follows a change.
    static void settle() { QCoreApplication::processEvents(); }
    // Every text the window shows now, one a line.
    QString visibleTexts()
    {
        QStringList texts;
        for (const QLabel *label : window().findChildren<QLabel *>()) {
            if (label->isVisible())
                texts << label->text();
        }
        return texts.join(QLatin1Char('\n'));
    }

    QTemporaryDir dir;
    std::unique_ptr<DefaultsStore> defaults
        = std::make_unique<DefaultsStore>(dir.filePath(QStringLiteral("config")));
    GlobalShortcuts::ShortcutStore shortcuts {*defaults};
    std::optional<AppSettings> settings;
    testing::FakeHotkeyGrabber grabber;
    testing::FakeKeyboardLayout layout;
    testing::FakeKeySender keys;
    testing::FakeDialogs dialogs;
    DesktopEntries applications {QStringList {dir.filePath(QStringLiteral("apps"))}};
    AppIconCache icons {applications};
    std::unique_ptr<QSignalSpy> writes;
    int clears = 0;
    bool grabsShortcut = true;
    bool knowsFrontmostApplication = true;

private:
    std::unique_ptr<SettingsWindow> m_window;
};

TEST_F(SettingsWindowTest, EachControlWritesItsPreferenceOnceWhenTheUserMovesIt)
{
    struct Case
    {
        const char *what;
        std::function<void(SettingsWindow &)> act;
        std::function<QJsonValue()> stored;
        QJsonValue expected;
    };
    const auto key = [this](const char *name) {
        return [this, name] { return defaults->value(QLatin1String(name)); };
    };
    const Case cases[] = {
        {"appearance",
            [](SettingsWindow &w) { QTest::keyClick(&w.appearancePicker(), Qt::Key_End); },
            key("appearance"), QStringLiteral("dark")},
        {"accent", [](SettingsWindow &w) { QTest::keyClick(&w.accentPicker(), Qt::Key_Down); },
            key("accentColorID"), QStringLiteral("tavane")},
        {"click", [](SettingsWindow &w) { QTest::keyClick(&w.clickPicker(), Qt::Key_Down); },
            key("pasteOnSingleClick"), false},
        {"history limit", [](SettingsWindow &w) { w.historyLimitStepper().stepDown(); },
            key("historyLimit"), 190},
        {"retention", [](SettingsWindow &w) { w.retentionStepper().stepUp(); },
            key("retentionDays"), 31},
        {"capture",
            [](SettingsWindow &w) { QTest::mouseClick(&w.captureSwitch(), Qt::LeftButton); },
            key("captureEnabled"), false},
    };
    SettingsWindow &w = window();
    settle();
    EXPECT_EQ(writes->count(), 0) << "showing the window writes nothing";
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        writes->clear();
        test.act(w);
        settle();
        EXPECT_EQ(writes->count(), 1);
        EXPECT_EQ(test.stored(), test.expected);
    }
    // The tray (or anyone) changing a preference moves the control, silently.
    writes->clear();
    settings->setCaptureEnabled(true);
    settle();
    EXPECT_TRUE(w.captureSwitch().isChecked());
    EXPECT_EQ(writes->count(), 1);
}

TEST_F(SettingsWindowTest, StoredValuesOutOfRangeAreShownClampedAndLeftAlone)
{
    defaults->setValue(QStringLiteral("historyLimit"), 5);
    defaults->setValue(QStringLiteral("retentionDays"), 5000);
    SettingsWindow &w = window();
    settle();
    EXPECT_EQ(w.historyLimitStepper().value(), 10);
    EXPECT_EQ(w.retentionStepper().value(), 365);
    EXPECT_EQ(writes->count(), 0);
    EXPECT_EQ(defaults->value(QStringLiteral("historyLimit")), 5);
    EXPECT_EQ(defaults->value(QStringLiteral("retentionDays")), 5000);

    w.historyLimitStepper().stepUp();
    settle();
    EXPECT_EQ(settings->historyLimit(), 20) << "written when the user steps it";
    w.historyLimitStepper().setValue(5000);
    EXPECT_EQ(w.historyLimitStepper().value(), 1000);
}

TEST_F(SettingsWindowTest, TheLanguageIsForTheNextStart)
{
    SettingsWindow &w = window();
    EXPECT_TRUE(w.languageNote().isHidden());
    QTest::keyClick(&w.languagePicker(), Qt::Key_End);
    settle();
    EXPECT_EQ(defaults->value(QStringLiteral("AppleLanguages")), QJsonArray {QStringLiteral("en")});
    EXPECT_FALSE(w.languageNote().isHidden());
    QTest::keyClick(&w.languagePicker(), Qt::Key_Home);
    settle();
    EXPECT_FALSE(defaults->contains(QStringLiteral("AppleLanguages")))
        << "the desktop's language again";
    EXPECT_FALSE(w.languageNote().isHidden()) << "the note stays";
}

TEST_F(SettingsWindowTest, ExcludedApplications)
{
    SettingsWindow &w = window();
    EXPECT_TRUE(w.excludedRows().isEmpty());

    // Chosen twice: listed once. Cancelling adds nothing.
    dialogs.chosenApplications = {
        QStringLiteral("org.gnome.Calculator"), QStringLiteral("org.gnome.Calculator"), QString()};
    for (int i = 0; i < 3; ++i)
        w.addExcludedButton().click();
    settle();
    EXPECT_EQ(settings->excludedApps(), QStringList {QStringLiteral("org.gnome.Calculator")});

    // Written twice by other means, and one not installed: shown by its id.
    settings->setExcludedApps({QStringLiteral("gone.App"), QStringLiteral("org.gnome.Calculator"),
        QStringLiteral("gone.App")});
    settle();
    const auto rows = w.excludedRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].first, "gone.App");
    EXPECT_EQ(rows[1].first, "Calculatrice");
    rows[0].second->click();
    settle();
    EXPECT_EQ(settings->excludedApps(), QStringList {QStringLiteral("org.gnome.Calculator")})
        << "every occurrence goes";
}

TEST_F(SettingsWindowTest, LaunchAtLoginShowsWhatIsTrue)
{
    const QString entry = dir.filePath(QStringLiteral("autostart/s.desktop"));
    SettingsWindow &w = window();
    EXPECT_FALSE(w.launchAtLoginSwitch().isChecked());
    QTest::mouseClick(&w.launchAtLoginSwitch(), Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(w.launchAtLoginSwitch().isChecked());
    QTest::mouseClick(&w.launchAtLoginSwitch(), Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(entry));

    // The folder cannot be made: the switch does not pretend.
    QDir(dir.filePath(QStringLiteral("autostart"))).removeRecursively();
    writeFile(dir.filePath(QStringLiteral("autostart")), "not a folder");
    QTest::mouseClick(&w.launchAtLoginSwitch(), Qt::LeftButton);
    EXPECT_FALSE(w.launchAtLoginSwitch().isChecked());
}

TEST_F(SettingsWindowTest, PermissionAndClearing)
{
    keys.trusted = false;
    SettingsWindow &w = window();
    EXPECT_EQ(w.pastePermission().text(), "Non accordée");
    keys.trusted = true;
    w.hide();
    w.present();
    EXPECT_EQ(w.pastePermission().text(), "Accordée") << "read each time it is shown";

    w.clearButton().click();
    EXPECT_EQ(clears, 1);
}

// What the desktop allows shows in the window: a key bound by the desktop
// (instructions, recorder off), one the desktop chose (shown), exclusions that
// cannot apply (said), a shortcut that could not be taken (said).
TEST_F(SettingsWindowTest, SaysWhatTheDesktopDecides)
{
    const QString instructions = QStringLiteral("« scrivlet toggle »");
    const QString noExclusions = QStringLiteral("la liste ne peut pas s'appliquer");
    const QString inactive = QStringLiteral("n'est pas actif");
    grabsShortcut = false;
    knowsFrontmostApplication = false;
    EXPECT_FALSE(window().recorder().isEnabled());
    EXPECT_TRUE(visibleTexts().contains(instructions));
    EXPECT_TRUE(visibleTexts().contains(noExclusions));
    EXPECT_FALSE(visibleTexts().contains(QStringLiteral("Le bureau l'a associé")));
    EXPECT_FALSE(visibleTexts().contains(inactive)) << "active unless told otherwise";

    window().setShortcutActive(false);
    EXPECT_TRUE(visibleTexts().contains(inactive));
    window().setShortcutActive(true);
    EXPECT_FALSE(visibleTexts().contains(inactive));
}

TEST_F(SettingsWindowTest, AGrabbedShortcutIsRecordedHereAndTheKeyTheDesktopBoundShown)
{
    EXPECT_TRUE(window().recorder().isEnabled());
    EXPECT_FALSE(visibleTexts().contains(QStringLiteral("« scrivlet toggle »")));
    EXPECT_FALSE(visibleTexts().contains(QStringLiteral("la liste ne peut pas s'appliquer")));
    EXPECT_FALSE(visibleTexts().contains(QStringLiteral("Le bureau l'a associé")));
    grabber.trigger = QStringLiteral("Ctrl+Alt+K");
    Q_EMIT grabber.triggerChanged();
    settle();
    EXPECT_TRUE(visibleTexts().contains(QStringLiteral("Le bureau l'a associé à : Ctrl+Alt+K")));
}

// Typing 150 over 200 passes through 15; applied at each keystroke, the
// delegate pruned the history down to 15 entries.
TEST_F(SettingsWindowTest, ATypedValueAppliesWhenTheFieldIsLeftOrReturnIsPressed)
{
    struct Case
    {
        const char *what;
        QSpinBox &(SettingsWindow::*stepper)() const;
        const char *key;
        const char *typed;
        Qt::Key commit;
        int expected;
    };
    const Case cases[] = {
        {"limit, Return", &SettingsWindow::historyLimitStepper, "historyLimit", "150",
            Qt::Key_Return, 150},
        {"retention, Tab", &SettingsWindow::retentionStepper, "retentionDays", "90", Qt::Key_Tab,
            90},
        {"limit below its range: nothing applies", &SettingsWindow::historyLimitStepper,
            "historyLimit", "5", Qt::Key_Return, 200},
    };
    SettingsWindow &w = window();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        settings->setHistoryLimit(200);
        settings->setRetentionDays(30);
        settle();
        writes->clear();
        QSpinBox &stepper = (w.*test.stepper)();
        stepper.setFocus();
        QTest::keyClick(&stepper, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(&stepper, QString::fromUtf8(test.typed));
        settle();
        EXPECT_EQ(writes->count(), 0) << "nothing while typing";
        QTest::keyClick(&stepper, test.commit);
        settle();
        EXPECT_EQ(defaults->value(QLatin1String(test.key)), test.expected);
        EXPECT_LE(writes->count(), 1);
    }
}

TEST_F(SettingsWindowTest, ArrowsUpDownAndTheWheelOnAFocusedStepperApplyOneStepAtOnce)
{
    struct Case
    {
        const char *what;
        std::function<void(QSpinBox &)> act;
    };
    const auto upButton = [](QSpinBox &stepper) {
        QStyleOptionSpinBox option;
        option.initFrom(&stepper);
        option.subControls = QStyle::SC_SpinBoxUp;
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled;
        return stepper.style()
            ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, &stepper)
            .center();
    };
    const Case cases[] = {
        {"Up", [](QSpinBox &stepper) { QTest::keyClick(&stepper, Qt::Key_Up); }},
        {"arrow button",
            [&](QSpinBox &stepper) {
                QTest::mouseClick(&stepper, Qt::LeftButton, {}, upButton(stepper));
            }},
        {"wheel with the focus", [](QSpinBox &stepper) { turnWheel(&stepper); }},
    };
    SettingsWindow &w = window();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QSpinBox &stepper = w.historyLimitStepper();
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        settings->setHistoryLimit(200);
        settle();
        stepper.setFocus();
        writes->clear();
        test.act(stepper);
        settle();
        EXPECT_EQ(writes->count(), 1);
        EXPECT_NE(settings->historyLimit(), 200);
        EXPECT_EQ(std::abs(settings->historyLimit() - 200), 10) << "one step";
    }
}

// Three notches over "Nombre maximum" while scrolling took 50 to 20 (and
// pruned); two over "Apparence" switched to dark.
TEST_F(SettingsWindowTest, TheWheelOverAControlWithoutFocusScrollsTheWindow)
{
    SettingsWindow &w = window();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QScrollBar *scroll = w.findChild<QScrollArea *>()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    const QList<QWidget *> controls {&w.appearancePicker(), &w.accentPicker(), &w.languagePicker(),
        &w.historyLimitStepper(), &w.retentionStepper(), &w.clickPicker()};
    const auto state = [&] {
        return QStringList {w.appearancePicker().currentText(), w.accentPicker().currentText(),
            w.languagePicker().currentText(), w.historyLimitStepper().text(),
            w.retentionStepper().text(), w.clickPicker().currentText()};
    };
    const QStringList before = state();
    for (QWidget *control : controls) {
        SCOPED_TRACE(control->metaObject()->className());
        scroll->setValue(0);
        turnWheel(control);
        settle();
        EXPECT_GT(scroll->value(), 0) << "the window scrolled";
        EXPECT_FALSE(control->hasFocus()) << "the wheel gives no focus";
    }
    EXPECT_EQ(state(), before);
    EXPECT_EQ(writes->count(), 0);
}

// Switching light and dark with the window open left the notes and the
// footer in the old look's colour, nearly invisible.
TEST_F(SettingsWindowTest, FadedTextsAndTheOffSwitchStayVisibleInBothLooks)
{
    const QPalette original = QApplication::palette();
    SettingsWindow &w = window();
    ToggleSwitch off;
    off.resize(off.sizeHint());
    const auto faded = [&w] {
        QList<QLabel *> labels;
        for (QLabel *label : w.findChildren<QLabel *>()) {
            if (label->text().startsWith(QLatin1String("Scrivlet "))
                || label->text().startsWith(QLatin1String("Le double-clic")))
                labels.append(label);
        }
        return labels;
    };
    ASSERT_EQ(faded().size(), 2);
    for (const QPalette &look :
        {ThemeApplier::lightPalette(), ThemeApplier::darkPalette(), ThemeApplier::lightPalette()}) {
        QApplication::setPalette(look);
        settle();
        const QColor back = look.color(QPalette::Window);
        SCOPED_TRACE(back.name().toStdString());
        for (const QLabel *label : faded()) {
            SCOPED_TRACE(label->text().toStdString());
            EXPECT_GE(contrast(label->palette().color(QPalette::WindowText), back), 60);
        }
        // The track beside the knob, which sits on the left when off.
        const QImage image = off.grab().toImage();
        const QColor track = image.pixelColor(image.width() * 3 / 4, image.height() / 2);
        EXPECT_GE(contrast(track, back), 40) << "the off switch";
    }
    QApplication::setPalette(original);
}

} // namespace
} // namespace scrivlet
