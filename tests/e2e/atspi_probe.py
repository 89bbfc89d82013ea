#!/usr/bin/env python3
"""A small screen reader stand-in on AT-SPI, for the Linux program's
end-to-end cases: it hears what a screen reader hears and does what one does.

It prints one JSON object a line on stdout:
  {"ready": true}                          once its listeners are registered
  {"event": TYPE, "detail1": N, ...}       every showing change of an object
                                           of the application named on the
                                           command line, with the object's role,
                                           name, description and states
  {"children": [...]}                      answer to "describe": the last shown
                                           notification's children in the order
                                           it gives them, with their role, name,
                                           states and actions
  {"invoked": NAME, "ok": BOOL}            answer to "invoke NAME": the first
                                           action of the child named NAME
An answer that failed carries "error". It reads the commands one a line on
stdin, and runs on the session bus of DBUS_SESSION_BUS_ADDRESS, as Orca does.
Usage: atspi_probe.py APPLICATION_NAME"""
import json
import sys
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# libatspi 2.46 marks its action getters deprecated in favour of ones its
# Python binding does not have.
warnings.simplefilter("ignore", DeprecationWarning)

application = sys.argv[1]
notification = None


def say(value):
    print(json.dumps(value, ensure_ascii=False), flush=True)


def states(accessible):
    state_set = accessible.get_state_set()
    return sorted(Atspi.StateType(s).value_nick for s in state_set.get_states())


def actions(accessible):
    if "Action" not in accessible.get_interfaces():
        return []
    return [accessible.get_action_name(i) for i in range(accessible.get_n_actions())]


def describe(accessible):
    return {"role": accessible.get_role_name(), "name": accessible.get_name(),
            "description": accessible.get_description(), "states": states(accessible),
            "actions": actions(accessible)}


def on_event(event):
    global notification
    source = event.source
    try:
        if source.get_application().get_name() != application:
            return
        if source.get_role() == Atspi.Role.NOTIFICATION and event.detail1:
            notification = source
        say(dict(describe(source), event=event.type, detail1=event.detail1))
    except GLib.Error as error:  # the object went away meanwhile
        say({"event": event.type, "detail1": event.detail1, "error": str(error)})


def children():
    return [notification.get_child_at_index(i) for i in range(notification.get_child_count())]


def on_command(channel, condition):
    line = channel.readline()
    if not line:
        loop.quit()
        return False
    command, _, argument = line.strip().partition(" ")
    try:
        if command == "describe":
            say({"children": [describe(child) for child in children()] if notification else None})
        elif command == "invoke":
            child = next((c for c in children() if c.get_name() == argument), None) if notification else None
            say({"invoked": argument, "ok": bool(child and child.do_action(0))})
    except GLib.Error as error:
        say({"children" if command == "describe" else "ok": None, "error": str(error)})
    return True


listener = Atspi.EventListener.new(on_event)
listener.register("object:state-changed:showing")
loop = GLib.MainLoop()
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, on_command)
say({"ready": True})
loop.run()
