// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as launchers use it, against a running Scrivlet: the wall
// time of `scrivlet list --limit 200`, and of `scrivlet toggle` until the
// palette is on screen. Run by bench/cli_bench.sh, which starts Scrivlet
// over a seeded history in a throwaway X session.
//   cli_bench PATH-TO-SCRIVLET
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the program with its output thrown away; its exit status.
int run(const char *program, std::vector<std::string> arguments)
{
    std::vector<char *> argv {const_cast<char *>(program)};
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void report(const char *what, std::vector<double> samples, double target)
{
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    std::printf("%-40s median %6.2f ms   p90 %6.2f ms   (%zu runs; target < %.0f ms)\n", what,
        median, samples[samples.size() * 9 / 10], samples.size(), target);
}

// The top-level window whose WM_NAME is `name`, among the root's children
// and their children (the window manager frames clients).
xcb_window_t findWindow(xcb_connection_t *c, xcb_window_t parent, const char *name, int depth = 0)
{
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
    if (!tree)
        return XCB_NONE;
    xcb_window_t found = XCB_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        xcb_get_property_reply_t *title = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64), nullptr);
        if (title
            && std::string(static_cast<const char *>(xcb_get_property_value(title)),
                   std::size_t(xcb_get_property_value_length(title)))
                == name)
            found = children[i];
        std::free(title);
        if (!found && depth < 2)
            found = findWindow(c, children[i], name, depth + 1);
    }
    std::free(tree);
    return found;
}

bool viewable(xcb_connection_t *c, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t *attributes
        = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return shown;
}

bool waitUntil(xcb_connection_t *c, xcb_window_t window, bool shown)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (viewable(c, window) != shown) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cli_bench PATH-TO-SCRIVLET\n");
        return 2;
    }
    const char *scrivlet = argv[1];

    std::vector<double> list;
    for (int i = 0; i < 60; ++i) {
        const auto start = Clock::now();
        if (run(scrivlet, {"list", "--limit", "200"}) != 0) {
            std::fprintf(stderr, "scrivlet list failed: is Scrivlet running?\n");
            return 1;
        }
        if (i >= 5) // the first runs warm the caches
            list.push_back(milliseconds(Clock::now() - start));
    }
    report("scrivlet list --limit 200", list, 30);

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X server\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    // The palette window is made on first use.
    run(scrivlet, {"show"});
    xcb_window_t palette = XCB_NONE;
    for (int i = 0; i < 100 && !palette; ++i) {
        palette = findWindow(c, root, "Presse-papiers");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!palette || !waitUntil(c, palette, true)) {
        std::fprintf(stderr, "the palette did not appear\n");
        return 1;
    }
    run(scrivlet, {"hide"});
    waitUntil(c, palette, false);

    std::vector<double> toggle;
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = Clock::now();
        run(scrivlet, {"toggle"});
        if (!waitUntil(c, palette, true)) {
            std::fprintf(stderr, "toggle did not show the palette\n");
            return 1;
        }
        toggle.push_back(milliseconds(Clock::now() - start));
        run(scrivlet, {"hide"});
        waitUntil(c, palette, false);
    }
    report("scrivlet toggle to the palette on screen", toggle, 40);
    xcb_disconnect(c);
    return 0;
}
