// SPDX-License-Identifier: GPL-3.0-or-later
// Another X client holding a global shortcut: grabs the stored form given as
// its argument ('{"carbonKeyCode":9,"carbonModifiers":768}'), says "held" or
// "refused", and keeps it until killed.
#include "platform/x11/X11HotkeyGrabber.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const auto shortcut
        = argc == 2 ? scrivlet::GlobalShortcuts::Shortcut::fromJson(argv[1]) : std::nullopt;
    auto *x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (!shortcut || !x11)
        return 2;
    scrivlet::X11HotkeyGrabber grabber(x11->connection());
    const bool held = grabber.grab(*shortcut);
    std::printf("%s\n", held ? "held" : "refused");
    std::fflush(stdout);
    return held ? app.exec() : 1;
}
