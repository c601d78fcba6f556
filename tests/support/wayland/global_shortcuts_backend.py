#!/usr/bin/env python3
"""A GlobalShortcuts backend of the desktop portal, for tests only.

It binds what it is asked to, as a desktop that accepts every preferred
trigger would, but, as Plasma 5.27 does, only shortcuts that the session
announced when it was made. It offers the test three methods on
org.lumivanta.TestShortcuts: Bound() lists the ids of the shortcuts bound so
far, Activate(id) emits Activated and Deactivated for that shortcut in every
session, and Refuse(id) leaves that shortcut out of later bindings.
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IMPL = "org.freedesktop.impl.portal.GlobalShortcuts"
TEST = "org.lumivanta.TestShortcuts"


class Backend(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.sessions = {}
        self.announced = {}
        self.refused = set()

    @dbus.service.method(IMPL, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.sessions[str(session_handle)] = []
        self.announced[str(session_handle)] = {str(shortcut[0]) for shortcut in options.get("shortcuts", [])}
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(IMPL, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options):
        bound = []
        for shortcut_id, properties in shortcuts:
            if shortcut_id not in self.announced.get(str(session_handle), ()) or shortcut_id in self.refused:
                continue
            bound.append(dbus.Struct((shortcut_id, dbus.Dictionary({
                "description": properties.get("description", ""),
                "trigger_description": properties.get("preferred_trigger", ""),
            }, signature="sv"))))
        self.sessions[str(session_handle)] = bound
        return dbus.UInt32(0), dbus.Dictionary(
            {"shortcuts": dbus.Array(bound, signature="(sa{sv})")}, signature="sv")

    @dbus.service.method(IMPL, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session_handle):
        bound = self.sessions.get(str(session_handle), [])
        return dbus.UInt32(0), dbus.Dictionary(
            {"shortcuts": dbus.Array(bound, signature="(sa{sv})")}, signature="sv")

    @dbus.service.signal(IMPL, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(IMPL, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.method(TEST, in_signature="", out_signature="as")
    def Bound(self):
        return dbus.Array([str(shortcut[0]) for bound in self.sessions.values() for shortcut in bound],
                          signature="s")

    @dbus.service.method(TEST, in_signature="s", out_signature="")
    def Refuse(self, shortcut_id):
        self.refused.add(str(shortcut_id))

    @dbus.service.method(TEST, in_signature="s", out_signature="")
    def Activate(self, shortcut_id):
        for session_handle in self.sessions:
            path = dbus.ObjectPath(session_handle)
            self.Activated(path, shortcut_id, dbus.UInt64(0), dbus.Dictionary({}, signature="sv"))
            self.Deactivated(path, shortcut_id, dbus.UInt64(0), dbus.Dictionary({}, signature="sv"))


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(TEST, bus)
    backend = Backend(bus)
    print("bound to the bus", flush=True)
    GLib.MainLoop().run()
    del name, backend


if __name__ == "__main__":
    sys.exit(main())
