#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in for the desktop portal's GlobalShortcuts and RemoteDesktop, on
the session bus, for Scrivlet's integration tests. Requests answer at once,
before the method returns, as a fast portal may: a caller that listens for
the answer only after the call misses it.

Driven through the interface org.scrivlet.FakePortal on the same object:
  Refuse(method, response)   the next requests of that method answer with it
  SetRemoteDesktop(version, devices, restore_token)
  Calls() -> JSON list of [method, arguments...] received, oldest first
  Activate(id) / Deactivate(id) / ChangeTrigger(id, description)
  CloseRemoteSessions()      the desktop ends the RemoteDesktop sessions
Options: --without INTERFACE (not offered: its version cannot be read)."""

import argparse
import ctypes
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service

BUS_NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REMOTE = "org.freedesktop.portal.RemoteDesktop"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
PROPERTIES = "org.freedesktop.DBus.Properties"
CONTROL = "org.scrivlet.FakePortal"


def sender_part(sender):
    return sender.lstrip(":").replace(".", "_")


def plain(value):
    """dbus-python values as JSON-friendly Python ones."""
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, str):
        return str(value)
    if isinstance(value, int):
        return int(value)
    return value


class Request(dbus.service.Object):
    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method(REQUEST)
    def Close(self):
        pass


class Session(dbus.service.Object):
    def __init__(self, connection, path, kind):
        super().__init__(connection, path)
        self.path = path
        self.kind = kind
        self.shortcuts = {}
        self.open = True

    @dbus.service.signal(SESSION, signature="a{sv}")
    def Closed(self, details):
        pass

    @dbus.service.method(SESSION)
    def Close(self):
        self.portal.calls.append(["Session.Close", self.path])
        self.end()

    def end(self):
        if self.open:
            self.open = False
            self.remove_from_connection()
            self.portal.sessions.pop(self.path, None)


class RemoteDesktopSessions(dbus.service.Object):
    # dbus-python finds a method by name along the class hierarchy, skipping
    # those of another interface: the two CreateSession live in two classes.
    @dbus.service.method(REMOTE, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self.create_session("RemoteDesktop", options, sender)


class Portal(RemoteDesktopSessions):
    def __init__(self, connection, without):
        super().__init__(connection, PATH)
        self.bus = connection
        self.without = without
        self.calls = []
        self.refusals = {}
        self.sessions = {}
        self.remote_version = 2
        self.devices = 1
        self.restore_token = "token-2"

    # Requests

    def answer(self, method, sender, options, results):
        token = str(options.get("handle_token", "t%d" % len(self.calls)))
        path = "%s/request/%s/%s" % (PATH, sender_part(sender), token)
        request = Request(self.bus, path)
        response = self.refusals.get(method, 0)
        request.Response(dbus.UInt32(response),
                         dbus.Dictionary(results if response == 0 else {}, signature="sv"))
        request.remove_from_connection()
        return dbus.ObjectPath(path)

    def create_session(self, kind, options, sender):
        self.calls.append([kind + ".CreateSession", options])
        token = str(options.get("session_handle_token", "s%d" % len(self.calls)))
        path = "%s/session/%s/%s" % (PATH, sender_part(sender), token)
        if self.refusals.get(kind + ".CreateSession", 0) == 0:
            session = Session(self.bus, path, kind)
            session.portal = self
            self.sessions[path] = session
        return self.answer(kind + ".CreateSession", sender, options,
                           {"session_handle": dbus.String(path)})

    def session(self, path, kind):
        session = self.sessions.get(str(path))
        if session is None or session.kind != kind:
            raise dbus.exceptions.DBusException(
                "no such session", name="org.freedesktop.DBus.Error.AccessDenied")
        return session

    # GlobalShortcuts

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self.create_session("GlobalShortcuts", options, sender)

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session_path, shortcuts, parent_window, options, sender=None):
        self.calls.append(["GlobalShortcuts.BindShortcuts", session_path, shortcuts,
                           parent_window, options])
        session = self.session(session_path, "GlobalShortcuts")
        bound = []
        for shortcut_id, properties in shortcuts:
            trigger = str(properties.get("preferred_trigger", ""))
            session.shortcuts[str(shortcut_id)] = trigger
            bound.append(self.shortcut_entry(shortcut_id, properties, trigger))
        return self.answer("GlobalShortcuts.BindShortcuts", sender, options,
                           {"shortcuts": dbus.Array(bound, signature="(sa{sv})")})

    @staticmethod
    def shortcut_entry(shortcut_id, properties, trigger):
        return dbus.Struct((dbus.String(shortcut_id), dbus.Dictionary({
            "description": dbus.String(properties.get("description", "")),
            "trigger_description": dbus.String("Bound: " + trigger),
        }, signature="sv")), signature="sa{sv}")

    @dbus.service.method(SHORTCUTS, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def ListShortcuts(self, session_path, options, sender=None):
        self.calls.append(["GlobalShortcuts.ListShortcuts", session_path, options])
        session = self.session(session_path, "GlobalShortcuts")
        listed = [self.shortcut_entry(i, {}, t) for i, t in session.shortcuts.items()]
        return self.answer("GlobalShortcuts.ListShortcuts", sender, options,
                           {"shortcuts": dbus.Array(listed, signature="(sa{sv})")})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session_handle, shortcuts):
        pass

    # RemoteDesktop

    @dbus.service.method(REMOTE, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def SelectDevices(self, session_path, options, sender=None):
        self.calls.append(["RemoteDesktop.SelectDevices", session_path, options])
        self.session(session_path, "RemoteDesktop")
        return self.answer("RemoteDesktop.SelectDevices", sender, options, {})

    @dbus.service.method(REMOTE, in_signature="osa{sv}", out_signature="o",
                         sender_keyword="sender")
    def Start(self, session_path, parent_window, options, sender=None):
        self.calls.append(["RemoteDesktop.Start", session_path, parent_window, options])
        self.session(session_path, "RemoteDesktop")
        results = {"devices": dbus.UInt32(self.devices)}
        if self.remote_version >= 2 and self.restore_token:
            results["restore_token"] = dbus.String(self.restore_token)
        return self.answer("RemoteDesktop.Start", sender, options, results)

    @dbus.service.method(REMOTE, in_signature="oa{sv}iu")
    def NotifyKeyboardKeysym(self, session_path, options, keysym, state):
        self.session(session_path, "RemoteDesktop")
        self.calls.append(["RemoteDesktop.NotifyKeyboardKeysym", int(keysym), int(state)])

    # Properties

    def versions(self):
        versions = {SHORTCUTS: 1, REMOTE: self.remote_version}
        return {k: v for k, v in versions.items() if k.rsplit(".", 1)[1] not in self.without}

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        versions = self.versions()
        if interface not in versions or name != "version":
            raise dbus.exceptions.DBusException(
                "no such property", name="org.freedesktop.DBus.Error.InvalidArgs")
        return dbus.UInt32(versions[interface])

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        versions = self.versions()
        if interface not in versions:
            return dbus.Dictionary({}, signature="sv")
        return dbus.Dictionary({"version": dbus.UInt32(versions[interface])}, signature="sv")

    # Control

    @dbus.service.method(CONTROL, in_signature="su")
    def Refuse(self, method, response):
        self.refusals[str(method)] = int(response)

    @dbus.service.method(CONTROL, in_signature="uus")
    def SetRemoteDesktop(self, version, devices, restore_token):
        self.remote_version = int(version)
        self.devices = int(devices)
        self.restore_token = str(restore_token)

    @dbus.service.method(CONTROL, out_signature="s")
    def Calls(self):
        return json.dumps(plain(self.calls))

    def bound_sessions(self, shortcut_id):
        return [s for s in list(self.sessions.values())
                if s.kind == "GlobalShortcuts" and shortcut_id in s.shortcuts]

    @dbus.service.method(CONTROL, in_signature="s", out_signature="u")
    def Activate(self, shortcut_id):
        sessions = self.bound_sessions(shortcut_id)
        for s in sessions:
            self.Activated(dbus.ObjectPath(s.path), shortcut_id, dbus.UInt64(1),
                           dbus.Dictionary({}, signature="sv"))
        return len(sessions)

    @dbus.service.method(CONTROL, in_signature="s", out_signature="u")
    def Deactivate(self, shortcut_id):
        sessions = self.bound_sessions(shortcut_id)
        for s in sessions:
            self.Deactivated(dbus.ObjectPath(s.path), shortcut_id, dbus.UInt64(2),
                             dbus.Dictionary({}, signature="sv"))
        return len(sessions)

    @dbus.service.method(CONTROL, in_signature="ss", out_signature="u")
    def ChangeTrigger(self, shortcut_id, description):
        sessions = self.bound_sessions(shortcut_id)
        for s in sessions:
            entry = dbus.Struct((shortcut_id, dbus.Dictionary(
                {"trigger_description": dbus.String(description)}, signature="sv")),
                signature="sa{sv}")
            self.ShortcutsChanged(dbus.ObjectPath(s.path),
                                  dbus.Array([entry], signature="(sa{sv})"))
        return len(sessions)

    @dbus.service.method(CONTROL, out_signature="u")
    def CloseRemoteSessions(self):
        sessions = [s for s in list(self.sessions.values()) if s.kind == "RemoteDesktop"]
        for s in sessions:
            s.Closed(dbus.Dictionary({}, signature="sv"))
            s.end()
        return len(sessions)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--without", action="append", default=[],
                        choices=["GlobalShortcuts", "RemoteDesktop"])
    args = parser.parse_args()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, set(args.without))
    # The name is released when this object goes.
    portal.bus_name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    print("ready", flush=True)
    # GLib's loop through ctypes: python3-gi is only a recommendation of
    # python3-dbus, and setup installs without recommendations.
    glib = ctypes.CDLL("libglib-2.0.so.0")
    glib.g_main_loop_new.restype = ctypes.c_void_p
    glib.g_main_loop_new.argtypes = [ctypes.c_void_p, ctypes.c_int]
    glib.g_main_loop_run.argtypes = [ctypes.c_void_p]
    glib.g_main_loop_run(glib.g_main_loop_new(None, 0))


if __name__ == "__main__":
    sys.exit(main())
