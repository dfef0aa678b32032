// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: speaks the protocols Scrivlet needs on Wayland, one per mode,
// and prints what it sees, one fact a line.
//   probe [--wlr] [--primary] [--type MIME] [--timeout MS]
//       reads the clipboard through data-control (ext when offered):
//       `manager NAME VERSION`, `type MIME`..., `data N bytes`, `text TEXT`
//   probe --serve TEXT [--offer MIME=VALUE]... [--timeout MS]
//       owns the clipboard with TEXT as text, until another copy replaces it:
//       `serving`, `send MIME`..., `cancelled`
//   probe --toplevels          `toplevel APP_ID activated|inactive TITLE`...
//   probe --window APP_ID      a window that logs `ready`, then `key CODE MODS`
//   probe --ctrl-v             presses Ctrl+V on a virtual keyboard
//   probe --key CODE           presses and releases one key (evdev code)
//   --mute, with --serve: takes each request and never answers it
//   --mute-type MIME, with --serve: offers MIME too and never answers it
//   --hold MS, with --key: keeps the keyboard MS longer, as a real one stays
// Exits 0 when it did what was asked, 1 on a timeout or a refusal, 2 when the
// compositor lacks the protocol.
#define _GNU_SOURCE
#include "ext-data-control-v1-client.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"
#include "xdg-shell-client.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#define MAX_TYPES 64
#define MAX_EXTRA 8
#define READ_CAP (16 << 20)

static struct wl_display *display;
static struct wl_seat *seat;
static struct wl_compositor *compositor;
static struct wl_shm *shm;
static struct xdg_wm_base *wm_base;
static struct zwlr_data_control_manager_v1 *wlr_manager;
static struct ext_data_control_manager_v1 *ext_manager;
static struct zwlr_foreign_toplevel_manager_v1 *toplevel_manager;
static struct zwp_virtual_keyboard_manager_v1 *keyboard_manager;
static uint32_t wlr_version;
static bool use_wlr;
static int64_t deadline_ms;

static int64_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static void die(int code, const char *message)
{
    fprintf(stderr, "probe: %s\n", message);
    exit(code);
}

static void roundtrip(void)
{
    if (wl_display_roundtrip(display) < 0)
        die(1, "protocol error");
}

// Dispatches events until *flag is set or the deadline passes.
static bool dispatch_until(const bool *flag)
{
    while (!*flag) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0)
                die(1, "protocol error");
        if (*flag) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            die(1, "the connection broke");
        }
        int64_t left = deadline_ms - now_ms();
        if (left <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        struct pollfd pfd = {wl_display_get_fd(display), POLLIN, 0};
        if (poll(&pfd, 1, (int)left) > 0) {
            if (wl_display_read_events(display) < 0)
                die(1, "the connection broke");
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0)
            die(1, "protocol error");
    }
    return true;
}

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
    const char *interface, uint32_t version)
{
    (void)data;
#define BIND(var, iface, max)                                                                      \
    var = wl_registry_bind(registry, name, &iface, version < (max) ? version : (max))
    if (!strcmp(interface, wl_seat_interface.name) && !seat)
        BIND(seat, wl_seat_interface, 7);
    else if (!strcmp(interface, wl_compositor_interface.name))
        BIND(compositor, wl_compositor_interface, 4);
    else if (!strcmp(interface, wl_shm_interface.name))
        BIND(shm, wl_shm_interface, 1);
    else if (!strcmp(interface, xdg_wm_base_interface.name))
        BIND(wm_base, xdg_wm_base_interface, 2);
    else if (!strcmp(interface, zwlr_data_control_manager_v1_interface.name)) {
        BIND(wlr_manager, zwlr_data_control_manager_v1_interface, 2);
        wlr_version = version < 2 ? version : 2;
    } else if (!strcmp(interface, ext_data_control_manager_v1_interface.name))
        BIND(ext_manager, ext_data_control_manager_v1_interface, 1);
    else if (!strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name))
        BIND(toplevel_manager, zwlr_foreign_toplevel_manager_v1_interface, 3);
    else if (!strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name))
        BIND(keyboard_manager, zwp_virtual_keyboard_manager_v1_interface, 1);
#undef BIND
}

static void on_global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

// ---- data control: the ext and wlr protocols have the same shape, so one
// set of handlers serves both behind void pointers.

struct offer
{
    void *proxy;
    char *types[MAX_TYPES];
    int count;
};

static struct offer *selected;
static bool selection_seen;
static bool want_primary;

static void offer_add_type(struct offer *offer, const char *mime)
{
    if (offer->count < MAX_TYPES)
        offer->types[offer->count++] = strdup(mime);
}

static void offer_destroy(struct offer *offer)
{
    if (!offer)
        return;
    if (use_wlr)
        zwlr_data_control_offer_v1_destroy(offer->proxy);
    else
        ext_data_control_offer_v1_destroy(offer->proxy);
    for (int i = 0; i < offer->count; i++)
        free(offer->types[i]);
    free(offer);
}

static void wlr_offer_offer(void *data, struct zwlr_data_control_offer_v1 *o, const char *mime)
{
    (void)o;
    offer_add_type(data, mime);
}
static void ext_offer_offer(void *data, struct ext_data_control_offer_v1 *o, const char *mime)
{
    (void)o;
    offer_add_type(data, mime);
}
static const struct zwlr_data_control_offer_v1_listener wlr_offer_listener = {wlr_offer_offer};
static const struct ext_data_control_offer_v1_listener ext_offer_listener = {ext_offer_offer};

static void new_offer(void *proxy)
{
    struct offer *offer = calloc(1, sizeof *offer);
    offer->proxy = proxy;
    if (use_wlr)
        zwlr_data_control_offer_v1_add_listener(proxy, &wlr_offer_listener, offer);
    else
        ext_data_control_offer_v1_add_listener(proxy, &ext_offer_listener, offer);
}

// Offers of the other selection are dropped: the caller reads one of them.
static void selection_event(void *proxy, bool primary)
{
    struct offer *offer = proxy ? wl_proxy_get_user_data(proxy) : NULL;
    if (primary != want_primary) {
        offer_destroy(offer);
        return;
    }
    offer_destroy(selected);
    selected = offer;
    selection_seen = true;
}

static void wlr_device_data_offer(
    void *d, struct zwlr_data_control_device_v1 *dev, struct zwlr_data_control_offer_v1 *o)
{
    (void)d, (void)dev;
    new_offer(o);
}
static void wlr_device_selection(
    void *d, struct zwlr_data_control_device_v1 *dev, struct zwlr_data_control_offer_v1 *o)
{
    (void)d, (void)dev;
    selection_event(o, false);
}
static void wlr_device_finished(void *d, struct zwlr_data_control_device_v1 *dev)
{
    (void)d, (void)dev;
    die(1, "the data control device was finished");
}
static void wlr_device_primary(
    void *d, struct zwlr_data_control_device_v1 *dev, struct zwlr_data_control_offer_v1 *o)
{
    (void)d, (void)dev;
    selection_event(o, true);
}
static const struct zwlr_data_control_device_v1_listener wlr_device_listener
    = {wlr_device_data_offer, wlr_device_selection, wlr_device_finished, wlr_device_primary};

static void ext_device_data_offer(
    void *d, struct ext_data_control_device_v1 *dev, struct ext_data_control_offer_v1 *o)
{
    (void)d, (void)dev;
    new_offer(o);
}
static void ext_device_selection(
    void *d, struct ext_data_control_device_v1 *dev, struct ext_data_control_offer_v1 *o)
{
    (void)d, (void)dev;
    selection_event(o, false);
}
static void ext_device_finished(void *d, struct ext_data_control_device_v1 *dev)
{
    (void)d, (void)dev;
    die(1, "the data control device was finished");
}
static void ext_device_primary(
    void *d, struct ext_data_control_device_v1 *dev, struct ext_data_control_offer_v1 *o)
{
    (void)d, (void)dev;
    selection_event(o, true);
}
static const struct ext_data_control_device_v1_listener ext_device_listener
    = {ext_device_data_offer, ext_device_selection, ext_device_finished, ext_device_primary};

static void *device;

static void open_device(void)
{
    if (!seat)
        die(2, "no seat");
    use_wlr = use_wlr || !ext_manager;
    if (use_wlr && !wlr_manager)
        die(2, "no data-control manager offered");
    if (use_wlr) {
        printf("manager %s %u\n", zwlr_data_control_manager_v1_interface.name, wlr_version);
        device = zwlr_data_control_manager_v1_get_data_device(wlr_manager, seat);
        zwlr_data_control_device_v1_add_listener(device, &wlr_device_listener, NULL);
    } else {
        printf("manager %s 1\n", ext_data_control_manager_v1_interface.name);
        device = ext_data_control_manager_v1_get_data_device(ext_manager, seat);
        ext_data_control_device_v1_add_listener(device, &ext_device_listener, NULL);
    }
}

// The source writes into the pipe on its own time: the read has a deadline
// and a cap, as a clipboard owner may stall or never stop.
static int read_selection(const char *mime)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        die(1, "pipe failed");
    if (use_wlr)
        zwlr_data_control_offer_v1_receive(selected->proxy, mime, fds[1]);
    else
        ext_data_control_offer_v1_receive(selected->proxy, mime, fds[1]);
    wl_display_flush(display);
    close(fds[1]); // our copy: the pipe ends when the source closes its own
    char *buffer = malloc(READ_CAP);
    size_t size = 0;
    for (;;) {
        int64_t left = deadline_ms - now_ms();
        struct pollfd pfd = {fds[0], POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, (int)left) <= 0)
            die(1, "the clipboard owner did not answer in time");
        ssize_t n = read(fds[0], buffer + size, READ_CAP - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            die(1, "read failed");
        if (n == 0)
            break;
        size += (size_t)n;
        if (size == READ_CAP)
            die(1, "the data passes the size cap");
    }
    close(fds[0]);
    printf("data %zu bytes\n", size);
    if (!strncmp(mime, "text/", 5))
        printf("text %.*s\n", (int)size, buffer);
    free(buffer);
    return 0;
}

static int read_mode(const char *mime)
{
    open_device();
    if (!dispatch_until(&selection_seen))
        die(1, "no selection event came");
    // The first event, sent on binding, tells an empty clipboard; wait for a copy.
    while (!selected) {
        selection_seen = false;
        if (!dispatch_until(&selection_seen))
            die(1, "the clipboard stayed empty");
    }
    const char *chosen = NULL;
    for (int i = 0; i < selected->count; i++) {
        printf("type %s\n", selected->types[i]);
        if (!strcmp(selected->types[i], mime))
            chosen = mime;
    }
    fflush(stdout);
    if (!chosen) {
        printf("no %s\n", mime);
        return 1;
    }
    return read_selection(chosen);
}

// ---- the clipboard owner

struct served
{
    const char *mime;
    const char *value;
};
// The text first, then the extra types.
static struct served served[MAX_EXTRA + 2];
static int served_count = 2;
static bool cancelled;

static bool mute;
static const char *muted[MAX_EXTRA];
static int muted_count;

static void source_send(const char *mime, int fd)
{
    printf("send %s\n", mime);
    fflush(stdout);
    bool hung = mute;
    for (int i = 0; i < muted_count; i++)
        hung = hung || !strcmp(muted[i], mime);
    if (hung)
        return; // the pipe stays open and empty: a hung owner
    for (int i = 0; i < served_count; i++) {
        if (strcmp(served[i].mime, mime))
            continue;
        const char *p = served[i].value;
        size_t left = strlen(p);
        while (left > 0) {
            ssize_t n = write(fd, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            p += n, left -= (size_t)n;
        }
        break;
    }
    close(fd);
}

static void wlr_source_send(
    void *d, struct zwlr_data_control_source_v1 *s, const char *mime, int fd)
{
    (void)d, (void)s;
    source_send(mime, fd);
}
static void wlr_source_cancelled(void *d, struct zwlr_data_control_source_v1 *s)
{
    (void)d, (void)s;
    cancelled = true;
}
static const struct zwlr_data_control_source_v1_listener wlr_source_listener
    = {wlr_source_send, wlr_source_cancelled};
static void ext_source_send(void *d, struct ext_data_control_source_v1 *s, const char *mime, int fd)
{
    (void)d, (void)s;
    source_send(mime, fd);
}
static void ext_source_cancelled(void *d, struct ext_data_control_source_v1 *s)
{
    (void)d, (void)s;
    cancelled = true;
}
static const struct ext_data_control_source_v1_listener ext_source_listener
    = {ext_source_send, ext_source_cancelled};

static int serve_mode(void)
{
    open_device();
    roundtrip(); // the device's first events
    if (use_wlr) {
        struct zwlr_data_control_source_v1 *source
            = zwlr_data_control_manager_v1_create_data_source(wlr_manager);
        zwlr_data_control_source_v1_add_listener(source, &wlr_source_listener, NULL);
        for (int i = 0; i < served_count; i++)
            zwlr_data_control_source_v1_offer(source, served[i].mime);
        zwlr_data_control_device_v1_set_selection(device, source);
    } else {
        struct ext_data_control_source_v1 *source
            = ext_data_control_manager_v1_create_data_source(ext_manager);
        ext_data_control_source_v1_add_listener(source, &ext_source_listener, NULL);
        for (int i = 0; i < served_count; i++)
            ext_data_control_source_v1_offer(source, served[i].mime);
        ext_data_control_device_v1_set_selection(device, source);
    }
    roundtrip();
    printf("serving\n");
    fflush(stdout);
    if (!dispatch_until(&cancelled))
        die(1, "still the owner at the deadline");
    printf("cancelled\n");
    return 0;
}

// ---- foreign toplevels

struct toplevel
{
    char *app_id, *title;
    bool activated;
};
static int toplevels_pending;

static void set_string(char **field, const char *value)
{
    free(*field);
    *field = strdup(value);
}
static void tl_title(void *data, struct zwlr_foreign_toplevel_handle_v1 *h, const char *title)
{
    (void)h;
    set_string(&((struct toplevel *)data)->title, title);
}
static void tl_app_id(void *data, struct zwlr_foreign_toplevel_handle_v1 *h, const char *app_id)
{
    (void)h;
    set_string(&((struct toplevel *)data)->app_id, app_id);
}
static void tl_output(void *data, struct zwlr_foreign_toplevel_handle_v1 *h, struct wl_output *o)
{
    (void)data, (void)h, (void)o;
}
static void tl_state(void *data, struct zwlr_foreign_toplevel_handle_v1 *h, struct wl_array *states)
{
    (void)h;
    struct toplevel *t = data;
    t->activated = false;
    uint32_t *state;
    wl_array_for_each(state, states) if (*state == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
        t->activated
        = true;
}
static void tl_done(void *data, struct zwlr_foreign_toplevel_handle_v1 *h)
{
    (void)h;
    struct toplevel *t = data;
    printf("toplevel %s %s %s\n", t->app_id ? t->app_id : "-",
        t->activated ? "activated" : "inactive", t->title ? t->title : "");
    toplevels_pending--;
}
static void tl_closed(void *data, struct zwlr_foreign_toplevel_handle_v1 *h)
{
    (void)data, (void)h;
}
static void tl_parent(void *data, struct zwlr_foreign_toplevel_handle_v1 *h,
    struct zwlr_foreign_toplevel_handle_v1 *parent)
{
    (void)data, (void)h, (void)parent;
}
static const struct zwlr_foreign_toplevel_handle_v1_listener toplevel_listener
    = {tl_title, tl_app_id, tl_output, tl_output, tl_state, tl_done, tl_closed, tl_parent};

static void tm_toplevel(void *data, struct zwlr_foreign_toplevel_manager_v1 *m,
    struct zwlr_foreign_toplevel_handle_v1 *handle)
{
    (void)data, (void)m;
    toplevels_pending++;
    zwlr_foreign_toplevel_handle_v1_add_listener(
        handle, &toplevel_listener, calloc(1, sizeof(struct toplevel)));
}
static void tm_finished(void *data, struct zwlr_foreign_toplevel_manager_v1 *m)
{
    (void)data, (void)m;
}
static const struct zwlr_foreign_toplevel_manager_v1_listener toplevel_manager_listener
    = {tm_toplevel, tm_finished};

static int toplevels_mode(void)
{
    if (!toplevel_manager)
        die(2, "no foreign toplevel manager offered");
    zwlr_foreign_toplevel_manager_v1_add_listener(
        toplevel_manager, &toplevel_manager_listener, NULL);
    roundtrip();
    // Each toplevel's details end with its done event.
    while (toplevels_pending > 0 && now_ms() < deadline_ms)
        roundtrip();
    return toplevels_pending > 0;
}

// ---- a window that logs keys

static struct wl_keyboard *keyboard;
static bool configured;
static struct wl_surface *surface;
static struct xdg_surface *xdg_surface;

static void kb_keymap(void *d, struct wl_keyboard *k, uint32_t format, int fd, uint32_t size)
{
    (void)d, (void)k, (void)format, (void)size;
    close(fd);
}
static void kb_enter(
    void *d, struct wl_keyboard *k, uint32_t serial, struct wl_surface *s, struct wl_array *keys)
{
    (void)d, (void)k, (void)serial, (void)s, (void)keys;
    printf("focus\n");
    fflush(stdout);
}
static void kb_leave(void *d, struct wl_keyboard *k, uint32_t serial, struct wl_surface *s)
{
    (void)d, (void)k, (void)serial, (void)s;
}
static uint32_t mods_depressed;
static void kb_key(
    void *d, struct wl_keyboard *k, uint32_t serial, uint32_t time, uint32_t key, uint32_t state)
{
    (void)d, (void)k, (void)serial, (void)time;
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
        printf("key %u %x\n", key, mods_depressed);
        fflush(stdout);
    }
}
static void kb_modifiers(void *d, struct wl_keyboard *k, uint32_t serial, uint32_t depressed,
    uint32_t latched, uint32_t locked, uint32_t group)
{
    (void)d, (void)k, (void)serial, (void)latched, (void)locked, (void)group;
    mods_depressed = depressed;
}
static void kb_repeat(void *d, struct wl_keyboard *k, int32_t rate, int32_t delay)
{
    (void)d, (void)k, (void)rate, (void)delay;
}
static const struct wl_keyboard_listener keyboard_listener
    = {kb_keymap, kb_enter, kb_leave, kb_key, kb_modifiers, kb_repeat};

// Without input devices the seat has no keyboard until a virtual one comes.
static void seat_capabilities(void *d, struct wl_seat *s, uint32_t caps)
{
    (void)d;
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
        keyboard = wl_seat_get_keyboard(s);
        wl_keyboard_add_listener(keyboard, &keyboard_listener, NULL);
    }
}
static void seat_name(void *d, struct wl_seat *s, const char *name)
{
    (void)d, (void)s, (void)name;
}
static const struct wl_seat_listener seat_listener = {seat_capabilities, seat_name};

static void wm_ping(void *d, struct xdg_wm_base *wm, uint32_t serial)
{
    (void)d;
    xdg_wm_base_pong(wm, serial);
}
static const struct xdg_wm_base_listener wm_listener = {wm_ping};

static void attach_buffer(int width, int height)
{
    int stride = width * 4, size = stride * height;
    int fd = memfd_create("probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        die(1, "no shared memory");
    uint32_t *pixels = mmap(NULL, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    for (int i = 0; i < width * height; i++)
        pixels[i] = 0xff3050a0;
    munmap(pixels, (size_t)size);
    struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
    struct wl_buffer *buffer
        = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, width, height);
}

static void xs_configure(void *d, struct xdg_surface *s, uint32_t serial)
{
    (void)d;
    xdg_surface_ack_configure(s, serial);
    if (!configured)
        attach_buffer(320, 200);
    wl_surface_commit(surface);
    configured = true;
}
static const struct xdg_surface_listener xdg_surface_listener = {xs_configure};

static void top_configure(void *d, struct xdg_toplevel *t, int32_t w, int32_t h, struct wl_array *s)
{
    (void)d, (void)t, (void)w, (void)h, (void)s;
}
static void top_close(void *d, struct xdg_toplevel *t)
{
    (void)d, (void)t;
    exit(0);
}
static const struct xdg_toplevel_listener toplevel_window_listener
    = {.configure = top_configure, .close = top_close};

static int window_mode(const char *app_id)
{
    if (!compositor || !shm || !wm_base || !seat)
        die(2, "no xdg-shell");
    xdg_wm_base_add_listener(wm_base, &wm_listener, NULL);
    wl_seat_add_listener(seat, &seat_listener, NULL);
    surface = wl_compositor_create_surface(compositor);
    xdg_surface = xdg_wm_base_get_xdg_surface(wm_base, surface);
    xdg_surface_add_listener(xdg_surface, &xdg_surface_listener, NULL);
    struct xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdg_surface);
    xdg_toplevel_add_listener(toplevel, &toplevel_window_listener, NULL);
    xdg_toplevel_set_app_id(toplevel, app_id);
    xdg_toplevel_set_title(toplevel, "Scrivlet probe");
    wl_surface_commit(surface);
    if (!dispatch_until(&configured))
        die(1, "the window was never configured");
    roundtrip();
    printf("ready\n");
    fflush(stdout);
    bool never = false;
    dispatch_until(&never);
    return 0;
}

// ---- a virtual keyboard

static int hold_ms;

static int key_mode(int key, bool control_held)
{
    if (!keyboard_manager || !seat)
        die(2, "no virtual keyboard manager offered");
    struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    struct xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
    struct xkb_keymap *keymap = context ? xkb_keymap_new_from_names(context, &names, 0) : NULL;
    if (!keymap)
        die(1, "no keymap");
    char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    uint32_t size = (uint32_t)strlen(text) + 1;
    int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text, size) != (ssize_t)size)
        die(1, "no shared memory");
    uint32_t control = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);

    struct zwp_virtual_keyboard_v1 *vk
        = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboard_manager, seat);
    zwp_virtual_keyboard_v1_keymap(vk, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
    roundtrip();
    // The focused client binds its wl_keyboard once the seat gains one: give
    // it that moment, or the keys reach nobody.
    usleep(300 * 1000);
    enum { KEY_LEFTCTRL = 29, KEY_V = 47 };
    uint32_t t = (uint32_t)now_ms();
    if (control_held) {
        zwp_virtual_keyboard_v1_key(vk, t, KEY_LEFTCTRL, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_modifiers(vk, control, 0, 0, 0);
    }
    zwp_virtual_keyboard_v1_key(vk, t + 1, (uint32_t)key, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(vk, t + 2, (uint32_t)key, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (control_held) {
        zwp_virtual_keyboard_v1_key(vk, t + 3, KEY_LEFTCTRL, WL_KEYBOARD_KEY_STATE_RELEASED);
        zwp_virtual_keyboard_v1_modifiers(vk, 0, 0, 0, 0);
    }
    roundtrip();
    if (hold_ms > 0) {
        fflush(stdout);
        usleep((useconds_t)hold_ms * 1000);
    }
    zwp_virtual_keyboard_v1_destroy(vk);
    roundtrip();
    if (control_held && key == KEY_V)
        printf("sent ctrl+v mods %x\n", control);
    else
        printf("sent key %d\n", key);
    free(text);
    close(fd);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return 0;
}

int main(int argc, char **argv)
{
    const char *mode = "read", *mime = "text/plain;charset=utf-8", *arg = NULL;
    int key = 0;
    int timeout = 5000;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        bool has_value = i + 1 < argc;
        if (!strcmp(a, "--wlr"))
            use_wlr = true;
        else if (!strcmp(a, "--hold") && has_value)
            hold_ms = atoi(argv[++i]);
        else if (!strcmp(a, "--mute"))
            mute = true;
        else if (!strcmp(a, "--mute-type") && has_value && muted_count < MAX_EXTRA
            && served_count < MAX_EXTRA + 2) {
            muted[muted_count++] = argv[++i];
            served[served_count++] = (struct served) {muted[muted_count - 1], ""};
        } else if (!strcmp(a, "--key") && has_value)
            mode = "key", key = atoi(argv[++i]);
        else if (!strcmp(a, "--primary"))
            want_primary = true;
        else if (!strcmp(a, "--type") && has_value)
            mime = argv[++i];
        else if (!strcmp(a, "--timeout") && has_value)
            timeout = atoi(argv[++i]);
        else if ((!strcmp(a, "--serve") || !strcmp(a, "--window")) && has_value)
            mode = a + 2, arg = argv[++i];
        else if (!strcmp(a, "--offer") && has_value && served_count < MAX_EXTRA + 2) {
            char *pair = argv[++i], *eq = strchr(pair, '=');
            if (!eq)
                die(2, "--offer takes MIME=VALUE");
            *eq = '\0';
            served[served_count++] = (struct served) {pair, eq + 1};
        } else if (!strcmp(a, "--toplevels") || !strcmp(a, "--ctrl-v"))
            mode = a + 2;
        else
            die(2, "usage: see the head of probe.c");
    }
    setvbuf(stdout, NULL, _IOLBF, 0);
    display = wl_display_connect(NULL);
    if (!display)
        die(2, "no Wayland display");
    deadline_ms = now_ms() + timeout;
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    roundtrip();

    if (!strcmp(mode, "read"))
        return read_mode(mime);
    if (!strcmp(mode, "serve")) {
        served[0] = (struct served) {"text/plain;charset=utf-8", arg};
        served[1] = (struct served) {"text/plain", arg};
        return serve_mode();
    }
    if (!strcmp(mode, "toplevels"))
        return toplevels_mode();
    if (!strcmp(mode, "window"))
        return window_mode(arg);
    if (!strcmp(mode, "key"))
        return key_mode(key, false);
    return key_mode(47, true);
}
