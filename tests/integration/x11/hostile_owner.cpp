// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: owns the CLIPBOARD with a text and misbehaves as asked, over
// raw XCB (a toolkit would behave). Says "owning" once it owns it.
//   hostile_owner TEXT [--mute] [--slow MS] [--incr BYTES] [--die-mid] [--targets N]
//                 [--secret] [--save-after MS]
// --save-after: quits after MS the way toolkits do, asking the clipboard
// manager to keep the clipboard (SAVE_TARGETS); says "saved" or "refused".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_connection_t *c;

xcb_atom_t atom(const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

void notify(const xcb_selection_request_event_t *request, xcb_atom_t property)
{
    xcb_selection_notify_event_t event {};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request->time;
    event.requestor = request->requestor;
    event.selection = request->selection;
    event.target = request->target;
    event.property = property;
    xcb_send_event(c, 0, request->requestor, 0, reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

// Waits until the requestor deletes the property (it took the chunk).
void awaitDeletion(xcb_window_t requestor, xcb_atom_t property)
{
    for (;;) {
        xcb_generic_event_t *event = xcb_wait_for_event(c);
        if (!event)
            std::exit(0);
        const bool taken = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY
            && reinterpret_cast<xcb_property_notify_event_t *>(event)->window == requestor
            && reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == property
            && reinterpret_cast<xcb_property_notify_event_t *>(event)->state == XCB_PROPERTY_DELETE;
        std::free(event);
        if (taken)
            return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
            "usage: hostile_owner TEXT [--mute] [--slow MS] [--incr BYTES] "
            "[--die-mid] [--targets N]\n");
        return 2;
    }
    std::string text = argv[1];
    bool mute = false, dieMid = false, secret = false;
    int slowMs = 0, junkTargets = 0, saveAfterMs = -1;
    long incr = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mute")
            mute = true;
        else if (arg == "--die-mid")
            dieMid = true;
        else if (arg == "--slow" && i + 1 < argc)
            slowMs = std::atoi(argv[++i]);
        else if (arg == "--incr" && i + 1 < argc)
            incr = std::atol(argv[++i]);
        else if (arg == "--targets" && i + 1 < argc)
            junkTargets = std::atoi(argv[++i]);
        else if (arg == "--secret")
            secret = true;
        else if (arg == "--save-after" && i + 1 < argc)
            saveAfterMs = std::atoi(argv[++i]);
    }
    if (incr > 0)
        text.assign(std::size_t(incr), 'x');

    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    const xcb_atom_t clipboard = atom("CLIPBOARD"), targets = atom("TARGETS"),
                     utf8 = atom("UTF8_STRING"), incrAtom = atom("INCR");
    const xcb_atom_t hint = atom("x-kde-passwordManagerHint");
    std::vector<xcb_atom_t> offered {targets, utf8};
    if (secret)
        offered.push_back(hint);
    for (int i = 0; i < junkTargets; ++i)
        offered.push_back(atom(("application/x-junk-" + std::to_string(i)).c_str()));
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    // A reply means the server has done the above: only then is it true.
    std::free(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
    std::printf("owning\n");
    std::fflush(stdout);

    constexpr std::size_t kChunk = 256 * 1024;
    const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), saveTargets = atom("SAVE_TARGETS"),
                     saveProperty = atom("HOSTILE_SAVE");
    const auto start = std::chrono::steady_clock::now();
    bool saving = false;
    for (;;) {
        if (saveAfterMs >= 0 && !saving
            && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(saveAfterMs)) {
            saving = true;
            xcb_convert_selection(c, window, manager, saveTargets, saveProperty, XCB_CURRENT_TIME);
            xcb_flush(c);
        }
        xcb_generic_event_t *event = xcb_poll_for_event(c);
        if (!event) {
            if (xcb_connection_has_error(c))
                return 1;
            pollfd readable {xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&readable, 1, 20);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY && saving) {
            const auto *n = reinterpret_cast<xcb_selection_notify_event_t *>(event);
            const bool saved = n->target == saveTargets && n->property != XCB_ATOM_NONE;
            std::free(event);
            std::printf("%s\n", saved ? "saved" : "refused");
            return 0;
        }
        if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST) {
            std::free(event);
            continue;
        }
        const auto request = *reinterpret_cast<xcb_selection_request_event_t *>(event);
        std::free(event);
        if (mute)
            continue;
        if (slowMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
        if (request.target == targets) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                XCB_ATOM_ATOM, 32, uint32_t(offered.size()), offered.data());
            notify(&request, request.property);
        } else if (request.target == hint && secret) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, utf8,
                8, 6, "secret");
            notify(&request, request.property);
        } else if (request.target == utf8 && incr == 0) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, utf8,
                8, uint32_t(text.size()), text.data());
            notify(&request, request.property);
        } else if (request.target == utf8) {
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &events);
            const uint32_t size = uint32_t(text.size());
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                incrAtom, 32, 1, &size);
            notify(&request, request.property);
            awaitDeletion(request.requestor, request.property);
            for (std::size_t sent = 0;; sent += kChunk) {
                const std::size_t length
                    = sent < text.size() ? std::min(kChunk, text.size() - sent) : 0;
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                    utf8, 8, uint32_t(length), text.data() + std::min(sent, text.size()));
                xcb_flush(c);
                if (dieMid)
                    return 0;
                if (length == 0)
                    break;
                awaitDeletion(request.requestor, request.property);
            }
        } else {
            notify(&request, XCB_ATOM_NONE);
        }
    }
    return 0;
}
