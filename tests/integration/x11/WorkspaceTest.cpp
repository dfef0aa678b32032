// SPDX-License-Identifier: GPL-3.0-or-later
// Which window is the paste target, as the window manager announces it.
#include "X11Clients.h"
#include "core/desktop/DesktopEntries.h"
#include "platform/x11/X11Workspace.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::atom;

TEST(WorkspaceTest, TheDesktopAndDocksAreNeverAPasteTarget)
{
    xcb_connection_t *c = testing::x11Connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    DesktopEntries entries {QStringList {}};
    X11Workspace workspace(c, entries);
    const struct
    {
        const char *name;
        std::vector<const char *> types;
        bool target;
    } cases[] = {
        {"a normal window", {"_NET_WM_WINDOW_TYPE_NORMAL"}, true},
        {"a window of no type", {}, true},
        {"a dialog", {"_NET_WM_WINDOW_TYPE_DIALOG"}, true},
        {"the desktop", {"_NET_WM_WINDOW_TYPE_DESKTOP"}, false},
        {"a dock", {"_NET_WM_WINDOW_TYPE_DOCK"}, false},
        {"a dock that also says normal",
            {"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_DOCK"}, false},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        // Unmanaged, so the window manager never focuses it and rewrites
        // _NET_ACTIVE_WINDOW behind the test's back.
        const xcb_window_t window = xcb_generate_id(c);
        const uint32_t unmanaged = 1;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 50, 50, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
            &unmanaged);
        std::vector<xcb_atom_t> types;
        for (const char *type : test.types)
            types.push_back(atom(type));
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_WINDOW_TYPE"),
            XCB_ATOM_ATOM, 32, uint32_t(types.size()), types.data());
        const char wmClass[] = "editor\0Editor";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
            sizeof wmClass, wmClass);
        xcb_map_window(c, window);
        // What the window manager says when the window has the focus.
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom("_NET_ACTIVE_WINDOW"),
            XCB_ATOM_WINDOW, 32, 1, &window);
        // A round trip: the server has done all of the above.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        const std::optional<WindowRef> active = workspace.activeWindow();
        EXPECT_EQ(active ? active->id : 0, test.target ? window : 0);
        xcb_destroy_window(c, window);
    }
    xcb_flush(c);
}

TEST(WorkspaceTest, TheApplicationIsWhatTheWindowSaysUnlessOnlyItsClassNamesAnEntry)
{
    xcb_connection_t *c = testing::x11Connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    QTemporaryDir folder;
    QFile entry(folder.filePath(QStringLiteral("org.example.Editor.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Editor\nExec=editor\n"
                "StartupWMClass=Editor\n");
    entry.close();
    DesktopEntries entries {QStringList {folder.path()}};
    X11Workspace workspace(c, entries);
    const struct
    {
        const char *gtkId, *kdeFile;
        QByteArray wmClass;
        std::optional<QString> app;
    } cases[] = {
        {"org.example.Editor", "", QByteArray("other\0Other", 11), "org.example.Editor"},
        {"", "org.example.Editor.desktop", {}, "org.example.Editor"},
        // What Qt 6.11 says of a program that never named its desktop file.
        {"editor_bin", "editor_bin", QByteArray("editor\0Editor", 13), "org.example.Editor"},
        {"editor_bin", "", QByteArray("unknown\0Unknown", 15), "editor_bin"},
        {"", "", QByteArray("unknown\0Unknown", 15), "Unknown"},
        {"", "", QByteArray("unknown", 7), "unknown"},
        {"", "", {}, std::nullopt},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.wmClass.toStdString() + " " + test.gtkId + " " + test.kdeFile);
        const xcb_window_t window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 50, 50, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const auto set = [&](xcb_atom_t name, xcb_atom_t type, const QByteArray &value) {
            if (!value.isEmpty())
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, name, type, 8,
                    uint32_t(value.size()), value.constData());
        };
        set(atom("_GTK_APPLICATION_ID"), atom("UTF8_STRING"), test.gtkId);
        set(atom("_KDE_NET_WM_DESKTOP_FILE"), atom("UTF8_STRING"), test.kdeFile);
        set(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, test.wmClass);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        EXPECT_EQ(workspace.applicationIdOf(window), test.app);
        xcb_destroy_window(c, window);
    }
    xcb_flush(c);
}

} // namespace
} // namespace scrivlet
