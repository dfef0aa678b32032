#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Test tool: a GTK 4 window with a text field. Prints `active` when it has
# the focus and `text TEXT` whenever the field changes.
import gi

gi.require_version("Gtk", "4.0")
from gi.repository import Gtk  # noqa: E402

app = Gtk.Application(application_id="org.scrivlet.TestTyper")


def on_activate(application):
    window = Gtk.ApplicationWindow(application=application, title="Scrivlet typer")
    field = Gtk.Text()
    field.connect("changed", lambda f: print(f"text {f.get_text()}", flush=True))
    window.set_child(field)
    window.connect("notify::is-active", lambda w, _: w.is_active() and print("active", flush=True))
    window.present()
    field.grab_focus()


app.connect("activate", on_activate)
app.run([])
