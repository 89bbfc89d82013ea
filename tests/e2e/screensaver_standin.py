#!/usr/bin/env python3
"""A screen saver stand-in on the session bus, for the Linux program's
end-to-end cases: it owns org.freedesktop.ScreenSaver and answers GetActive
as a desktop's screen saver does, and emits ActiveChanged when told.

It reads commands one a line on stdin: "active" or "inactive" (the new state,
announced with ActiveChanged). It prints one JSON object a line on stdout:
  {"ready": true}          once it owns its name
  {"asked": BOOL}          each GetActive call, with its answer
  {"state": BOOL}          each change, after the signal went out
Usage: screensaver_standin.py [active|inactive]   (the state to start in)"""
import json
import sys

from gi.repository import Gio, GLib

NAME = "org.freedesktop.ScreenSaver"
PATH = "/org/freedesktop/ScreenSaver"
INTERFACE = """<node><interface name="org.freedesktop.ScreenSaver">
  <method name="GetActive"><arg type="b" direction="out"/></method>
  <signal name="ActiveChanged"><arg type="b"/></signal>
</interface></node>"""

active = len(sys.argv) > 1 and sys.argv[1] == "active"
connection = None


def say(value):
    print(json.dumps(value), flush=True)


def on_call(conn, sender, path, interface, method, parameters, invocation):
    say({"asked": active})
    invocation.return_value(GLib.Variant("(b)", (active,)))


def on_command(channel, condition):
    global active
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    active = line.strip() == "active"
    connection.emit_signal(None, PATH, NAME, "ActiveChanged", GLib.Variant("(b)", (active,)))
    connection.flush_sync(None)
    say({"state": active})
    return True


def on_bus(conn, name):
    global connection
    connection = conn
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    conn.register_object(PATH, info, on_call, None, None)


loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus, lambda conn, name: say({"ready": True}),
                 lambda conn, name: loop.quit())
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                  on_command)
loop.run()
