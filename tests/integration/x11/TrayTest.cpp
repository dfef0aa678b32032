// SPDX-License-Identifier: GPL-3.0-or-later
// The tray icon against a real XEmbed tray (trayer, or stalonetray where
// Debian no longer has trayer) in the test display, and
// its menu's actions where there is no tray at all.
#include "X11Clients.h"
#include "core/UniqueHandle.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace scrivlet {
namespace {

using testing::waitFor;

// Qt's XEmbed tray icon is a private top-level widget of this class.
QWidget *trayIconWidget()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    const auto found = std::find_if(widgets.begin(), widgets.end(), [](QWidget *widget) {
        return std::strcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0;
    });
    return found == widgets.end() ? nullptr : *found;
}

// The classes of the windows that hold the icon, innermost first: the
// panel's once docked, then the window manager's frame around the panel. For
// failures, why it is nowhere.
QByteArrayList iconHolders()
{
    QWidget *icon = trayIconWidget();
    if (!icon || !icon->isVisible() || !icon->internalWinId())
        return {"no icon window shown"};
    xcb_connection_t *c = testing::x11Connection();
    QByteArrayList classes;
    for (auto window = xcb_window_t(icon->internalWinId());;) {
        const MallocPtr<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree || tree->parent == tree->root)
            return classes;
        window = tree->parent;
        const MallocPtr<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(c,
            xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
        // Instance, then class.
        classes.append(wmClass
                ? QByteArray(static_cast<const char *>(xcb_get_property_value(wmClass.get())),
                    xcb_get_property_value_length(wmClass.get()))
                      .split('\0')
                      .value(1)
                : QByteArray());
    }
}

const bool kHaveTrayer = !QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty();

bool dockedInTray()
{
    return iconHolders().contains(kHaveTrayer ? "trayer" : "stalonetray");
}

// Whether the icon Qt paints into the docked window has a fair number of
// pixels of the given colour.
bool trayShows(QColor colour)
{
    QWidget *icon = trayIconWidget();
    const QImage image
        = icon ? icon->grab().toImage().convertToFormat(QImage::Format_ARGB32) : QImage();
    int matching = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            matching += pixel.alpha() > 200 && std::abs(pixel.red() - colour.red()) < 24
                && std::abs(pixel.green() - colour.green()) < 24
                && std::abs(pixel.blue() - colour.blue()) < 24;
        }
    }
    return icon && matching * 20 >= image.width() * image.height();
}

// The two icons' main colours: the capture icon's orange board, the paused
// icon's grey bars.
const QColor kCaptureColour(0xcc, 0x73, 0x33);
const QColor kPausedColour(0x8a, 0x8a, 0x8e);

class TrayTest : public ::testing::Test
{
protected:
    void startTray()
    {
        if (kHaveTrayer)
            m_tray.emplace("trayer",
                QStringList {"--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "32", "--SetDockType", "true"});
        else
            m_tray.emplace(
                "stalonetray", QStringList {"--geometry", "4x1+0+0", "--icon-size", "32"});
        ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "the tray never took the tray selection: " << m_tray->errors();
    }

    // The state everything shows once the event loop has turned.
    void expectCapture(TrayIcon &tray, bool on)
    {
        EXPECT_EQ(m_settings.captureEnabled(), on);
        EXPECT_TRUE(waitFor([&] {
            return tray.captureAction().isChecked() == on && tray.isCaptureIconShown() == on;
        })) << "check mark "
            << tray.captureAction().isChecked() << ", capture icon " << tray.isCaptureIconShown();
        const QIcon expected = on ? TrayIcon::captureIcon() : TrayIcon::pausedIcon();
        EXPECT_EQ(tray.currentIcon().pixmap(32).toImage(), expected.pixmap(32).toImage());
    }

    QTemporaryDir m_dir;
    DefaultsStore m_defaults {m_dir.path()};
    AppSettings m_settings {m_defaults};
    std::optional<testing::Probe> m_tray;
};

TEST_F(TrayTest, TheIconDocksAndFollowsCaptureWhereverItIsSwitched)
{
    startTray();
    TrayIcon tray(m_settings);
    ASSERT_TRUE(waitFor(dockedInTray))
        << "the icon never reached the tray: " << iconHolders().join(',').toStdString();
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
        {"elsewhere", [&] { m_settings.setCaptureEnabled(false); }, false},
        {"elsewhere, unchanged", [&] { m_settings.setCaptureEnabled(false); }, false},
        {"elsewhere", [&] { m_settings.setCaptureEnabled(true); }, true},
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

TEST_F(TrayTest, WithoutATrayTheMenuWorksAndTheIconDocksOnceOneStarts)
{
    ASSERT_TRUE(waitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "a tray is running in this display";
    m_settings.setCaptureEnabled(false);
    TrayIcon tray(m_settings);
    ASSERT_TRUE(tray.captureAction().isCheckable());
    expectCapture(tray, false);
    tray.captureAction().trigger();
    expectCapture(tray, true);

    QByteArrayList heard;
    QObject::connect(&tray, &TrayIcon::clearRequested, [&] { heard << "clear"; });
    QObject::connect(&tray, &TrayIcon::updatesRequested, [&] { heard << "updates"; });
    QObject::connect(&tray, &TrayIcon::quitRequested, [&] { heard << "quit"; });
    const std::pair<const char *, QAction &> actions[] = {{"clear", tray.clearAction()},
        {"updates", tray.updatesAction()}, {"quit", tray.quitAction()}};
    for (const auto &[name, action] : actions) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(tray.menu().actions().contains(&action)) << "reachable from the menu";
        EXPECT_TRUE(action.isEnabled());
        heard.clear();
        action.trigger();
        EXPECT_EQ(heard, QByteArrayList {name});
    }
    EXPECT_TRUE(tray.menu().actions().contains(&tray.captureAction()));
    EXPECT_TRUE(m_settings.captureEnabled()) << "no other action touches capture";

    startTray();
    EXPECT_TRUE(waitFor(dockedInTray)) << "the panel started after Scrivlet never got the icon: "
                                       << iconHolders().join(',').toStdString();
}

} // namespace
} // namespace scrivlet
