#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The extension in a real headless GNOME Shell, with this script as
# Scrivlet: it owns org.scrivlet.Scrivlet and calls the bridge as Scrivlet
# would. Run by tests/fixtures/session --gnome --extension DIR, which puts a
# keyboard FIFO in GNOME_KEYBOARD.
#   shell_bridge_test.py GTK_COPIER
import os
import subprocess
import sys
import tempfile
import threading
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

SHELL = "org.gnome.Shell"
PATH = "/org/scrivlet/Scrivlet/Shell"
IFACE = "org.scrivlet.Scrivlet.Shell"
UUID = "scrivlet@scrivlet.org"
ERROR = IFACE + ".Error."
KEY_LEFTMETA, KEY_LEFTSHIFT, KEY_V = 125, 42, 47
# A bound on waiting for facts that do arrive; never what a check measures.
PATIENCE = 20

copier = sys.argv[1]
failures = []
passed = 0


def check(name, ok, detail=""):
    global passed
    if ok:
        passed += 1
        print(f"ok   {name}", flush=True)
    else:
        failures.append(name)
        print(f"FAIL {name} {detail}", flush=True)


def wait_for(predicate, what):
    context = GLib.MainContext.default()
    deadline = time.monotonic() + PATIENCE
    while time.monotonic() < deadline:
        while context.iteration(False):
            pass
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    print(f"     (gave up waiting for {what})", flush=True)
    return None


def connect():
    address = Gio.dbus_address_get_for_bus_sync(Gio.BusType.SESSION, None)
    return Gio.DBusConnection.new_for_address_sync(
        address,
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)


def call(bus, method, args=None, fds=None):
    """The reply's values, or the D-Bus error name; the loop runs meanwhile."""
    box = {}

    def done(conn, result):
        try:
            if fds is not None:
                box["reply"] = conn.call_with_unix_fd_list_finish(result)[0].unpack()
            else:
                box["reply"] = conn.call_finish(result).unpack()
        except GLib.Error as error:
            box["reply"] = Gio.DBusError.get_remote_error(error) or error.message

    if fds is not None:
        bus.call_with_unix_fd_list(SHELL, PATH, IFACE, method, args, None,
                                   Gio.DBusCallFlags.NONE, -1, fds, None, done)
    else:
        bus.call(SHELL, PATH, IFACE, method, args, None, Gio.DBusCallFlags.NONE, -1, None, done)
    wait_for(lambda: "reply" in box, f"{method}'s reply")
    return box.get("reply")


class Signals:
    def __init__(self, bus, sender=SHELL):
        self.seen = []
        bus.signal_subscribe(sender, IFACE, None, PATH, None, Gio.DBusSignalFlags.NONE,
                             lambda _c, _s, _p, _i, name, params, *_: self.seen.append(
                                 (name, params.unpack())))

    def wait(self, name, match=lambda args: True, what=None):
        def find():
            for index, (seen_name, args) in enumerate(self.seen):
                if seen_name == name and match(args):
                    del self.seen[:index + 1]
                    return [args]  # truthy even for a signal without arguments
            return None
        found = wait_for(find, what or name)
        return found[0] if found else None


class Program:
    """A child whose stdout lines are collected as they come."""

    def __init__(self, *argv):
        self.lines = []
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.strip())

    def said(self, text):
        return wait_for(lambda: text in self.lines, f"'{text}' from {self.process.args[1]}")

    def stop(self):
        self.process.terminate()
        self.process.wait()


def press(*codes):
    reply = tempfile.mktemp(prefix="keys-")
    with open(os.environ["GNOME_KEYBOARD"], "w") as fifo:
        fifo.write(f"key {','.join(map(str, codes))} {reply}\n")
    wait_for(lambda: os.path.exists(reply), "the keys to be sent")


def read(bus, serial, mime):
    """(bytes, error name or None) of Read through a pipe. The copies here are
    small: the pipe holds them whole, so the reply comes before any reading."""
    read_end, write_end = os.pipe()
    fds = Gio.UnixFDList.new_from_array([write_end])  # takes write_end
    reply = call(bus, "Read", GLib.Variant("(ush)", (serial, mime, 0)), fds)
    os.set_blocking(read_end, False)
    chunks = []
    while True:
        try:
            chunk = os.read(read_end, 65536)
        except BlockingIOError:
            break
        if not chunk:
            break
        chunks.append(chunk)
    os.close(read_end)
    return b"".join(chunks), (reply if isinstance(reply, str) else None)


def paste(mime):
    return subprocess.run(["wl-paste", "--no-newline", "-t", mime], capture_output=True,
                          timeout=PATIENCE).stdout


def owned_name(bus):
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", GLib.Variant("(su)", ("org.scrivlet.Scrivlet", 4)),
                          None, Gio.DBusCallFlags.NONE, -1, None)
    return reply.unpack()[0] == 1


# --- who may call ----------------------------------------------------------
stranger = connect()
check("a caller that owns nothing is refused",
      call(stranger, "Attach") == ERROR + "NotScrivlet")
scrivlet = connect()
signals = Signals(scrivlet)
spy = connect()
spied = Signals(spy, sender=None)
check("the test owns org.scrivlet.Scrivlet", owned_name(scrivlet))
wait_for(lambda: call(scrivlet, "Selection") != ERROR + "NotScrivlet", "the owner to be seen")
for method, args in [("Attach", None), ("Selection", None), ("FocusedWindow", None),
                     ("BindShortcut", GLib.Variant("(s)", ("<Super>q",))),
                     ("SendKeys", GLib.Variant("(a(ub))", ([(0x61, True)],)))]:
    check(f"{method} from another connection is refused while Scrivlet runs",
          call(stranger, method, args) == ERROR + "NotScrivlet")
check("Attach names the extension and version 1", call(scrivlet, "Attach") == (UUID, 1))

# --- copies of other programs ------------------------------------------------
subprocess.run(["wl-copy", "--type", "text/plain;charset=utf-8", "from wl-copy"], check=True)
changed = signals.wait("SelectionChanged", lambda a: "text/plain;charset=utf-8" in a[1],
                       "wl-copy's copy")
check("a wl-copy is announced with its type, origin application",
      changed is not None and changed[3] == "application", str(changed))
serial = changed[0] if changed else 0
check("Selection repeats the last announcement",
      changed is not None and call(scrivlet, "Selection") == changed,
      f"{call(scrivlet, 'Selection')} {changed}")
data, error = read(scrivlet, serial, "text/plain;charset=utf-8")
check("Read gives the bytes of the copy", data == b"from wl-copy" and error is None,
      f"{data!r} {error}")
for name, (args, wanted) in {
    "a stale serial is refused": ((serial - 1, "text/plain;charset=utf-8"), "Stale"),
    "a type not offered is refused": ((serial, "image/png"), "NotOffered"),
}.items():
    data, error = read(scrivlet, *args)
    check(name, error == ERROR + wanted and data == b"", f"{error} {data!r}")

# --- our own copies ------------------------------------------------------------
formats = [("text/plain;charset=utf-8", b"from Scrivlet"), ("text/html", b"<b>from Scrivlet</b>")]
reply = call(scrivlet, "SetClipboard", GLib.Variant("(a(say))", (formats,)))
check("SetClipboard succeeds", reply == (), str(reply))
changed = signals.wait("SelectionChanged", lambda a: a[3] == "scrivlet", "our copy's announcement")
check("our copy is announced with all its types, origin scrivlet",
      changed is not None and sorted(changed[1]) == sorted(t for t, _ in formats), str(changed))
for mime, wanted in formats:
    check(f"wl-paste reads our {mime}", paste(mime) == wanted)

# --- a program that quits, and the focus -------------------------------------
program = Program(sys.executable, copier, "org.scrivlet.TestCopier", "from GTK")
program.said("active")
focused = call(scrivlet, "FocusedWindow")
check("FocusedWindow names the GTK window by its application id",
      isinstance(focused, tuple) and focused[0] != 0 and focused[1] == "org.scrivlet.TestCopier",
      str(focused))
check("the focus change was told to Scrivlet",
      signals.wait("FocusChanged", lambda a: a[1] == "org.scrivlet.TestCopier") is not None)
press(KEY_V)
program.said("copied")
changed = signals.wait("SelectionChanged", lambda a: a[3] == "application" and a[2] ==
                       "org.scrivlet.TestCopier", "the GTK copy")
check("a GTK copy is announced with its application", changed is not None, str(changed))
program.stop()
gone = signals.wait("SelectionChanged", lambda a: True, "the copier quitting")
kept = signals.wait("SelectionChanged", lambda a: True, "the Shell's kept copy")
check("a program quitting gives origin none with no types",
      gone is not None and gone[3] == "none" and gone[1] == [], str(gone))
check("then the Shell's kept copy, origin kept",
      kept is not None and kept[3] == "kept" and kept[1], str(kept))
data, error = read(scrivlet, kept[0] if kept else 0, kept[1][0] if kept and kept[1] else "")
check("the kept copy reads as the program's text", data == b"from GTK", f"{data!r} {error}")

# --- windows and keys ------------------------------------------------------------
check("ActivateWindow of no window is false",
      call(scrivlet, "ActivateWindow", GLib.Variant("(t)", (987654321,))) == (False,))
typer = Program(sys.executable, os.path.join(os.path.dirname(__file__), "gtk_typer.py"))
typer.said("active")
typer_id = call(scrivlet, "FocusedWindow")[0]
other = Program(sys.executable, copier, "org.scrivlet.OtherWindow", "x")
other.said("active")
check("ActivateWindow brings the typing window back",
      call(scrivlet, "ActivateWindow", GLib.Variant("(t)", (typer_id,))) == (True,))
keys = [(sym, down) for sym in (0x61, 0x42) for down in (True, False)]  # a, B
check("SendKeys is accepted",
      call(scrivlet, "SendKeys", GLib.Variant("(a(ub))", (keys,))) == (True,))
check("SendKeys types into the focused GTK window", typer.said("text aB"))
other.stop()
typer.stop()

for accel, wanted in [("<Super><Shift>v", True), ("not a combination", False)]:
    check(f"BindShortcut {accel!r} answers {wanted}",
          call(scrivlet, "BindShortcut", GLib.Variant("(s)", (accel,))) == (wanted,))
check("BindShortcut '<Super><Shift>v' again", call(
    scrivlet, "BindShortcut", GLib.Variant("(s)", ("<Super><Shift>v",))) == (True,))
press(KEY_LEFTMETA, KEY_LEFTSHIFT, KEY_V)
check("typing the combination gives ShortcutActivated",
      signals.wait("ShortcutActivated") is not None)

# --- off and on again --------------------------------------------------------------
subprocess.run(["gnome-extensions", "disable", UUID], check=True)
check("disabled, the object is gone", wait_for(
    lambda: call(scrivlet, "Selection") == "org.freedesktop.DBus.Error.UnknownMethod",
    "the object to go"))
subprocess.run(["gnome-extensions", "enable", UUID], check=True)
check("enabled again, Attach answers",
      wait_for(lambda: call(scrivlet, "Attach") == (UUID, 1), "the object to come back"))
subprocess.run(["wl-copy", "after re-enabling"], check=True)
changed = signals.wait("SelectionChanged", lambda a: a[3] == "application", "a copy after enable")
data, _ = read(scrivlet, changed[0] if changed else 0, "text/plain;charset=utf-8")
check("copies are announced and read after re-enabling", data == b"after re-enabling",
      repr(data))
reply = call(scrivlet, "SetClipboard", GLib.Variant("(a(say))", (formats,)))
check("our copies are served after re-enabling",
      reply == () and paste("text/html") == formats[1][1], str(reply))

check("no signal reached a connection that is not Scrivlet", spied.seen == [], str(spied.seen))
subprocess.run(["wl-copy", "--clear"])
print(f"{passed} passed, {len(failures)} failed", flush=True)
sys.exit(1 if failures else 0)
