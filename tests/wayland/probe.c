// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: the other applications of a Wayland session, one per mode,
// printing what it sees, one fact a line.
//   probe --serve TEXT [--offer MIME=VALUE]... [--mute] [--mute-type MIME]...
//       owns the clipboard with TEXT as text through ext data control, else
//       wlr data control, until another copy replaces it: `serving`,
//       `send MIME`..., `cancelled`.
//       --mute takes each request and never answers it; --mute-type offers
//       MIME too and never answers that one.
//   probe --window APP_ID      a window that logs `ready`, then `key CODE MODS`
//       and `focus in`/`focus out` as its keyboard focus comes and goes
//   probe --key CODE[,CODE]... [--hold MS]
//       presses the keys (evdev codes) in turn and releases them in reverse
//       on a virtual keyboard, which stays MS longer, as a real one does:
//       `sent key CODE`, the last one. Where there is
//       no virtual keyboard (KWin), through fake input, which KWin gives only
//       to a program whose desktop entry asks for it.
//   probe --keymap LAYOUT[:VARIANT] [--hold MS]
//       a virtual keyboard of that layout, made the seat's own (its keymap
//       then is what every client reads) and kept MS: `keymap LAYOUT`. On
//       KWin, a fake input device, of KWin's layout.
//   --timeout MS (default 5000) bounds every mode.
// Exits 0 when it did what was asked, 1 on a timeout or a refusal, 2 when the
// compositor lacks the protocol.
#define _GNU_SOURCE
#include "ext-data-control-v1-client.h"
#include "fake-input-client.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"
#include "xdg-shell-client.h"

#include <errno.h>
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

// A listener takes every argument of its event; most use few of them.
#pragma GCC diagnostic ignored "-Wunused-parameter"

#define MAX_SERVED 10

static struct wl_display *display;
static struct wl_seat *seat;
static struct wl_compositor *compositor;
static struct wl_shm *shm;
static struct xdg_wm_base *wm_base;
static struct zwlr_data_control_manager_v1 *data_control;
static struct zwp_virtual_keyboard_manager_v1 *keyboard_manager;
static struct org_kde_kwin_fake_input *fake_input;
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
    for (;;) {
        if (wl_display_dispatch_pending(display) < 0)
            die(1, "protocol error");
        if (*flag)
            return true;
        wl_display_flush(display);
        struct pollfd pfd = {wl_display_get_fd(display), POLLIN, 0};
        int64_t left = deadline_ms - now_ms();
        if (left <= 0 || poll(&pfd, 1, (int)left) <= 0)
            return false;
        if (wl_display_dispatch(display) < 0)
            die(1, "the connection broke");
    }
}

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
    const char *interface, uint32_t version)
{
#define BIND(var, iface, max)                                                                      \
    if (!strcmp(interface, iface.name) && !var)                                                    \
    var = wl_registry_bind(registry, name, &iface, version < (max) ? version : (max))
    BIND(seat, wl_seat_interface, 7);
    BIND(compositor, wl_compositor_interface, 4);
    BIND(shm, wl_shm_interface, 1);
    BIND(wm_base, xdg_wm_base_interface, 2);
    // ext data control is wlr data control v2 renamed, message for message:
    // bound as what it is, it is then spoken through wlr's client code.
    BIND(data_control, ext_data_control_manager_v1_interface, 1);
    BIND(data_control, zwlr_data_control_manager_v1_interface, 2);
    BIND(keyboard_manager, zwp_virtual_keyboard_manager_v1_interface, 1);
    BIND(fake_input, org_kde_kwin_fake_input_interface, 4);
#undef BIND
}
static void on_global_remove(void *data, struct wl_registry *registry, uint32_t name) { }
static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

// ---- the clipboard owner

struct served
{
    const char *mime, *value;
    bool mute;
};
static struct served served[MAX_SERVED];
static int served_count = 2; // the text's two types first
static bool mute_all;
static bool cancelled;

static void source_send(
    void *data, struct zwlr_data_control_source_v1 *source, const char *mime, int fd)
{
    printf("send %s\n", mime);
    if (mute_all)
        return; // the pipe stays open and empty: a hung owner
    for (int i = 0; i < served_count; i++) {
        if (strcmp(served[i].mime, mime))
            continue;
        if (served[i].mute)
            return;
        for (const char *p = served[i].value; *p;) {
            ssize_t n = write(fd, p, strlen(p));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            p += n;
        }
        break;
    }
    close(fd);
}
static void source_cancelled(void *data, struct zwlr_data_control_source_v1 *source)
{
    cancelled = true;
}
static const struct zwlr_data_control_source_v1_listener source_listener
    = {source_send, source_cancelled};

// The offers of what others copy are of no interest: each goes as it comes.
static void device_data_offer(void *data, struct zwlr_data_control_device_v1 *device,
    struct zwlr_data_control_offer_v1 *offer)
{ }
static void device_selection(void *data, struct zwlr_data_control_device_v1 *device,
    struct zwlr_data_control_offer_v1 *offer)
{
    if (offer)
        zwlr_data_control_offer_v1_destroy(offer);
}
static void device_finished(void *data, struct zwlr_data_control_device_v1 *device)
{
    die(1, "the data control device was finished");
}
static const struct zwlr_data_control_device_v1_listener device_listener
    = {device_data_offer, device_selection, device_finished, device_selection};

static int serve_mode(void)
{
    if (!seat || !data_control)
        die(2, "no data-control manager offered");
    struct zwlr_data_control_device_v1 *device
        = zwlr_data_control_manager_v1_get_data_device(data_control, seat);
    zwlr_data_control_device_v1_add_listener(device, &device_listener, NULL);
    roundtrip(); // the device's first events
    struct zwlr_data_control_source_v1 *source
        = zwlr_data_control_manager_v1_create_data_source(data_control);
    zwlr_data_control_source_v1_add_listener(source, &source_listener, NULL);
    for (int i = 0; i < served_count; i++)
        zwlr_data_control_source_v1_offer(source, served[i].mime);
    zwlr_data_control_device_v1_set_selection(device, source);
    roundtrip();
    printf("serving\n");
    if (!dispatch_until(&cancelled))
        die(1, "still the owner at the deadline");
    printf("cancelled\n");
    return 0;
}

// ---- a window that logs keys

static struct wl_keyboard *keyboard;
static struct wl_surface *surface;
static bool configured;
static uint32_t mods_depressed;

static void kb_keymap(void *d, struct wl_keyboard *k, uint32_t format, int fd, uint32_t size)
{
    close(fd);
}
static void kb_enter(
    void *d, struct wl_keyboard *k, uint32_t serial, struct wl_surface *s, struct wl_array *keys)
{
    printf("focus in\n");
}
static void kb_leave(void *d, struct wl_keyboard *k, uint32_t serial, struct wl_surface *s)
{
    printf("focus out\n");
}
static void kb_key(
    void *d, struct wl_keyboard *k, uint32_t serial, uint32_t time, uint32_t key, uint32_t state)
{
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
        printf("key %u %x\n", key, mods_depressed);
}
static void kb_modifiers(void *d, struct wl_keyboard *k, uint32_t serial, uint32_t depressed,
    uint32_t latched, uint32_t locked, uint32_t group)
{
    mods_depressed = depressed;
}
static void kb_repeat(void *d, struct wl_keyboard *k, int32_t rate, int32_t delay) { }
static const struct wl_keyboard_listener keyboard_listener
    = {kb_keymap, kb_enter, kb_leave, kb_key, kb_modifiers, kb_repeat};

// Without input devices the seat has no keyboard until a virtual one comes.
static void seat_capabilities(void *d, struct wl_seat *s, uint32_t caps)
{
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
        keyboard = wl_seat_get_keyboard(s);
        wl_keyboard_add_listener(keyboard, &keyboard_listener, NULL);
    }
}
static void seat_name(void *d, struct wl_seat *s, const char *name) { }
static const struct wl_seat_listener seat_listener = {seat_capabilities, seat_name};

static void wm_ping(void *d, struct xdg_wm_base *wm, uint32_t serial)
{
    xdg_wm_base_pong(wm, serial);
}
static const struct xdg_wm_base_listener wm_listener = {wm_ping};

// The window shows once it has a buffer: any content will do.
static void xs_configure(void *d, struct xdg_surface *s, uint32_t serial)
{
    xdg_surface_ack_configure(s, serial);
    if (!configured) {
        enum { width = 320, height = 200, stride = width * 4, size = stride * height };
        int fd = memfd_create("probe", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, size) != 0)
            die(1, "no shared memory");
        struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
        wl_surface_attach(surface,
            wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888), 0,
            0);
        wl_shm_pool_destroy(pool);
        close(fd);
        wl_surface_damage(surface, 0, 0, width, height);
    }
    wl_surface_commit(surface);
    configured = true;
}
static const struct xdg_surface_listener xdg_surface_listener = {xs_configure};

static void top_configure(void *d, struct xdg_toplevel *t, int32_t w, int32_t h, struct wl_array *s)
{ }
static void top_close(void *d, struct xdg_toplevel *t)
{
    exit(0);
}
static const struct xdg_toplevel_listener toplevel_listener
    = {.configure = top_configure, .close = top_close};

static int window_mode(const char *app_id)
{
    if (!compositor || !shm || !wm_base || !seat)
        die(2, "no xdg-shell");
    xdg_wm_base_add_listener(wm_base, &wm_listener, NULL);
    wl_seat_add_listener(seat, &seat_listener, NULL);
    surface = wl_compositor_create_surface(compositor);
    struct xdg_surface *xdg_surface = xdg_wm_base_get_xdg_surface(wm_base, surface);
    xdg_surface_add_listener(xdg_surface, &xdg_surface_listener, NULL);
    struct xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdg_surface);
    xdg_toplevel_add_listener(toplevel, &toplevel_listener, NULL);
    xdg_toplevel_set_app_id(toplevel, app_id);
    xdg_toplevel_set_title(toplevel, "Scrivlet probe");
    wl_surface_commit(surface);
    if (!dispatch_until(&configured))
        die(1, "the window was never configured");
    roundtrip();
    printf("ready\n");
    bool never = false;
    dispatch_until(&never);
    return 0;
}

// ---- a virtual keyboard

#define MAX_KEYS 8
static int keys[MAX_KEYS], key_count;

static void parse_keys(const char *list)
{
    for (const char *p = list; *p && key_count < MAX_KEYS; p += strcspn(p, ","), p += *p == ',')
        keys[key_count++] = atoi(p);
}

static int fake_key_mode(int hold_ms)
{
    org_kde_kwin_fake_input_authenticate(fake_input, "Scrivlet probe", "tests");
    for (int i = 0; i < key_count; i++)
        org_kde_kwin_fake_input_keyboard_key(
            fake_input, (uint32_t)keys[i], WL_KEYBOARD_KEY_STATE_PRESSED);
    for (int i = key_count - 1; i >= 0; i--)
        org_kde_kwin_fake_input_keyboard_key(
            fake_input, (uint32_t)keys[i], WL_KEYBOARD_KEY_STATE_RELEASED);
    roundtrip();
    if (!key_count)
        printf("keymap of KWin's own\n");
    usleep((useconds_t)hold_ms * 1000);
    if (key_count)
        printf("sent key %d\n", keys[key_count - 1]);
    return 0;
}

// No keys: Shift pressed and let go, a change of modifiers, is what makes
// the keyboard the seat's.
static int key_mode(const char *layout, int hold_ms)
{
    if ((!keyboard_manager || !seat) && fake_input)
        return fake_key_mode(hold_ms);
    if (!keyboard_manager || !seat)
        die(2, "no virtual keyboard manager offered");
    char layout_name[64] = "us";
    snprintf(layout_name, sizeof layout_name, "%s", layout);
    char *variant = strchr(layout_name, ':');
    if (variant)
        *variant++ = '\0';
    struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    struct xkb_rule_names names = {"evdev", "pc105", layout_name, variant ? variant : "", ""};
    struct xkb_keymap *keymap = context ? xkb_keymap_new_from_names(context, &names, 0) : NULL;
    if (!keymap)
        die(1, "no keymap");
    char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    uint32_t size = (uint32_t)strlen(text) + 1;
    int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text, size) != (ssize_t)size)
        die(1, "no shared memory");

    struct zwp_virtual_keyboard_v1 *vk
        = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboard_manager, seat);
    zwp_virtual_keyboard_v1_keymap(vk, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
    roundtrip();
    // The focused client binds its wl_keyboard once the seat gains one: give
    // it that moment, or the key reaches nobody.
    usleep(300 * 1000);
    uint32_t t = (uint32_t)now_ms();
    for (int i = 0; i < key_count; i++)
        zwp_virtual_keyboard_v1_key(vk, t++, (uint32_t)keys[i], WL_KEYBOARD_KEY_STATE_PRESSED);
    for (int i = key_count - 1; i >= 0; i--)
        zwp_virtual_keyboard_v1_key(vk, t++, (uint32_t)keys[i], WL_KEYBOARD_KEY_STATE_RELEASED);
    if (!key_count) {
        zwp_virtual_keyboard_v1_modifiers(vk, 1, 0, 0, 0);
        zwp_virtual_keyboard_v1_modifiers(vk, 0, 0, 0, 0);
        roundtrip();
        printf("keymap %s\n", layout);
    }
    roundtrip();
    usleep((useconds_t)hold_ms * 1000);
    zwp_virtual_keyboard_v1_destroy(vk);
    roundtrip();
    if (key_count)
        printf("sent key %d\n", keys[key_count - 1]);
    free(text);
    close(fd);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return 0;
}

int main(int argc, char **argv)
{
    const char *mode = NULL, *arg = NULL;
    int timeout = 5000, hold_ms = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        bool has_value = i + 1 < argc;
        if (!strcmp(a, "--mute"))
            mute_all = true;
        else if (!strcmp(a, "--timeout") && has_value)
            timeout = atoi(argv[++i]);
        else if (!strcmp(a, "--hold") && has_value)
            hold_ms = atoi(argv[++i]);
        else if ((!strcmp(a, "--serve") || !strcmp(a, "--window") || !strcmp(a, "--key")
                     || !strcmp(a, "--keymap"))
            && has_value)
            mode = a + 2, arg = argv[++i];
        else if (!strcmp(a, "--mute-type") && has_value && served_count < MAX_SERVED)
            served[served_count++] = (struct served) {argv[++i], "", true};
        else if (!strcmp(a, "--offer") && has_value && served_count < MAX_SERVED) {
            char *pair = argv[++i], *eq = strchr(pair, '=');
            if (!eq)
                die(2, "--offer takes MIME=VALUE");
            *eq = '\0';
            served[served_count++] = (struct served) {pair, eq + 1, false};
        } else
            die(2, "usage: see the head of probe.c");
    }
    if (!mode)
        die(2, "usage: see the head of probe.c");
    setvbuf(stdout, NULL, _IOLBF, 0);
    display = wl_display_connect(NULL);
    if (!display)
        die(2, "no Wayland display");
    deadline_ms = now_ms() + timeout;
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    roundtrip();

    if (!strcmp(mode, "window"))
        return window_mode(arg);
    if (!strcmp(mode, "key")) {
        parse_keys(arg);
        return key_mode("us", hold_ms);
    }
    if (!strcmp(mode, "keymap"))
        return key_mode(arg, hold_ms);
    served[0].mime = "text/plain;charset=utf-8";
    served[1].mime = "text/plain";
    served[0].value = served[1].value = arg;
    return serve_mode();
}
