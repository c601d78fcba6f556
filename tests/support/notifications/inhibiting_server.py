#!/usr/bin/env python3
"""A notification server that offers Inhibit and UnInhibit, as KDE Plasma's
does, for tests only. It owns org.freedesktop.Notifications on the session
bus and prints one line for each call: "inhibit <cookie> <desktop entry>",
"uninhibit <cookie>"; and "ready" once it owns its name.
"""
import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.next_cookie = 41

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return "inhibiting-test-server", "lumivanta", "1", "1.2"

    @dbus.service.method(NAME, in_signature="ssa{sv}", out_signature="u")
    def Inhibit(self, desktop_entry, reason, hints):
        self.next_cookie += 1
        print(f"inhibit {self.next_cookie} {desktop_entry}", flush=True)
        return dbus.UInt32(self.next_cookie)

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        print(f"uninhibit {cookie}", flush=True)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
server = Server(bus)
name = dbus.service.BusName(NAME, bus)
print("ready", flush=True)
GLib.MainLoop().run()
