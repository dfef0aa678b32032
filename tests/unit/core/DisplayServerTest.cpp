// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/desktop/DisplayServer.h"

#include <gtest/gtest.h>

using namespace scrivlet;

namespace {

struct Case
{
    const char *name;
    QList<std::pair<const char *, const char *>> variables;
    DisplayServer server;
    bool gnome;
};

TEST(DisplayServerTest, ChoosesFromTheEnvironment)
{
    const QList<Case> cases = {
        {"nothing", {}, DisplayServer::none, false},
        {"x11", {{"DISPLAY", ":0"}}, DisplayServer::x11, false},
        {"wayland alone", {{"WAYLAND_DISPLAY", "wayland-1"}}, DisplayServer::wayland, false},
        {"wayland with xwayland",
            {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}, {"XDG_CURRENT_DESKTOP", "sway"}},
            DisplayServer::wayland, false},
        {"empty WAYLAND_DISPLAY is no wayland", {{"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":0"}},
            DisplayServer::x11, false},
        {"x11 asked for in a wayland session",
            {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"SCRIVLET_DISPLAY", "X11"}},
            DisplayServer::x11, false},
        {"x11 asked for without DISPLAY",
            {{"WAYLAND_DISPLAY", "wayland-0"}, {"SCRIVLET_DISPLAY", "x11"}}, DisplayServer::none,
            false},
        {"unknown request ignored", {{"WAYLAND_DISPLAY", "w"}, {"SCRIVLET_DISPLAY", "mir"}},
            DisplayServer::wayland, false},
        {"gnome on wayland",
            {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"XDG_CURRENT_DESKTOP", "GNOME"}},
            DisplayServer::wayland, true},
        {"ubuntu's gnome", {{"WAYLAND_DISPLAY", "w"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}},
            DisplayServer::wayland, true},
        {"gnome flashback", {{"DISPLAY", ":0"}, {"XDG_CURRENT_DESKTOP", "GNOME-Flashback:GNOME"}},
            DisplayServer::x11, false},
        {"plasma", {{"WAYLAND_DISPLAY", "w"}, {"XDG_CURRENT_DESKTOP", "KDE"}},
            DisplayServer::wayland, false},
    };
    for (const Case &c : cases) {
        QProcessEnvironment environment;
        for (const auto &[key, value] : c.variables)
            environment.insert(QLatin1String(key), QLatin1String(value));
        const DisplayServerChoice session = chooseDisplayServer(environment);
        EXPECT_EQ(session.server, c.server) << c.name;
        EXPECT_EQ(session.isGnome(), c.gnome) << c.name;
        if (c.server == DisplayServer::none) {
            EXPECT_FALSE(session.reason.isEmpty()) << c.name;
        }
    }
}

} // namespace
