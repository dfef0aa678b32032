// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: owns the CLIPBOARD with a text and misbehaves as asked, over
// raw XCB (a toolkit would behave). Says "owning" once it owns it.
//   hostile_owner TEXT [--mute] [--slow MS] [--incr BYTES [--die-mid]] [--targets N]
//                 [--secret] [--save-after MS] [--offer TYPE=VALUE]... [--mute-type TYPE]...
//                 [--refuse-type TYPE]... [--clear-after MS] [--tell]
// --save-after quits the toolkits' way, asking the clipboard manager to keep
// the copy, and says "saved" or "refused"; --mute-type offers a type it never
// answers; --clear-after empties the clipboard on purpose and says "cleared";
// --tell says "asked TARGET" for each request.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_connection_t *c;

xcb_atom_t atom(const std::string &name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

void say(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Tells the requestor the answer is in `property` (none: refused).
void notify(const xcb_selection_request_event_t &request, xcb_atom_t property)
{
    xcb_selection_notify_event_t event {};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request.time;
    event.requestor = request.requestor;
    event.selection = request.selection;
    event.target = request.target;
    event.property = property;
    xcb_send_event(c, 0, request.requestor, 0, reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

// Puts the answer in the requestor's property; says so unless it is a part.
void answer(const xcb_selection_request_event_t &request, xcb_atom_t type, uint8_t format,
    std::size_t length, const void *data, bool part = false)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type, format,
        uint32_t(length), data);
    if (part)
        xcb_flush(c);
    else
        notify(request, request.property);
}

// Waits until the requestor deletes the property: it took the part.
void awaitDeletion(const xcb_selection_request_event_t &request)
{
    for (bool taken = false; !taken;) {
        xcb_generic_event_t *event = xcb_wait_for_event(c);
        if (!event)
            std::exit(0);
        const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event);
        taken = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY
            && change->window == request.requestor && change->atom == request.property
            && change->state == XCB_PROPERTY_DELETE;
        std::free(event);
    }
}

void sendInParts(const xcb_selection_request_event_t &request, const std::string &text,
    xcb_atom_t type, bool dieMid)
{
    constexpr std::size_t kPart = std::size_t(256) * 1024;
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &events);
    const auto size = uint32_t(text.size());
    answer(request, atom("INCR"), 32, 1, &size);
    for (std::size_t sent = 0;; sent += kPart) {
        awaitDeletion(request);
        const std::size_t length = sent < text.size() ? std::min(kPart, text.size() - sent) : 0;
        answer(request, type, 8, length, text.data() + std::min(sent, text.size()), true);
        if (dieMid)
            std::exit(0);
        if (length == 0)
            return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    c = xcb_connect(nullptr, nullptr);
    if (argc < 2 || xcb_connection_has_error(c))
        return 2;
    std::string text = argv[1];
    bool mute = false, inParts = false, dieMid = false, tell = false;
    int slowMs = 0, saveAfterMs = -1, clearAfterMs = -1;
    const xcb_atom_t targets = atom("TARGETS"), utf8 = atom("UTF8_STRING");
    std::vector<xcb_atom_t> offered {
        targets, utf8, atom("text/plain;charset=utf-8"), atom("text/plain")},
        muted, refused;
    const std::vector<xcb_atom_t> textTargets(offered.begin() + 1, offered.end());
    std::map<xcb_atom_t, std::string> served;
    const auto serve = [&](const std::string &name, const std::string &value) {
        served[offered.emplace_back(atom(name))] = value;
    };
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        inParts = inParts || arg == "--incr";
        if (arg == "--mute")
            mute = true;
        else if (arg == "--die-mid")
            dieMid = true;
        else if (arg == "--tell")
            tell = true;
        else if (arg == "--secret")
            serve("x-kde-passwordManagerHint", "secret");
        else if (i + 1 < argc) {
            const std::string value = argv[++i];
            const std::size_t equals = value.find('=');
            if (arg == "--slow")
                slowMs = std::stoi(value);
            else if (arg == "--incr")
                text.assign(std::stoul(value), 'x');
            else if (arg == "--targets")
                for (int n = std::stoi(value); n > 0; --n)
                    offered.push_back(atom("application/x-junk-" + std::to_string(n)));
            else if (arg == "--save-after")
                saveAfterMs = std::stoi(value);
            else if (arg == "--clear-after")
                clearAfterMs = std::stoi(value);
            else if (arg == "--mute-type")
                muted.push_back(offered.emplace_back(atom(value)));
            else if (arg == "--refuse-type")
                refused.push_back(atom(value));
            else if (arg == "--offer")
                serve(
                    value.substr(0, equals), equals == value.npos ? "" : value.substr(equals + 1));
        }
    }
    const auto contains = [](const std::vector<xcb_atom_t> &atoms, xcb_atom_t target) {
        return std::find(atoms.begin(), atoms.end(), target) != atoms.end();
    };
    const auto start = std::chrono::steady_clock::now();
    const auto due = [&](int afterMs) {
        return afterMs >= 0
            && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(afterMs);
    };

    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    const xcb_atom_t clipboard = atom("CLIPBOARD"), saveTargets = atom("SAVE_TARGETS");
    // A reply means the server has done what came before: only then is it true.
    const auto takeClipboard = [&](xcb_window_t owner) {
        xcb_set_selection_owner(c, owner, clipboard, XCB_CURRENT_TIME);
        std::free(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
    };
    takeClipboard(window);
    say("owning");

    for (bool saving = false, cleared = false;;) {
        if (!cleared && (cleared = due(clearAfterMs))) {
            takeClipboard(XCB_NONE);
            say("cleared");
        }
        if (!saving && (saving = due(saveAfterMs))) {
            xcb_convert_selection(c, window, atom("CLIPBOARD_MANAGER"), saveTargets,
                atom("HOSTILE_SAVE"), XCB_CURRENT_TIME);
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
        const uint8_t type = event->response_type & 0x7f;
        const auto request = *reinterpret_cast<xcb_selection_request_event_t *>(event);
        const auto *saved = reinterpret_cast<xcb_selection_notify_event_t *>(event);
        const bool kept = saved->target == saveTargets && saved->property != XCB_ATOM_NONE;
        std::free(event);
        if (type == XCB_SELECTION_NOTIFY && saving) {
            say(kept ? "saved" : "refused");
            return 0;
        }
        if (type != XCB_SELECTION_REQUEST)
            continue;
        xcb_get_atom_name_reply_t *name = tell
            ? xcb_get_atom_name_reply(c, xcb_get_atom_name(c, request.target), nullptr)
            : nullptr;
        if (name)
            say("asked "
                + std::string(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name)));
        std::free(name);
        if (mute || contains(muted, request.target))
            continue;
        std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
        const auto extra = served.find(request.target);
        if (request.target == targets)
            answer(request, XCB_ATOM_ATOM, 32, offered.size(), offered.data());
        else if (extra != served.end())
            answer(request, request.target, 8, extra->second.size(), extra->second.data());
        else if (!contains(textTargets, request.target) || contains(refused, request.target))
            notify(request, XCB_ATOM_NONE);
        else if (inParts)
            sendInParts(request, text, utf8, dieMid);
        else
            answer(request, utf8, 8, text.size(), text.data());
    }
}
