// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/desktop/DisplayServer.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

TEST(DisplayServerTest, ChoosesFromTheEnvironment)
{
    using Variables = std::vector<std::pair<const char *, const char *>>;
    const std::tuple<Variables, DisplayServer, bool> cases[] = {
        {{}, DisplayServer::none, false},
        {{{"DISPLAY", ":0"}}, DisplayServer::x11, false},
        {{{"WAYLAND_DISPLAY", "wayland-1"}}, DisplayServer::wayland, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}, {"XDG_CURRENT_DESKTOP", "sway"}},
            DisplayServer::wayland, false},
        {{{"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":0"}}, DisplayServer::x11, false},
        // Asked for by name, any case, when it is there.
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"SCRIVLET_DISPLAY", "X11"}},
            DisplayServer::x11, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"SCRIVLET_DISPLAY", "x11"}}, DisplayServer::none,
            false},
        {{{"WAYLAND_DISPLAY", "w"}, {"SCRIVLET_DISPLAY", "mir"}}, DisplayServer::wayland, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"XDG_CURRENT_DESKTOP", "GNOME"}},
            DisplayServer::wayland, true},
        {{{"WAYLAND_DISPLAY", "w"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}},
            DisplayServer::wayland, true},
        {{{"DISPLAY", ":0"}, {"XDG_CURRENT_DESKTOP", "GNOME-Flashback:GNOME"}}, DisplayServer::x11,
            false},
        {{{"WAYLAND_DISPLAY", "w"}, {"XDG_CURRENT_DESKTOP", "KDE"}}, DisplayServer::wayland, false},
    };
    for (const auto &[variables, server, gnome] : cases) {
        QProcessEnvironment environment;
        std::string trace;
        for (const auto &[key, value] : variables) {
            environment.insert(QLatin1String(key), QLatin1String(value));
            trace += std::string(key) + "=" + value + " ";
        }
        const DisplayServerChoice session = chooseDisplayServer(environment);
        EXPECT_EQ(session.server, server) << trace;
        EXPECT_EQ(session.isGnome(), gnome) << trace;
        EXPECT_EQ(session.reason.isEmpty(), server != DisplayServer::none) << trace;
    }
}

} // namespace
} // namespace scrivlet
