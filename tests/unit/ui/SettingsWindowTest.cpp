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
    return int(std::abs((color.lightness() - back.lightness()) * alpha));
}

// The deferred redraw that follows a change.
void settle()
{
    QCoreApplication::processEvents();
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
            settings.emplace(defaults);
            m_window = std::make_unique<SettingsWindow>(
                SettingsWindow::Services {*settings, shortcuts, grabber, layout, keys, dialogs,
                    applications, icons, grabsShortcut, knowsFrontmostApplication},
                Language::french, [this] { ++clears; }, autostartEntry);
            m_window->show();
            writes = std::make_unique<QSignalSpy>(&*settings, &AppSettings::changed);
        }
        return *m_window;
    }
    SettingsWindow &activeWindow()
    {
        window().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        return *m_window;
    }
    // Whether a label the window shows now holds `text`.
    bool shows(const QString &text)
    {
        for (const QLabel *label : window().findChildren<QLabel *>()) {
            if (label->isVisible() && label->text().contains(text))
                return true;
        }
        return false;
    }

    QTemporaryDir dir;
    const QString autostartEntry = dir.filePath(QStringLiteral("autostart/s.desktop"));
    DefaultsStore defaults {dir.filePath(QStringLiteral("config"))};
    GlobalShortcuts::ShortcutStore shortcuts {defaults};
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
    std::unique_ptr<SettingsWindow> m_window;
};

// Typing 150 over 200 passes through 15; applied at each keystroke, the
// delegate pruned the history down to 15 entries.
TEST_F(SettingsWindowTest, EachControlWritesItsPreferenceOnceWhenTheUserIsDone)
{
    SettingsWindow &w = activeWindow();
    settle();
    EXPECT_EQ(writes->count(), 0) << "showing the window writes nothing";
    EXPECT_TRUE(w.languageNote().isHidden());
    QSpinBox &limit = w.historyLimitStepper();
    QSpinBox &retention = w.retentionStepper();
    const auto key = [](QWidget &widget, Qt::Key key) {
        return [&widget, key] {
            widget.setFocus();
            QTest::keyClick(&widget, key);
        };
    };
    const auto type = [](QSpinBox &stepper, const char *text) {
        return [&stepper, text] {
            stepper.setFocus();
            QTest::keyClick(&stepper, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(&stepper, QString::fromUtf8(text));
        };
    };
    const auto upButton = [&limit] {
        QStyleOptionSpinBox option;
        option.initFrom(&limit);
        option.subControls = QStyle::SC_SpinBoxUp;
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled;
        return limit.style()
            ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, &limit)
            .center();
    };
    const struct
    {
        const char *what;
        std::function<void()> act;
        const char *key;
        QJsonValue stored;
        int writes;
    } steps[] = {
        {"appearance", key(w.appearancePicker(), Qt::Key_End), "appearance", "dark", 1},
        {"accent", key(w.accentPicker(), Qt::Key_Down), "accentColorID", "tavane", 1},
        {"click", key(w.clickPicker(), Qt::Key_Down), "pasteOnSingleClick", false, 1},
        {"capture", [&] { QTest::mouseClick(&w.captureSwitch(), Qt::LeftButton); },
            "captureEnabled", false, 1},
        {"a language", key(w.languagePicker(), Qt::Key_End), "AppleLanguages",
            QJsonArray {QStringLiteral("en")}, 1},
        {"the desktop's language", key(w.languagePicker(), Qt::Key_Home), "AppleLanguages",
            QJsonValue::Undefined, 1},
        {"limit stepped", [&] { limit.stepDown(); }, "historyLimit", 190, 1},
        {"limit, Up", key(limit, Qt::Key_Up), "historyLimit", 200, 1},
        {"limit, its arrow button",
            [&] {
                limit.setFocus();
                QTest::mouseClick(&limit, Qt::LeftButton, {}, upButton());
            },
            "historyLimit", 210, 1},
        {"limit, the wheel with the focus",
            [&] {
                limit.setFocus();
                turnWheel(&limit);
            },
            "historyLimit", 200, 1},
        {"retention stepped", [&] { retention.stepUp(); }, "retentionDays", 31, 1},
        {"limit typed", type(limit, "150"), "historyLimit", 200, 0},
        {"limit, Return", key(limit, Qt::Key_Return), "historyLimit", 150, 1},
        {"retention typed", type(retention, "90"), "retentionDays", 31, 0},
        {"retention, Tab", key(retention, Qt::Key_Tab), "retentionDays", 90, 1},
        {"limit below its range, Return",
            [&] {
                type(limit, "5")();
                QTest::keyClick(&limit, Qt::Key_Return);
            },
            "historyLimit", 150, 0},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        writes->clear();
        step.act();
        settle();
        EXPECT_EQ(writes->count(), step.writes);
        EXPECT_EQ(defaults.value(QLatin1String(step.key)), step.stored);
    }
    EXPECT_FALSE(w.languageNote().isHidden()) << "the language is for the next start";
    // The tray (or anyone) changing a preference moves the control, silently.
    writes->clear();
    settings->setCaptureEnabled(true);
    settle();
    EXPECT_TRUE(w.captureSwitch().isChecked());
    EXPECT_EQ(writes->count(), 1);
}

TEST_F(SettingsWindowTest, StoredValuesOutOfRangeAreShownClampedAndLeftAlone)
{
    defaults.setValue(QStringLiteral("historyLimit"), 5);
    defaults.setValue(QStringLiteral("retentionDays"), 5000);
    SettingsWindow &w = window();
    settle();
    EXPECT_EQ(w.historyLimitStepper().value(), 10);
    EXPECT_EQ(w.retentionStepper().value(), 365);
    EXPECT_EQ(writes->count(), 0);
    EXPECT_EQ(defaults.value(QStringLiteral("historyLimit")), 5);
    EXPECT_EQ(defaults.value(QStringLiteral("retentionDays")), 5000);
    w.historyLimitStepper().stepUp();
    settle();
    EXPECT_EQ(settings->historyLimit(), 20) << "written when the user steps it";
    w.historyLimitStepper().setValue(5000);
    EXPECT_EQ(w.historyLimitStepper().value(), 1000);
}

// Three notches over "Nombre maximum" while scrolling took 50 to 20 (and
// pruned); two over "Apparence" switched to dark.
TEST_F(SettingsWindowTest, TheWheelOverAControlWithoutFocusScrollsTheWindow)
{
    SettingsWindow &w = activeWindow();
    QScrollBar *scroll = w.findChild<QScrollArea *>()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    const QList<QWidget *> controls {&w.appearancePicker(), &w.accentPicker(), &w.languagePicker(),
        &w.historyLimitStepper(), &w.retentionStepper(), &w.clickPicker()};
    const auto state = [&] {
        QStringList shown;
        for (const QWidget *control : controls)
            shown << control
                         ->property(
                             qobject_cast<const QComboBox *>(control) ? "currentText" : "text")
                         .toString();
        return shown;
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

TEST_F(SettingsWindowTest, LaunchAtLoginPermissionAndClearingShowWhatIsTrue)
{
    keys.trusted = false;
    SettingsWindow &w = window();
    ToggleSwitch &launch = w.launchAtLoginSwitch();
    EXPECT_FALSE(launch.isChecked());
    QTest::mouseClick(&launch, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(autostartEntry));
    EXPECT_TRUE(launch.isChecked());
    QTest::mouseClick(&launch, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(autostartEntry));
    // The folder cannot be made: the switch does not pretend.
    QDir(dir.filePath(QStringLiteral("autostart"))).removeRecursively();
    writeFile(dir.filePath(QStringLiteral("autostart")), "not a folder");
    QTest::mouseClick(&launch, Qt::LeftButton);
    EXPECT_FALSE(launch.isChecked());

    EXPECT_EQ(w.pastePermission().text(), "Non accordée");
    keys.trusted = true;
    w.hide();
    w.present();
    EXPECT_EQ(w.pastePermission().text(), "Accordée") << "read each time it is shown";
    w.clearButton().click();
    EXPECT_EQ(clears, 1);
}

// A key bound by the desktop (instructions, recorder off), exclusions that
// cannot apply (said), the key the desktop chose and a shortcut that could
// not be taken (said).
TEST_F(SettingsWindowTest, SaysWhatTheDesktopDecides)
{
    const QString inactive = QStringLiteral("n'est pas actif");
    for (const bool grabs : {true, false}) {
        SCOPED_TRACE(grabs ? "grabbed here" : "bound by the desktop");
        grabsShortcut = knowsFrontmostApplication = grabs;
        grabber.trigger.clear();
        m_window.reset();
        EXPECT_EQ(window().recorder().isEnabled(), grabs);
        EXPECT_EQ(shows(QStringLiteral("« scrivlet toggle »")), !grabs);
        EXPECT_EQ(shows(QStringLiteral("la liste ne peut pas s'appliquer")), !grabs);
        EXPECT_FALSE(shows(QStringLiteral("Le bureau l'a associé")));
        EXPECT_FALSE(shows(inactive)) << "active unless told otherwise";
        if (grabs) {
            grabber.trigger = QStringLiteral("Ctrl+Alt+K");
            Q_EMIT grabber.triggerChanged();
            settle();
            EXPECT_TRUE(shows(QStringLiteral("Le bureau l'a associé à : Ctrl+Alt+K")));
        }
    }
    window().setShortcutActive(false);
    EXPECT_TRUE(shows(inactive));
    window().setShortcutActive(true);
    EXPECT_FALSE(shows(inactive));
}

// Switching light and dark with the window open left the notes and the
// footer in the old look's colour, nearly invisible.
TEST_F(SettingsWindowTest, FadedTextsAndTheOffSwitchStayVisibleInBothLooks)
{
    const QPalette original = QApplication::palette();
    // Found anew in each look, in case a look makes them anew.
    const auto faded = [this] {
        QList<QLabel *> labels;
        for (QLabel *label : window().findChildren<QLabel *>()) {
            if (label->text().startsWith(QLatin1String("Scrivlet "))
                || label->text().startsWith(QLatin1String("Le double-clic")))
                labels.append(label);
        }
        return labels;
    };
    ASSERT_EQ(faded().size(), 2);
    ToggleSwitch off;
    off.resize(off.sizeHint());
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
