#!/usr/bin/env python3
"""A notification server that offers Inhibit and UnInhibit, as KDE Plasma's
does, for tests only: it owns org.freedesktop.Notifications on the session
bus, prints "ready", then one line per call ("inhibit <cookie> <desktop
entry>", "uninhibit <cookie>")."""
import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Server(dbus.service.Object):
    cookies = 0

    @dbus.service.method(NAME, in_signature="ssa{sv}", out_signature="u")
    def Inhibit(self, desktop_entry, reason, hints):
        self.cookies += 1
        print(f"inhibit {self.cookies} {desktop_entry}", flush=True)
        return dbus.UInt32(self.cookies)

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        print(f"uninhibit {cookie}", flush=True)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
server = Server(bus, "/org/freedesktop/Notifications")
name = dbus.service.BusName(NAME, bus)
print("ready", flush=True)
GLib.MainLoop().run()
