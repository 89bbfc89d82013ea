#!/usr/bin/env python3
"""A StatusNotifier watcher and host, as a panel runs them, on the session
bus of DBUS_SESSION_BUS_ADDRESS. Prints one JSON object a line:
{"ready": true}, {"registered": SERVICE} when an item registers,
{"gone": SERVICE} when its owner leaves the bus. Commands on standard input,
each answered with one line:
  menu       {"menu": PATH}, the item's exported menu (Menu property)
  context    {"context": true}, after calling the item's ContextMenu, as KDE
             and swaybar do on the right button"""
import json
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
PROPERTIES = "org.freedesktop.DBus.Properties"

# Qt reads the watcher's properties through introspection: they must be declared.
INTROSPECTION = f"""<node>
 <interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
 </interface>
 <interface name="{PROPERTIES}">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{{sv}}" direction="out"/></method>
 </interface>
</node>"""


def say(**record):
    print(json.dumps(record), flush=True)


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender):
        # Qt names its connection; others name a path on the caller.
        if not service.startswith("/"):
            self.items.append(str(service))
        else:
            self.items.append(str(sender))
        item = self.items[-1]
        self.bus.watch_name_owner(item, lambda owner: owner or say(gone=item))
        self.StatusNotifierItemRegistered(item)
        say(registered=item)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER)
    def StatusNotifierHostRegistered(self):
        pass

    def properties(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True), "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties()


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    names = [dbus.service.BusName(WATCHER, bus), dbus.service.BusName(f"org.kde.StatusNotifierHost-{os.getpid()}", bus)]
    watcher.StatusNotifierHostRegistered()
    loop = GLib.MainLoop()

    def item():
        return bus.get_object(watcher.items[-1], "/StatusNotifierItem")

    def command(channel, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        try:
            if line.strip() == "menu":
                say(menu=str(item().Get(ITEM, "Menu", dbus_interface=PROPERTIES)))
            elif line.strip() == "context":
                item().ContextMenu(0, 0, dbus_interface=ITEM)
                say(context=True)
        except dbus.DBusException as error:
            say(error=str(error))
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    say(ready=bool(names))
    loop.run()


if __name__ == "__main__":
    main()
