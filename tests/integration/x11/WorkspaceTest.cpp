// SPDX-License-Identifier: GPL-3.0-or-later
// Which window is the paste target, as the window manager announces it.
#include "X11Clients.h"
#include "core/desktop/DesktopEntries.h"
#include "platform/x11/X11Workspace.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

class WorkspaceTest : public ::testing::Test
{
protected:
    ~WorkspaceTest() override
    {
        for (xcb_window_t window : m_windows)
            xcb_destroy_window(m_connection, window);
        xcb_flush(m_connection);
    }

    // A mapped window of another program, of these window types.
    xcb_window_t window(std::initializer_list<const char *> types)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        // Unmanaged, so the window manager never focuses it and rewrites
        // _NET_ACTIVE_WINDOW behind the test's back.
        const uint32_t unmanaged = 1;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 50, 50, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
            &unmanaged);
        std::vector<xcb_atom_t> atoms;
        for (const char *type : types)
            atoms.push_back(testing::atom(type));
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window,
            testing::atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, uint32_t(atoms.size()),
            atoms.data());
        const char wmClass[] = "editor\0Editor";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
            XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
        xcb_map_window(m_connection, window);
        m_windows.push_back(window);
        return window;
    }
    // What the window manager says when the window has the focus.
    void announceActive(xcb_window_t window)
    {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root,
            testing::atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &window);
        // A round trip: the server has done all of the above.
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    xcb_connection_t *m_connection = testing::x11Connection();
    xcb_window_t m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    DesktopEntries m_entries {QStringList {}};
    X11Workspace m_workspace {m_connection, m_entries};
    std::vector<xcb_window_t> m_windows;
};

TEST_F(WorkspaceTest, TheDesktopAndDocksAreNeverAPasteTarget)
{
    const struct
    {
        const char *name;
        std::initializer_list<const char *> types;
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
    for (const auto &c : cases) {
        const xcb_window_t w = window(c.types);
        announceActive(w);
        const std::optional<WindowRef> active = m_workspace.activeWindow();
        EXPECT_EQ(active.has_value(), c.target) << c.name;
        if (active) {
            EXPECT_EQ(active->id, w) << c.name;
        }
    }
}

} // namespace
} // namespace scrivlet
