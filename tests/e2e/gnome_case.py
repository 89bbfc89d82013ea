#!/usr/bin/env python3
"""GNOME Shell 43 with the AppIndicator extension, headless, as a user signs
in to it: the icon's right button must reach the exit prompt. Runs inside
dbus-run-session as an unprivileged user (scripts/e2e-gnome.sh): a stand-in
system bus, the extension enabled, the shell on a virtual monitor with its
Xwayland, the program on it, and real pointer and keyboard input through
Mutter's remote-desktop API. Pictures come from the shell's own screenshot
service, which answers only a caller that owns an allow-listed name.
Usage: gnome_case.py PROGRAM WORK ARTIFACTS"""
import os
import re
import subprocess
import sys
import time

import dbus

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Failure, check, holds, rgb_rows, wait_for  # noqa: E402

PROGRAM, WORK, ARTIFACTS = sys.argv[1:4]
EXTENSION = "ubuntu-appindicators@ubuntu.com"
WATCHER = "org.kde.StatusNotifierWatcher"
PROPERTIES = "org.freedesktop.DBus.Properties"
SCREEN_W, SCREEN_H = 1920, 1080
PANEL_H = 32
BTN_LEFT, BTN_RIGHT = 0x110, 0x111
KEY_ENTER, KEY_LEFTSHIFT = 28, 42
TEAL = (0, 128, 128)  # the tray picture's ground

bus = dbus.SessionBus()
processes = []


def start(command, log, stdout=None, **env):
    process = subprocess.Popen(command, stdout=stdout or log, stderr=log, env=dict(os.environ, **env))
    processes.append(process)
    return process


def shell_object(name, path):
    return bus.get_object(name, path)


def overview_off():
    """The shell opens its overview once it has started: closed, and still
    closed a second later."""
    try:
        shell = shell_object("org.gnome.Shell", "/org/gnome/Shell")
        active = lambda: shell.Get("org.gnome.Shell", "OverviewActive", dbus_interface=PROPERTIES)  # noqa: E731
        if active():
            shell.Set("org.gnome.Shell", "OverviewActive", False, dbus_interface=PROPERTIES)
            return False
        return holds(lambda: not active(), 1)
    except dbus.DBusException:
        return False


def xwayland_display(shell):
    """The display the shell's Xwayland serves (its first argument), and
    Mutter's Xauthority file for it."""
    run = os.environ["XDG_RUNTIME_DIR"]
    auth = [n for n in os.listdir(run) if n.startswith(".mutter-Xwaylandauth.")]
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().split(b"\0")
        except OSError:
            continue
        if parent == shell.pid and command[0].endswith(b"Xwayland") and auth:
            return command[1].decode(), os.path.join(run, auth[0])
    return None


def registered_items():
    try:
        return list(shell_object(WATCHER, "/StatusNotifierWatcher").Get(WATCHER, "RegisteredStatusNotifierItems",
                                                                        dbus_interface=PROPERTIES))
    except dbus.DBusException:
        return []


class Screenshots:
    def __init__(self):
        bus.request_name("org.gnome.Screenshot")
        self.shell = shell_object("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot")

    def take(self, name, crop=None):
        """The picture's pixels, of the area (x, y, w, h) if given."""
        path = os.path.join(ARTIFACTS, name)
        ok, _ = self.shell.Screenshot(False, False, path, dbus_interface="org.gnome.Shell.Screenshot")
        check(ok, f"no screenshot {name}")
        if not crop:
            return rgb_rows(path)
        part = os.path.join(WORK, "crop.png")
        subprocess.run(["convert", path, "-crop", "{2}x{3}+{0}+{1}".format(*crop), "+repage", part], check=True)
        return rgb_rows(part)


class Pointer:
    """A remote-desktop session's pointer and keyboard: pointer moves are
    relative, so each move first pushes the pointer into the bottom-right
    corner (the top-left one opens the overview)."""

    def __init__(self):
        desktop = shell_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
        path = desktop.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop")
        self.session = dbus.Interface(shell_object("org.gnome.Mutter.RemoteDesktop", path),
                                      "org.gnome.Mutter.RemoteDesktop.Session")
        self.session.Start()
        # The first key of a new virtual keyboard is lost on its way to
        # Xwayland (any first key, in any window): spend it on Shift.
        self.key(KEY_LEFTSHIFT)

    def move(self, x, y):
        self.session.NotifyPointerMotionRelative(float(4 * SCREEN_W), float(4 * SCREEN_H))
        self.session.NotifyPointerMotionRelative(float(x - (SCREEN_W - 1)), float(y - (SCREEN_H - 1)))

    def click(self, x, y, button):
        self.move(x, y)
        self.session.NotifyPointerButton(button, True)
        self.session.NotifyPointerButton(button, False)

    def key(self, keycode):
        """An evdev key code, pressed and released."""
        self.session.NotifyKeyboardKeycode(dbus.UInt32(keycode), True)
        self.session.NotifyKeyboardKeycode(dbus.UInt32(keycode), False)


def teal_centre(rows):
    """The centre of the tray picture's teal in the top bar, or None."""
    points = [(x, y) for y, row in enumerate(rows) for x, (r, g, b) in enumerate(row)
              if r < 60 and abs(g - TEAL[1]) < 50 and abs(b - TEAL[2]) < 50]
    if len(points) < 10:
        return None
    return sum(x for x, _ in points) // len(points), sum(y for _, y in points) // len(points)


def menu_area(icon):
    """Below the top bar, about the icon: where its menu opens."""
    left = max(0, icon[0] - 400)
    return left, PANEL_H, min(SCREEN_W, icon[0] + 400) - left, 200


def changed_box(before, after, area):
    """Bounding box, in screen pixels, of what differs in the area."""
    xs, ys = [], []
    for y in range(len(after)):
        for x in range(0, len(after[y]), 2):
            if max(abs(a - b) for a, b in zip(before[y][x], after[y][x])) > 40:
                xs.append(x + area[0])
                ys.append(y + area[1])
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def x_windows(x_env, name):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], capture_output=True, text=True,
                            env=x_env)
    return [int(w) for w in result.stdout.split()]


def main():
    os.makedirs(ARTIFACTS, exist_ok=True)
    log = open(os.path.join(WORK, "gnome.log"), "ab")
    timings = {}
    started = time.monotonic()
    system = start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], log, subprocess.PIPE)
    system_address = system.stdout.readline().decode().strip()
    subprocess.run(["gsettings", "set", "org.gnome.shell", "enabled-extensions", f"['{EXTENSION}']"], check=True)
    shell = start(["gnome-shell", "--headless", "--wayland", "--virtual-monitor", f"{SCREEN_W}x{SCREEN_H}"], log,
                  DBUS_SYSTEM_BUS_ADDRESS=system_address)
    wait_for("GNOME Shell", overview_off, 60, 0.2)
    display, xauthority = wait_for("Xwayland", lambda: xwayland_display(shell), 30, 0.2)
    x_env = dict(os.environ, DISPLAY=display, XAUTHORITY=xauthority)
    wait_for("the AppIndicator extension's watcher", lambda: bus.name_has_owner(WATCHER), 30, 0.2)
    timings["shell"] = time.monotonic() - started

    shots = Screenshots()
    pointer = Pointer()  # before the icon: its indicator moves the tray icons left
    program = start([PROGRAM], log, DISPLAY=display, XAUTHORITY=xauthority, WAYLAND_DISPLAY="")
    try:
        items = wait_for("the icon to register", registered_items, 20, 0.2)
        print(f"  registered: {[str(i) for i in items]}", flush=True)
        icon = wait_for("the icon in the top bar",
                        lambda: teal_centre(shots.take("gnome-panel.png", (0, 0, SCREEN_W, PANEL_H))), 10, 0.3)
        print(f"  icon at {icon}", flush=True)
        area = menu_area(icon)
        before = shots.take("gnome-before-menu.png", area)
        pointer.click(*icon, BTN_RIGHT)
        menu = wait_for("the icon's menu", lambda: changed_box(before, shots.take("gnome-menu.png", area), area), 10,
                        0.3)
        print(f"  menu at {menu}", flush=True)
        # One entry: the middle of the menu is on it.
        pointer.click((menu[0] + menu[2]) // 2, (menu[1] + menu[3]) // 2, BTN_LEFT)
        prompt = wait_for("the exit prompt", lambda: x_windows(x_env, "^退出$"), 10, 0.2)
        timings["to prompt"] = time.monotonic() - started - timings["shell"]
        shots.take("gnome-exit-prompt.png")
        info = subprocess.run(["xwininfo", "-id", str(prompt[0])], capture_output=True, text=True, env=x_env).stdout
        x, y, w, h = (int(re.search(rf"{label}:\s+(-?\d+)", info).group(1))
                      for label in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
        print(f"  prompt at {x},{y} {w}x{h}", flush=True)
        # Where a dialog is looked for; the window manager's title bar may
        # push it down a little.
        check(abs(x + w // 2 - SCREEN_W // 2) <= 40 and abs(y + h // 2 - SCREEN_H // 2) <= 60,
              f"the prompt is not centred: {x},{y} {w}x{h}")
        focus = subprocess.run(["xdotool", "getwindowfocus"], capture_output=True, text=True, env=x_env).stdout
        check(focus.split() == [str(prompt[0])], f"the focus is on {focus.strip()}, not on the prompt {prompt[0]}")
        # Enter answers the default, Yes, only where the prompt has the focus.
        pointer.key(KEY_ENTER)
        wait_for("the program to end", lambda: program.poll() is not None, 10, 0.1)
        check(program.returncode == 0, f"the program ended with {program.returncode}")
        wait_for("the icon to leave the watcher", lambda: not registered_items(), 20, 0.2)
        wait_for("the icon to leave the top bar",
                 lambda: not teal_centre(shots.take("gnome-after.png", (0, 0, SCREEN_W, PANEL_H))), 10, 0.3)
        print(f"PASS GNOME Shell: a right click on the icon reaches the exit prompt, which has the focus "
              f"(shell up in {timings['shell']:.1f} s, the prompt {timings['to prompt']:.1f} s later)", flush=True)
        return 0
    except Failure as failure:
        shots.take("gnome-failure.png")
        print(f"FAIL GNOME Shell: {failure}", flush=True)
        return 1
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()


if __name__ == "__main__":
    sys.exit(main())
