"""Wayland compositors run headless at 1920 x 1080, each with Xwayland, as a
user's desktop session: sway (wlroots), KWin and Mutter. Each starts a
session script of its own that writes the environment its clients get
(WAYLAND_DISPLAY, DISPLAY, XAUTHORITY), so a case starts programs exactly
as the desktop would. sway refuses to run as root, so every compositor runs
as an unprivileged user; the programs under test run as root beside it."""
import contextlib
import json
import os
import shutil
import signal
import subprocess
import tempfile

from desktop import check, wait_for

USER = ("nobody", "nogroup")

# The session bus, which lets in root besides its own user: the programs
# under test reach the session's panel on it.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
 <include>/usr/share/dbus-1/session.conf</include>
 <policy context="default"><allow user="root"/></policy>
</busconfig>
"""


def as_user(command):
    return ["setpriv", f"--reuid={USER[0]}", f"--regid={USER[1]}", "--clear-groups", *command]


class Compositor:
    name = ""

    def __init__(self, root):
        self.root = os.path.join(root, self.name)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        # In /tmp: the user must reach it, whatever folder the tree is in.
        self.runtime = tempfile.mkdtemp(prefix=f"velmora-{self.name}-")
        shutil.chown(self.runtime, *USER)
        self.env_file = os.path.join(self.runtime, "session.env")
        self.session_pid = os.path.join(self.runtime, "session.pid")
        self.log = open(os.path.join(self.root, "compositor.log"), "ab")
        self.process = None

    def session_command(self):
        """What the compositor starts once it is up: records its clients'
        environment, then stays until the session ends (Mutter ends with
        it); the compositor may start it in a process group of its own."""
        script = os.path.join(self.runtime, "session.sh")
        with open(script, "w", encoding="utf-8") as f:
            f.write(f'#!/bin/sh\necho $$ > "{self.session_pid}"\n'
                    f'env > "{self.env_file}.tmp" && mv "{self.env_file}.tmp" "{self.env_file}"\n'
                    "exec sleep infinity\n")
        os.chmod(script, 0o755)
        return [script]

    def base_env(self):
        return {"PATH": "/usr/bin:/bin", "HOME": self.runtime, "XDG_RUNTIME_DIR": self.runtime,
                "LANG": "C.UTF-8", "XDG_SESSION_TYPE": "wayland"}

    def command(self):
        raise NotImplementedError

    def start(self):
        bus_config = os.path.join(self.runtime, "bus.conf")
        with open(bus_config, "w", encoding="utf-8") as f:
            f.write(BUS_CONFIG)
        os.chmod(bus_config, 0o644)
        self.process = subprocess.Popen(as_user(["dbus-run-session", f"--config-file={bus_config}", "--",
                                                 *self.command()]), env=self.base_env(),
                                        stdout=self.log, stderr=self.log, cwd=self.runtime, start_new_session=True)
        wait_for(f"{self.name} to start its session", lambda: os.path.exists(self.env_file) or self._died(), 60, 0.1)
        check(self.process.poll() is None, f"{self.name} ended at start (see {self.log.name})")
        with open(self.env_file, encoding="utf-8") as f:
            session = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.wayland = os.path.join(self.runtime, session["WAYLAND_DISPLAY"])
        self.display = session["DISPLAY"]
        self.xauthority = session.get("XAUTHORITY", "")
        self.dbus = session["DBUS_SESSION_BUS_ADDRESS"]
        # Xwayland lets in only the user it runs as; the programs under test
        # and the probes run as root.
        wait_for(f"{self.name}'s Xwayland", lambda: subprocess.run(
            as_user(["xhost", "+si:localuser:root"]), env=dict(self.base_env(), **self.client_env()),
            capture_output=True).returncode == 0, 30, 0.2)
        check(self._x_up(), f"{self.name}'s Xwayland refuses root")
        if self.has_pointer:
            self.start_pointer()
        return self

    def _died(self):
        return self.process.poll() is not None

    def client_env(self):
        """What a program started in this session sees of it."""
        env = {"WAYLAND_DISPLAY": self.wayland, "DISPLAY": self.display, "XDG_SESSION_TYPE": "wayland"}
        if self.xauthority:
            env["XAUTHORITY"] = self.xauthority
        return env

    def x_env(self):
        return dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", **self.client_env())

    def _x_up(self):
        return subprocess.run(["xdpyinfo"], env=self.x_env(), capture_output=True).returncode == 0

    def focused_x_window(self):
        """The X window Xwayland has given the keyboard focus (0 for none)."""
        out = subprocess.run(["xdotool", "getwindowfocus", "-f"], env=self.x_env(), capture_output=True,
                             text=True).stdout.strip()
        return int(out) if out.isdigit() else 0

    def focused_title(self):
        """The title of the window the compositor itself has focused, where
        it can tell; None where it cannot."""
        return None

    # What shows StatusNotifier items in this session: "swaybar", the
    # panel stand-in ("stand-in", run by the case) or nothing (None).
    tray_host = None

    def window(self, title):
        """((x, y, width, height), focused) of the window titled so, read
        from the compositor; None while there is none."""
        raise NotImplementedError

    def close_window(self, title):
        """Closes the window as its title bar's close button does."""
        raise NotImplementedError

    def screenshot(self, path):
        """A picture of the output as the compositor composes it, or None
        where the harness has no way to take one."""
        return None

    def popup_rect(self, holder_title):
        """Where the compositor shows the pop-up as (x, y, width, height),
        read from the compositor; None while it shows none."""
        raise NotImplementedError

    def remember_background(self):
        """Takes what the screen shows before the program starts, where the
        pop-up is found by its pixels."""

    # Headless, the seat has no pointer until a device joins it; the test's
    # mouse is one (virtual_pointer.cpp) where the compositor takes a
    # virtual pointer (wlroots).
    has_pointer = False

    def start_pointer(self):
        self.pointer = subprocess.Popen([os.environ["VELMORA_E2E_POINTER"]], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.log, text=True,
                                        env=dict(os.environ, WAYLAND_DISPLAY=self.wayland,
                                                 XDG_RUNTIME_DIR=self.runtime))
        check(self.pointer.stdout.readline().strip() == "ready", "the virtual pointer did not start")
        self.point("move 5 5")

    def point(self, *commands):
        for command in commands:
            self.pointer.stdin.write(command + "\n")
            self.pointer.stdin.flush()
            check(self.pointer.stdout.readline().strip() == "ok", f"the virtual pointer failed at {command}")

    def click(self, x, y, button="left"):
        """A click through the compositor's own pointer, where the test has
        one; False where it has none. As a mouse does, the pointer moves
        within the target before the press: Xwayland drops a press that
        follows a jump straight onto an override-redirect window (an enter,
        no motion in it), whoever the window's client is."""
        if not self.has_pointer:
            return False
        self.point(f"move {x - 3} {y - 3}", f"move {x} {y}", f"press {button}", f"release {button}", "move 5 5")
        return True

    def user_env(self):
        return dict(self.base_env(), DBUS_SESSION_BUS_ADDRESS=self.dbus, **self.client_env())

    def stop(self):
        if getattr(self, "pointer", None):
            self.pointer.stdin.close()
            self.pointer.wait(10)
        with contextlib.suppress(OSError, ValueError):
            with open(self.session_pid, encoding="utf-8") as f:
                os.kill(int(f.read()), signal.SIGTERM)
        if self.process and self.process.poll() is None:
            # The whole session: the compositor, its Xwayland and the bus.
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.log.close()
        shutil.rmtree(self.runtime, ignore_errors=True)


class Sway(Compositor):
    name = "sway"
    has_pointer = True

    def command(self):
        config = os.path.join(self.runtime, "config")
        with open(config, "w", encoding="utf-8") as f:
            f.write("output HEADLESS-1 resolution 1920x1080\nxwayland enable\ndefault_border none\n"
                    # At the top: the pop-up's corner stays clear of it.
                    "bar {\n position top\n tray_output *\n}\n"
                    f"exec {subprocess.list2cmdline(self.session_command())}\n")
        shutil.chown(config, *USER)
        return ["sway", "-c", config]

    def base_env(self):
        return dict(super().base_env(), WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                    WLR_RENDERER="pixman")

    def _ipc(self, message, kind=None):
        sockets = [f for f in os.listdir(self.runtime) if f.startswith("sway-ipc.")]
        check(sockets, "no sway IPC socket")
        out = subprocess.run(["swaymsg", "-s", os.path.join(self.runtime, sockets[0]), "-r",
                              *(["-t", kind, message] if kind else ["-t", message])],
                             capture_output=True, text=True, check=True).stdout
        return json.loads(out)

    tray_host = "swaybar"

    def _nodes(self, node=None):
        node = node or self._ipc("get_tree")
        yield node
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            yield from self._nodes(child)

    def focused_title(self):
        return next((node.get("name") or "" for node in self._nodes() if node.get("focused")), None)

    def window(self, title):
        for node in self._nodes():
            if node.get("name") == title and node.get("type") in ("con", "floating_con"):
                r = node["rect"]
                return (r["x"], r["y"], r["width"], r["height"]), node.get("focused", False)
        return None

    def close_window(self, title):
        self._ipc(f'[title="^{title}$"] kill', "command")

    # The bar's right end, where its tray is: clear of the workspace
    # buttons, whose blue is near the icon's teal.
    TRAY = (1600, 0, 320, 40)

    def tray_icon(self, colour, tolerance=30):
        """The centre of the pixels of the colour in the bar's tray, or None."""
        x, y, w, h = self.TRAY
        env = dict(os.environ, WAYLAND_DISPLAY=self.wayland, XDG_RUNTIME_DIR=self.runtime)
        data = subprocess.run(["grim", "-t", "ppm", "-g", f"{x},{y} {w}x{h}", "-"], env=env, check=True,
                              capture_output=True).stdout
        body = data[len(data) - w * h * 3:]
        points = [(i // 3 % w, i // 3 // w) for i in range(0, len(body), 3)
                  if max(abs(body[i + k] - colour[k]) for k in range(3)) < tolerance]
        if len(points) < 10:
            return None
        return x + sum(p for p, _ in points) // len(points), y + sum(q for _, q in points) // len(points)

    def screenshot(self, path, region=None):
        env = dict(os.environ, WAYLAND_DISPLAY=self.wayland, XDG_RUNTIME_DIR=self.runtime)
        subprocess.run(["grim", *(["-g", region] if region else []), path], env=env, check=True, capture_output=True)
        return path

    # The lower-right quarter of the output, as rows of raw pixels.
    QUARTER = (960, 540, 960, 540)

    def _quarter(self):
        x, y, w, h = self.QUARTER
        env = dict(os.environ, WAYLAND_DISPLAY=self.wayland, XDG_RUNTIME_DIR=self.runtime)
        data = subprocess.run(["grim", "-t", "ppm", "-g", f"{x},{y} {w}x{h}", "-"], env=env, check=True,
                              capture_output=True).stdout
        body = data[len(data) - w * h * 3:]
        return [body[row * w * 3:(row + 1) * w * 3] for row in range(h)]

    def remember_background(self):
        self._background = self._quarter()

    def popup_rect(self, holder_title):
        """What differs from the picture taken before the program started, in
        the lower-right quarter of the output."""
        quarter = self._quarter()
        rows = [i for i, (now, before) in enumerate(zip(quarter, self._background)) if now != before]
        if not rows:
            return None
        now, before = quarter[rows[-1]], self._background[rows[-1]]
        columns = [i // 3 for i in range(0, len(now), 3) if now[i:i + 3] != before[i:i + 3]]
        x, y, _, _ = self.QUARTER
        return (x + columns[0], y + rows[0], columns[-1] - columns[0] + 1, rows[-1] - rows[0] + 1)



class KWin(Compositor):
    name = "kwin"

    def command(self):
        # The installed binary carries a file capability that an
        # unprivileged user in a container cannot take: a plain copy, under
        # the name KWin checks for.
        binary = os.path.join(self.runtime, "bin", "kwin_wayland")
        os.makedirs(os.path.dirname(binary))
        shutil.chown(os.path.dirname(binary), *USER)
        shutil.copy("/usr/bin/kwin_wayland", binary)
        return [binary, "--virtual", "--xwayland", "--no-lockscreen", "--width", "1920", "--height", "1080",
                "--socket", "wayland-velmora", *self.session_command()]

    def base_env(self):
        # Drawn in software: no GPU here.
        return dict(super().base_env(), KWIN_COMPOSE="Q")


    # Every window KWin manages, layer surfaces included, with its place
    # and whether it is the active one.
    PROBE = """
var windows = workspace.clientList();
for (var i = 0; i < windows.length; ++i) {
    var g = windows[i].frameGeometry;
    print("velmora-probe " + JSON.stringify([String(windows[i].caption), [g.x, g.y, g.width, g.height],
                                             windows[i].active]));
}
"""

    def popup_rect(self, holder_title):
        shown = [rect for title, rect, _ in self.surfaces() if title != holder_title and rect[3] > 0]
        return shown[0] if shown else None

    def focused_title(self):
        active = [title for title, _, focused in self.surfaces() if focused]
        return active[0] if active else ""

    # KWin has no tray of its own: the case runs a panel's on the session bus.
    tray_host = "stand-in"

    def window(self, title):
        return next(((rect, active) for caption, rect, active in self.surfaces() if caption == title), None)

    def close_window(self, title):
        self._script("velmora-close", "var windows = workspace.clientList();\n"
                     "for (var i = 0; i < windows.length; ++i)\n"
                     f"    if (String(windows[i].caption) == {json.dumps(title)}) windows[i].closeWindow();\n")

    def _script(self, name, body):
        script = os.path.join(self.runtime, f"{name}.js")
        with open(script, "w", encoding="utf-8") as f:
            f.write(body)
        os.chmod(script, 0o644)
        self._call("/Scripting", "org.kde.kwin.Scripting.loadScript", f"string:{script}", f"string:{name}")
        self._call("/Scripting", "org.kde.kwin.Scripting.start")
        self._call("/Scripting", "org.kde.kwin.Scripting.unloadScript", f"string:{name}")

    def surfaces(self):
        """(caption, (x, y, width, height), active) of every window."""
        self._script("velmora-probe", self.PROBE)
        # The script prints into KWin's log; its lines since the last probe.
        with open(self.log.name, "rb") as f:
            f.seek(self._probed)
            lines = f.read().decode("utf-8", "replace").splitlines()
            self._probed = f.tell()
        probed = [json.loads(line.split("velmora-probe ", 1)[1]) for line in lines if "velmora-probe " in line]
        return [(title, tuple(rect), active) for title, rect, active in probed]

    _probed = 0

    def _call(self, path, method, *args):
        subprocess.run(as_user(["dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin", path, method, *args]),
                       env=self.user_env(), check=True, capture_output=True)


class Mutter(Compositor):
    name = "mutter"

    def command(self):
        return ["mutter", "--headless", "--wayland", "--virtual-monitor", "1920x1080", "--wayland-display",
                "wayland-velmora", "--", *self.session_command()]


class GnomeShell(Compositor):
    """GNOME Shell 43 on Mutter. It needs a system bus, which a second bus
    of the session's own stands in for; it starts no session command, so its
    clients' environment is written before it starts and its Xwayland is
    found by its authority file; it starts in the overview."""
    name = "gnome-shell"

    def command(self):
        bus = os.path.join(self.runtime, "system-bus")
        return ["sh", "-c", f'env > "{self.env_file}.tmp" && mv "{self.env_file}.tmp" "{self.env_file}"\n'
                f'dbus-daemon --session --nofork --print-address=1 > "{bus}" &\n'
                f'while [ ! -s "{bus}" ]; do sleep 0.1; done\n'
                f'DBUS_SYSTEM_BUS_ADDRESS=$(cat "{bus}") exec gnome-shell --headless --wayland '
                "--virtual-monitor 1920x1080 --wayland-display wayland-velmora"]

    def start(self):
        self.process = subprocess.Popen(as_user(["dbus-run-session", "--", *self.command()]), env=self.base_env(),
                                        stdout=self.log, stderr=self.log, cwd=self.runtime, start_new_session=True)
        wait_for("gnome-shell's session", lambda: os.path.exists(self.env_file) or self._died(), 30, 0.1)
        with open(self.env_file, encoding="utf-8") as f:
            session = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.dbus = session["DBUS_SESSION_BUS_ADDRESS"]
        self.wayland = os.path.join(self.runtime, "wayland-velmora")
        self.display, self.xauthority = wait_for("gnome-shell's Xwayland", self._xwayland, 60, 0.2)
        wait_for("gnome-shell's Xwayland", self._x_up, 30, 0.2)
        wait_for("gnome-shell on the bus", lambda: subprocess.run(
            as_user(["dbus-send", "--session", "--print-reply", "--dest=org.gnome.Shell", "/org/gnome/Shell",
                     "org.freedesktop.DBus.Properties.Set", "string:org.gnome.Shell", "string:OverviewActive",
                     "variant:boolean:false"]), env=self.user_env(), capture_output=True).returncode == 0, 30, 0.2)
        return self

    def _xwayland(self):
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    args = f.read().decode(errors="replace").split("\0")
            except OSError:
                continue
            if args[0].endswith("Xwayland") and "-auth" in args and args[args.index("-auth") + 1].startswith(
                    self.runtime):
                return next(a for a in args if a.startswith(":")), args[args.index("-auth") + 1]
        return None


COMPOSITORS = {c.name: c for c in (Sway, KWin, Mutter, GnomeShell)}

