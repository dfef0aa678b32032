// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: a program that copies fast. It owns the CLIPBOARD COUNT times,
// INTERVAL milliseconds apart, each time with the text "PREFIX N", serves
// whoever asks meanwhile, and prints "N SECONDS" (the wall-clock time of each
// copy, seconds since the epoch) once done. It then keeps the last copy for
// LINGER milliseconds and quits.
//   burst_copier COUNT INTERVAL PREFIX [LINGER]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

double now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Owner
{
    xcb_connection_t *c;
    xcb_window_t window;
    xcb_atom_t clipboard, targets, utf8, textUtf8, text, string;
    std::string current;

    void answer(const xcb_selection_request_event_t &request)
    {
        xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
        if (request.target == targets) {
            const xcb_atom_t offered[] = {targets, utf8, textUtf8, text, string};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property,
                XCB_ATOM_ATOM, 32, sizeof offered / sizeof *offered, offered);
        } else if (request.target == utf8 || request.target == textUtf8 || request.target == text
            || request.target == string) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property,
                request.target, 8, uint32_t(current.size()), current.data());
        } else {
            property = XCB_ATOM_NONE;
        }
        xcb_selection_notify_event_t notify {};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = property;
        xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
            reinterpret_cast<const char *>(&notify));
        xcb_flush(c);
    }

    // Serves requests until `until` (seconds since the epoch).
    void serve(double until)
    {
        pollfd fd {xcb_get_file_descriptor(c), POLLIN, 0};
        for (;;) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
                if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST)
                    answer(*reinterpret_cast<xcb_selection_request_event_t *>(event));
                std::free(event);
            }
            const double left = until - now();
            if (left <= 0)
                return;
            ::poll(&fd, 1, int(left * 1000) + 1);
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: burst_copier COUNT INTERVAL PREFIX [LINGER]\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const double interval = std::atof(argv[2]) / 1000;
    const std::string prefix = argv[3];
    const double linger = argc > 4 ? std::atof(argv[4]) / 1000 : 1.0;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "burst_copier: no X server\n");
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    Owner owner {c, xcb_generate_id(c), atom(c, "CLIPBOARD"), atom(c, "TARGETS"),
        atom(c, "UTF8_STRING"), atom(c, "text/plain;charset=utf-8"), atom(c, "text/plain"),
        XCB_ATOM_STRING, {}};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner.window, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    std::vector<double> times;
    double next = now();
    for (int i = 1; i <= count; ++i) {
        owner.serve(next);
        owner.current = prefix + " " + std::to_string(i);
        times.push_back(now());
        // CurrentTime: each copy replaces the one before whatever the clock.
        xcb_set_selection_owner(c, owner.window, owner.clipboard, XCB_CURRENT_TIME);
        xcb_flush(c);
        next = times.back() + interval;
    }
    owner.serve(now() + linger);
    for (int i = 0; i < count; ++i)
        std::printf("%d %.6f\n", i + 1, times[size_t(i)]);
    xcb_disconnect(c);
    return 0;
}
