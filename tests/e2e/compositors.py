"""Wayland compositors run headless at 1920 x 1080, each with Xwayland, as a
user's desktop session: sway (wlroots), KWin and Mutter. Each starts a
session script of its own that writes the environment its clients get
(WAYLAND_DISPLAY, DISPLAY, XAUTHORITY), so a case starts programs exactly
as the desktop would. sway refuses to run as root, so every compositor runs
as an unprivileged user; the programs under test run as root beside it."""
import json
import os
import shutil
import signal
import subprocess
import tempfile

from desktop import check, wait_for

USER = ("nobody", "nogroup")


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
        self.log = open(os.path.join(self.root, "compositor.log"), "ab")
        self.process = None

    def session_command(self):
        """What the compositor starts once it is up: records its clients'
        environment, then stays until the session ends."""
        script = os.path.join(self.runtime, "session.sh")
        with open(script, "w", encoding="utf-8") as f:
            f.write(f'#!/bin/sh\nenv > "{self.env_file}.tmp" && mv "{self.env_file}.tmp" "{self.env_file}"\n'
                    "exec sleep infinity\n")
        os.chmod(script, 0o755)
        return [script]

    def base_env(self):
        return {"PATH": "/usr/bin:/bin", "HOME": self.runtime, "XDG_RUNTIME_DIR": self.runtime,
                "LANG": "C.UTF-8", "XDG_SESSION_TYPE": "wayland"}

    def command(self):
        raise NotImplementedError

    def start(self):
        self.process = subprocess.Popen(as_user(["dbus-run-session", "--", *self.command()]), env=self.base_env(),
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

    def screenshot(self, path):
        """A picture of the output as the compositor composes it, or None
        where the harness has no way to take one."""
        return None

    def stop(self):
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

    def command(self):
        config = os.path.join(self.runtime, "config")
        with open(config, "w", encoding="utf-8") as f:
            f.write("output HEADLESS-1 resolution 1920x1080\nxwayland enable\n"
                    f"exec {subprocess.list2cmdline(self.session_command())}\n")
        shutil.chown(config, *USER)
        return ["sway", "-c", config]

    def base_env(self):
        return dict(super().base_env(), WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                    WLR_RENDERER="pixman")

    def _ipc(self, kind):
        sockets = [f for f in os.listdir(self.runtime) if f.startswith("sway-ipc.")]
        check(sockets, "no sway IPC socket")
        out = subprocess.run(["swaymsg", "-s", os.path.join(self.runtime, sockets[0]), "-r", "-t", kind],
                             capture_output=True, text=True, check=True).stdout
        return json.loads(out)

    def focused_title(self):
        def walk(node):
            if node.get("focused"):
                return node.get("name") or ""
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                found = walk(child)
                if found is not None:
                    return found
            return None

        return walk(self._ipc("get_tree"))

    def screenshot(self, path):
        env = dict(os.environ, WAYLAND_DISPLAY=self.wayland, XDG_RUNTIME_DIR=self.runtime)
        subprocess.run(["grim", path], env=env, check=True, capture_output=True)
        return path


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


class Mutter(Compositor):
    name = "mutter"

    def command(self):
        return ["mutter", "--headless", "--wayland", "--virtual-monitor", "1920x1080", "--wayland-display",
                "wayland-velmora", "--", *self.session_command()]


COMPOSITORS = {c.name: c for c in (Sway, KWin, Mutter)}


def installed(name):
    return shutil.which({"sway": "sway", "kwin": "kwin_wayland", "mutter": "mutter"}[name]) is not None

