#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Test tool: a GTK 4 program that copies TEXT when it gets a key, as a user's
# application does (the compositor takes a copy only from a window that has
# had input). Prints `active` when its window has the focus, `copied` after.
#   gtk_copier.py APP_ID TEXT
import sys

import gi

gi.require_version("Gdk", "4.0")
gi.require_version("Gtk", "4.0")
from gi.repository import Gdk, GObject, Gtk  # noqa: E402

app_id, text = sys.argv[1], sys.argv[2]
app = Gtk.Application(application_id=app_id)


def on_activate(application):
    window = Gtk.ApplicationWindow(application=application, title="Scrivlet copier")
    keys = Gtk.EventControllerKey()

    def on_key(controller, keyval, keycode, state):
        value = GObject.Value(GObject.TYPE_STRING, text)
        window.get_clipboard().set_content(Gdk.ContentProvider.new_for_value(value))
        print("copied", flush=True)
        return True

    keys.connect("key-pressed", on_key)
    window.add_controller(keys)
    window.connect("notify::is-active", lambda w, _: w.is_active() and print("active", flush=True))
    window.present()


app.connect("activate", on_activate)
app.run([])
