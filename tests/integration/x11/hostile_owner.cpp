// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: owns the CLIPBOARD with a text and misbehaves as asked, over
// raw XCB (a toolkit would behave). Says "owning" once it owns it.
//   hostile_owner TEXT [--mute] [--slow MS] [--incr BYTES] [--die-mid] [--targets N]
//                 [--secret] [--save-after MS] [--offer TYPE=VALUE]... [--mute-type TYPE]...
//                 [--refuse-type TYPE]... [--clear-after MS] [--tell]
// --save-after: quits after MS the way toolkits do, asking the clipboard
// manager to keep the clipboard (SAVE_TARGETS); says "saved" or "refused".
// --offer serves one more target; --mute-type offers one and never answers
// it; --refuse-type refuses the text under that name. --clear-after empties
// the clipboard on purpose after MS and stays. --tell says "asked TARGET" for
// each request.
#include <algorithm>
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
    bool mute = false, dieMid = false, secret = false, tell = false;
    int slowMs = 0, junkTargets = 0, saveAfterMs = -1, clearAfterMs = -1;
    std::vector<std::pair<std::string, std::string>> extra;
    std::vector<std::string> muted, refused;
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
        else if (arg == "--tell")
            tell = true;
        else if (arg == "--secret")
            secret = true;
        else if (arg == "--save-after" && i + 1 < argc)
            saveAfterMs = std::atoi(argv[++i]);
        else if (arg == "--clear-after" && i + 1 < argc)
            clearAfterMs = std::atoi(argv[++i]);
        else if (arg == "--mute-type" && i + 1 < argc)
            muted.emplace_back(argv[++i]);
        else if (arg == "--refuse-type" && i + 1 < argc)
            refused.emplace_back(argv[++i]);
        else if (arg == "--offer" && i + 1 < argc) {
            const std::string offer = argv[++i];
            const std::size_t equals = offer.find('=');
            extra.emplace_back(offer.substr(0, equals),
                equals == std::string::npos ? std::string() : offer.substr(equals + 1));
        }
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
    // Text under its other names too, any of which may be refused.
    std::vector<xcb_atom_t> textTargets {utf8};
    for (const char *name : {"text/plain;charset=utf-8", "text/plain"}) {
        textTargets.push_back(atom(name));
        offered.push_back(textTargets.back());
    }
    std::vector<xcb_atom_t> refusedTargets, mutedTargets;
    for (const std::string &name : refused)
        refusedTargets.push_back(atom(name.c_str()));
    for (const std::string &name : muted) {
        mutedTargets.push_back(atom(name.c_str()));
        offered.push_back(mutedTargets.back());
    }
    std::vector<std::pair<xcb_atom_t, std::string>> served;
    for (const auto &[name, value] : extra) {
        served.emplace_back(atom(name.c_str()), value);
        offered.push_back(served.back().first);
    }
    const auto contains = [](const std::vector<xcb_atom_t> &atoms, xcb_atom_t target) {
        return std::find(atoms.begin(), atoms.end(), target) != atoms.end();
    };
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    // A reply means the server has done the above: only then is it true.
    std::free(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
    std::printf("owning\n");
    std::fflush(stdout);

    constexpr std::size_t kChunk = 256 * 1024;
    const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), saveTargets = atom("SAVE_TARGETS"),
                     saveProperty = atom("HOSTILE_SAVE");
    const auto start = std::chrono::steady_clock::now();
    bool saving = false, cleared = false;
    for (;;) {
        if (clearAfterMs >= 0 && !cleared
            && std::chrono::steady_clock::now() - start
                >= std::chrono::milliseconds(clearAfterMs)) {
            cleared = true;
            xcb_set_selection_owner(c, XCB_NONE, clipboard, XCB_CURRENT_TIME);
            std::free(
                xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
            std::printf("cleared\n");
            std::fflush(stdout);
        }
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
        xcb_get_atom_name_reply_t *name = tell
            ? xcb_get_atom_name_reply(c, xcb_get_atom_name(c, request.target), nullptr)
            : nullptr;
        if (name) {
            std::printf(
                "asked %.*s\n", xcb_get_atom_name_name_length(name), xcb_get_atom_name_name(name));
            std::fflush(stdout);
            std::free(name);
        }
        if (mute || contains(mutedTargets, request.target))
            continue;
        const auto extraServed = std::find_if(served.begin(), served.end(),
            [&](const auto &entry) { return entry.first == request.target; });
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
        } else if (extraServed != served.end()) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                request.target, 8, uint32_t(extraServed->second.size()),
                extraServed->second.data());
            notify(&request, request.property);
        } else if (contains(refusedTargets, request.target)) {
            notify(&request, XCB_ATOM_NONE);
        } else if (contains(textTargets, request.target) && incr == 0) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, utf8,
                8, uint32_t(text.size()), text.data());
            notify(&request, request.property);
        } else if (contains(textTargets, request.target)) {
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
