// SPDX-License-Identifier: GPL-3.0-or-later
// The tray icon against a real XEmbed tray (trayer) in the test display, and
// its menu's actions where there is no tray at all.
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "support/WaitFor.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>
#include <xcb/xcb.h>

namespace scrivlet {
namespace {

using testing::waitFor;

xcb_connection_t *connection()
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The class half of WM_CLASS.
QByteArray windowClass(xcb_window_t window)
{
    xcb_connection_t *c = connection();
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr);
    if (!reply)
        return {};
    const QByteArray value(static_cast<const char *>(xcb_get_property_value(reply)),
        xcb_get_property_value_length(reply));
    std::free(reply);
    const QList<QByteArray> parts = value.split('\0');
    return parts.size() > 1 ? parts[1] : QByteArray();
}

// The classes of the windows that hold `window`, innermost first: the panel's
// once docked (the window manager may frame the panel in turn).
QByteArrayList ancestorClasses(xcb_window_t window)
{
    xcb_connection_t *c = connection();
    QByteArrayList classes;
    for (;;) {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!tree)
            return classes;
        const bool underRoot = tree->parent == tree->root;
        window = tree->parent;
        std::free(tree);
        if (underRoot)
            return classes;
        classes.append(windowClass(window));
    }
}

// Qt's XEmbed tray icon is a private top-level widget of this class.
QWidget *trayIconWidget()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    const auto found = std::find_if(widgets.begin(), widgets.end(), [](QWidget *widget) {
        return std::strcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0;
    });
    return found == widgets.end() ? nullptr : *found;
}

// Why an icon does not count as docked, for failure messages.
std::string dockingState()
{
    QWidget *icon = trayIconWidget();
    if (!icon)
        return "no icon window";
    if (!icon->isVisible() || !icon->internalWinId())
        return "icon window hidden";
    return "icon window inside windows of classes ["
        + ancestorClasses(xcb_window_t(icon->internalWinId())).join(',').toStdString() + ']';
}

bool dockedInTrayer()
{
    QWidget *icon = trayIconWidget();
    return icon && icon->isVisible() && icon->internalWinId()
        && ancestorClasses(xcb_window_t(icon->internalWinId())).contains("trayer");
}

// Whether a picture has a fair number of pixels of the given colour.
bool shows(const QImage &picture, QColor colour)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int matching = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > 200 && std::abs(pixel.red() - colour.red()) < 24
                && std::abs(pixel.green() - colour.green()) < 24
                && std::abs(pixel.blue() - colour.blue()) < 24)
                ++matching;
        }
    }
    return matching * 20 >= image.width() * image.height();
}

// What the panel shows: the icon Qt paints into the docked window.
bool trayShows(QColor colour)
{
    QWidget *icon = trayIconWidget();
    return icon && shows(icon->grab().toImage(), colour);
}

// The two icons' main colours: the capture icon's orange board, the paused
// icon's grey bars.
const QColor kCaptureColour(0xcc, 0x73, 0x33);
const QColor kPausedColour(0x8a, 0x8a, 0x8e);

class TrayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_NE(connection(), nullptr) << "needs the xcb platform";
        m_defaults.emplace(m_dir.path());
        m_settings.emplace(*m_defaults);
    }

    void TearDown() override
    {
        m_trayer.kill();
        m_trayer.waitForFinished();
    }

    void startTrayer()
    {
        m_trayer.start(QStringLiteral("trayer"),
            {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--SetDockType"),
                QStringLiteral("true")});
        ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "trayer never took the tray: " << m_trayer.readAllStandardError().toStdString();
    }

    // The state everything shows once the event loop has turned.
    void expectCapture(TrayIcon &tray, bool on)
    {
        EXPECT_EQ(m_settings->captureEnabled(), on);
        EXPECT_TRUE(waitFor([&] {
            return tray.captureAction().isChecked() == on && tray.isCaptureIconShown() == on;
        })) << "check mark "
            << tray.captureAction().isChecked() << ", capture icon " << tray.isCaptureIconShown();
        const QIcon expected = on ? TrayIcon::captureIcon() : TrayIcon::pausedIcon();
        EXPECT_EQ(tray.currentIcon().pixmap(32).toImage(), expected.pixmap(32).toImage());
    }

    QTemporaryDir m_dir;
    std::optional<DefaultsStore> m_defaults;
    std::optional<AppSettings> m_settings;
    QProcess m_trayer;
};

TEST_F(TrayTest, TheIconDocksAndFollowsCaptureWhereverItIsSwitched)
{
    startTrayer();
    TrayIcon tray(*m_settings);
    ASSERT_TRUE(waitFor(dockedInTrayer)) << "the icon never reached the tray: " << dockingState();
    expectCapture(tray, true);

    const auto docked = [](QColor colour) { return waitFor([&] { return trayShows(colour); }); };
    EXPECT_TRUE(docked(kCaptureColour));

    const struct
    {
        const char *how;
        std::function<void()> toggle;
        bool on;
    } steps[] = {
        {"from the menu", [&] { tray.captureAction().trigger(); }, false},
        {"from the menu", [&] { tray.captureAction().trigger(); }, true},
        {"elsewhere", [&] { m_settings->setCaptureEnabled(false); }, false},
        {"elsewhere, unchanged", [&] { m_settings->setCaptureEnabled(false); }, false},
        {"elsewhere", [&] { m_settings->setCaptureEnabled(true); }, true},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(std::string(step.how) + (step.on ? ", on" : ", off"));
        step.toggle();
        expectCapture(tray, step.on);
        EXPECT_TRUE(docked(step.on ? kCaptureColour : kPausedColour));
        EXPECT_FALSE(trayShows(step.on ? kPausedColour : kCaptureColour));
    }

    tray.captureAction().trigger();
    DefaultsStore reread(m_dir.path());
    EXPECT_FALSE(AppSettings(reread).captureEnabled()) << "the switch is remembered";
}

TEST_F(TrayTest, WithoutATrayTheMenuActionsStillWork)
{
    ASSERT_TRUE(waitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "a tray is running in this display";
    m_settings->setCaptureEnabled(false);
    TrayIcon tray(*m_settings);
    ASSERT_TRUE(tray.captureAction().isCheckable());
    expectCapture(tray, false);
    tray.captureAction().trigger();
    expectCapture(tray, true);

    int cleared = 0;
    int updates = 0;
    int quits = 0;
    QObject::connect(&tray, &TrayIcon::clearRequested, [&] { ++cleared; });
    QObject::connect(&tray, &TrayIcon::updatesRequested, [&] { ++updates; });
    QObject::connect(&tray, &TrayIcon::quitRequested, [&] { ++quits; });
    const struct
    {
        const char *name;
        QAction &action;
        int cleared, updates, quits;
    } actions[] = {
        {"clear", tray.clearAction(), 1, 0, 0},
        {"updates", tray.updatesAction(), 1, 1, 0},
        {"quit", tray.quitAction(), 1, 1, 1},
    };
    for (const auto &a : actions) {
        SCOPED_TRACE(a.name);
        EXPECT_TRUE(tray.menu().actions().contains(&a.action)) << "reachable from the menu";
        EXPECT_TRUE(a.action.isEnabled());
        a.action.trigger();
        EXPECT_EQ(std::tuple(cleared, updates, quits), std::tuple(a.cleared, a.updates, a.quits));
    }
    EXPECT_TRUE(tray.menu().actions().contains(&tray.captureAction()));
    EXPECT_TRUE(m_settings->captureEnabled()) << "no other action touches capture";
}

TEST_F(TrayTest, AnIconMadeBeforeTheTrayStartsDocksOnceItDoes)
{
    ASSERT_TRUE(waitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "a tray is running in this display";
    TrayIcon tray(*m_settings);
    startTrayer();
    EXPECT_TRUE(waitFor(dockedInTrayer))
        << "the panel started after Scrivlet never got the icon: " << dockingState();
}

} // namespace
} // namespace scrivlet
