#!/usr/bin/python3
"""A desktop notification server stand-in on the session bus
(org.freedesktop.Notifications): prints each call it gets as a JSON line,
and on the line "invoke ID ACTION" from standard input emits ActionInvoked
as a server does when the user picks that action. Prints "ready" once its
name is owned."""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


def say(record):
    print(json.dumps(record, ensure_ascii=False), flush=True)


class Server(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.last_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if not replaces:
            self.last_id += 1
        say({"notify": int(replaces or self.last_id), "app": str(app), "summary": str(summary), "body": str(body),
             "actions": [str(a) for a in actions], "timeout": int(timeout)})
        return replaces or self.last_id

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, id):
        say({"close": int(id)})
        self.NotificationClosed(id, 3)

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ("stand-in", "velmora tests", "1", "1.2")

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, id, action):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, id, reason):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    server = Server(bus)
    name = dbus.service.BusName(NAME, bus)  # noqa: F841 (owned while it lives)

    def command(source, _):
        line = source.readline()
        if not line:
            loop.quit()
            return False
        _, id, action = line.split()
        server.ActionInvoked(dbus.UInt32(int(id)), action)
        return True

    loop = GLib.MainLoop()
    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    say({"ready": True})
    loop.run()


if __name__ == "__main__":
    main()
