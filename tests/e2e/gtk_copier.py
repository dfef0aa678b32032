#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Test tool: a GTK 4 program that copies TEXT when it gets a key, as a user's
# application does (the compositor takes a copy only from a window that has
# had input). Prints `active` and `inactive` as its window gains and loses the
# focus, and `copied` after the copy.
#   gtk_copier.py [--offer TYPE=VALUE]... [--mute] [--keys] APP_ID [TEXT]
# --offer adds a type to the copy; with one, each type asked for is logged
# (`send TYPE`), and --mute never answers. --keys logs each key pressed
# (`key NAME MODIFIERS`) and copies nothing unless TEXT is given.
import argparse

import gi

gi.require_version("Gdk", "4.0")
gi.require_version("Gtk", "4.0")
from gi.repository import Gdk, GLib, GObject, Gtk  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--offer", action="append", default=[])
parser.add_argument("--mute", action="store_true")
parser.add_argument("--keys", action="store_true")
parser.add_argument("app_id")
parser.add_argument("text", nargs="?")
args = parser.parse_args()


class LoggingProvider(Gdk.ContentProvider):
    """Serves its types and says which were asked for."""

    def __init__(self, types):
        super().__init__()
        self.types = types
        self.inner = Gdk.ContentProvider.new_union(
            [Gdk.ContentProvider.new_for_bytes(mime, GLib.Bytes.new(value))
             for mime, value in types.items()])

    def do_ref_formats(self):
        builder = Gdk.ContentFormatsBuilder.new()
        for mime in self.types:
            builder.add_mime_type(mime)
        return builder.to_formats()

    def do_write_mime_type_async(self, mime, stream, priority, cancellable, callback, *data):
        print("send", mime, flush=True)
        if args.mute:
            self.held = stream  # never answered
            return
        self.inner.write_mime_type_async(mime, stream, priority, cancellable, callback, *data)

    def do_write_mime_type_finish(self, result):
        return self.inner.write_mime_type_finish(result)


def content():
    if not args.offer and not args.mute:
        return Gdk.ContentProvider.new_for_value(GObject.Value(GObject.TYPE_STRING, args.text))
    types = {"text/plain;charset=utf-8": args.text.encode()}
    for offer in args.offer:
        mime, _, value = offer.partition("=")
        types[mime] = value.encode()
    return LoggingProvider(types)


app = Gtk.Application(application_id=args.app_id)


def on_activate(application):
    window = Gtk.ApplicationWindow(application=application, title="Scrivlet copier")
    keys = Gtk.EventControllerKey()

    def on_key(controller, keyval, keycode, state):
        if args.keys:
            mods = state & (Gdk.ModifierType.CONTROL_MASK | Gdk.ModifierType.SHIFT_MASK
                            | Gdk.ModifierType.ALT_MASK | Gdk.ModifierType.SUPER_MASK)
            print("key", Gdk.keyval_name(keyval), int(mods), flush=True)
        if args.text is not None and not getattr(window, "copied", False):
            window.copied = True
            window.provider = content()
            window.get_clipboard().set_content(window.provider)
            print("copied", flush=True)
        return True

    keys.connect("key-pressed", on_key)
    window.add_controller(keys)
    window.connect("notify::is-active",
                   lambda w, _: print("active" if w.is_active() else "inactive", flush=True))
    window.present()


app.connect("activate", on_activate)
app.run([])
