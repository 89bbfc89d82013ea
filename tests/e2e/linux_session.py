"""The Linux program (Qt 6 on X11) as a user runs it: a program folder with
urls.txt, a private runtime directory (where the single-instance lock lives),
no session bus, so the tray icon docks in trayer through XEmbed. A session
that asks for one gets a session bus of its own with the accessibility bus
behind it, and a screen reader stand-in on it (atspi_probe.py).

Message boxes are read without any help from the program: the title is the
X window's name; the message is selected with a triple click (the box's
label is selectable by mouse) and read back from the PRIMARY selection; the
buttons are found in a screenshot of the box."""
import ctypes
import json
import os
import shutil
import signal
import subprocess
import threading
import urllib.parse

from desktop import (X_ENV, Failure, check, click, find_windows, geometry, holds, install_program, rgb_rows, screenshot,
                     wait_for)


def clear_primary():
    """Takes the PRIMARY selection from whoever holds it, so what is read
    afterwards was selected afterwards."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    check(display, "cannot open the X display")
    x11.XSetSelectionOwner(display, x11.XInternAtom(display, b"PRIMARY", 0), 0, 0)  # None, CurrentTime
    x11.XSync(display, 0)
    x11.XCloseDisplay(display)


def primary_selection():
    result = subprocess.run(["xclip", "-o", "-selection", "primary", "-t", "UTF8_STRING"], capture_output=True,
                            env=X_ENV)
    return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else ""


def differs(pixel, background):
    return max(abs(a - b) for a, b in zip(pixel, background)) > 8


def is_ink(pixel):
    """Dark grey text, not the coloured icon."""
    return max(pixel) < 100 and max(pixel) - min(pixel) < 30


class Dialog:
    """A QMessageBox on the screen, found by its X window name."""

    def __init__(self, title, window, work):
        self.title, self.window = title, window
        self.rect = geometry(window)
        check(self.rect is not None, f'the box "{title}" is not mapped')
        self.shot = screenshot(os.path.join(work, "box.png"), crop=self.rect)
        self.rows = rgb_rows(self.shot)
        self.buttons = self._find_buttons()

    def _find_buttons(self):
        """Buttons from left to right: in the lower half of the box, the rows
        crossing the most runs of at least 50 px that differ from the box's
        background are the buttons' top and bottom frames; one centre per run."""
        background = self.rows[1][1]
        best, rows = [], []
        for y in range(len(self.rows) // 2, len(self.rows) - 1):
            runs, start = [], None
            for x, pixel in enumerate(self.rows[y] + [background]):
                if differs(pixel, background):
                    start = x if start is None else start
                elif start is not None:
                    if x - start >= 50:
                        runs.append((start, x))
                    start = None
            if len(runs) > len(best):
                best, rows = runs, [y]
            elif runs and len(runs) == len(best):
                rows.append(y)
        check(best, f'no buttons found in the box "{self.title}"')
        self.buttons_top = rows[0]
        middle = self.rect[1] + (rows[0] + rows[-1]) // 2
        return [(self.rect[0] + (a + b) // 2, middle) for a, b in best]

    def text(self):
        """The message, selected with a triple click on its text and read
        back from the PRIMARY selection."""
        ink = [(x, y) for y, row in enumerate(self.rows[:self.buttons_top - 4]) for x, pixel in enumerate(row)
               if is_ink(pixel)]
        check(ink, f'no text drawn in the box "{self.title}"')
        # The middle of the widest line of ink: the message, not the icon.
        line = max({y for _, y in ink}, key=lambda y: sum(1 for _, v in ink if v == y))
        xs = sorted(x for x, y in ink if y == line)
        clear_primary()
        point = (self.rect[0] + xs[len(xs) // 2], self.rect[1] + line)
        subprocess.run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "--repeat", "3", "--delay",
                        "60", "1"], check=True, env=X_ENV)
        subprocess.run(["xdotool", "mousemove", "5", "600"], env=X_ENV)
        # The double click selects a word on the way to the triple click's
        # paragraph: the answer is the selection once it stops changing.
        def settled():
            value = primary_selection()
            return value if value and holds(lambda: primary_selection() == value, 0.3) else None

        return wait_for(f'the text of the box "{self.title}"', settled, 5, 0.1)

    def press(self, index):
        click(*self.buttons[index])


class ScreenReader:
    """atspi_probe.py on the session's bus: what it has heard, and its
    answers to commands. Debian's python3-gi serves Debian's own Python."""
    script, args, what = "atspi_probe.py", ["velmora"], "the screen reader stand-in"

    def __init__(self, env, log):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), self.script)
        self.process = subprocess.Popen(["/usr/bin/python3", script] + self.args, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=log, env=env, text=True, encoding="utf-8")
        self.records = []
        threading.Thread(target=self._read, daemon=True).start()
        wait_for(self.what, lambda: self.said("ready"), 20, 0.05)

    def _read(self):
        for line in self.process.stdout:
            self.records.append(json.loads(line))

    def said(self, key):
        return [record for record in self.records if key in record]

    def heard(self, **match):
        """The showing changes heard whose fields have the given values."""
        return [r for r in self.said("event") if all(r.get(k) == v for k, v in match.items())]

    def ask(self, command, key):
        before = len(self.said(key))
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        answers = wait_for(f'the answer to "{command}"', lambda: self.said(key)[before:], 10, 0.05)
        check("error" not in answers[0], f'"{command}" failed: {answers[0]}')
        return answers[0][key]

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Panel(ScreenReader):
    """sni_host.py: a panel's StatusNotifier watcher and host, which says
    what registers and asks the item as KDE and swaybar do."""
    script, args, what = "sni_host.py", [], "the panel stand-in"


class LinuxSession:
    platform = "linux"
    icon_owner = '"velmora"'  # the docked window's class
    file_link = "file:///etc/hostname"
    program_link = "/usr/bin/xmessage"
    urls_newline = "\n"
    YES, NO = 0, 1
    DPIS = (96, 144, 192)  # 100 %, and Qt's scale factors 1.5 and 2

    def __init__(self, name, lang, config):
        self.config = config
        self.root = os.path.join(config.work, f"session-{name}")
        shutil.rmtree(self.root, ignore_errors=True)
        runtime = os.path.join(self.root, "runtime")
        os.makedirs(runtime)
        os.chmod(runtime, 0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("LC_", "DBUS_", "WAYLAND_", "XDG_", "QT_")) and k != "LANGUAGE"}
        # No session bus: with no StatusNotifier host, Qt docks through XEmbed.
        self.env.update(
            LANG=lang,
            LOCPATH=config.locpath,
            PATH=config.bin + os.pathsep + os.environ["PATH"],
            XDG_RUNTIME_DIR=runtime,
            QT_QPA_PLATFORM="xcb",
            NO_PROXY="127.0.0.1",
            no_proxy="127.0.0.1",
        )
        self.processes = []
        self.bus = None
        self.reader = None
        self.panel = None
        self.display = None

    def _own_bus(self):
        self.bus_log = log = open(os.path.join(self.root, "bus.log"), "ab")
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=log, env=self.env, text=True)
        address = self.bus.stdout.readline().strip()
        check(address, "the session bus did not start")
        self.env.update(DBUS_SESSION_BUS_ADDRESS=address)
        return log

    def with_screen_reader(self):
        """A session bus of its own (the accessibility bus launcher starts on
        it when asked), Qt's accessibility on, and a screen reader stand-in
        listening before the program starts."""
        log = self._own_bus()
        self.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.reader = ScreenReader(self.env, log)
        return self.reader

    def without_tray(self):
        """A session bus and an X display of its own with no tray on either,
        as at sign-in before the panel has started; the cases' X tools look
        at this display until the session stops."""
        self._own_bus()
        for number in range(990, 999):
            if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.display = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                                         "-noreset"], stderr=subprocess.DEVNULL)
        self.shared_display = X_ENV["DISPLAY"]
        X_ENV["DISPLAY"] = self.env["DISPLAY"] = f":{number}"
        wait_for("the display without a tray", lambda: subprocess.run(["xdpyinfo"], capture_output=True,
                                                                      env=X_ENV).returncode == 0, 10, 0.1)

    def start_panel(self):
        self.panel = Panel(self.env, self.bus_log)
        return self.panel

    def folder(self, name):
        return os.path.join(self.root, name)

    def install(self, folder, urls_line):
        """The program in its own folder, with urls.txt unless urls_line is None."""
        path = self.folder(folder)
        # Each check runs the fetch helper, looked for beside the program.
        helper = os.path.join(os.path.dirname(self.config.exe), "velmora-fetch")
        install_program(path, [self.config.exe, helper], urls_line, self.urls_newline)
        return os.path.join(path, "velmora")

    def start(self, folder, trace_tray=False):
        log = open(os.path.join(self.root, f"{folder}.log"), "ab")
        process = subprocess.Popen([os.path.join(self.folder(folder), "velmora")], env=self.env, stdout=log,
                                   stderr=log, cwd=self.root)
        self.processes.append(process)
        return process

    @staticmethod
    def as_handed_to_browser(link):
        """Qt hands xdg-open the link as a URI: the same address, its
        non-ASCII characters as UTF-8 percent-escapes."""
        return urllib.parse.quote(link, safe=":/?=&#%")

    def request_close(self, process):
        """`velmora --quit`: it sends the running copy the SIGTERM that kill
        sends, and returns 0 once that copy has gone."""
        program = os.readlink(f"/proc/{process.pid}/exe")
        asked = subprocess.run([program, "--quit"], env=self.env, capture_output=True, timeout=20)
        return asked.returncode == 0 and process.poll() is not None

    def deleted_own_icon(self, folder):
        """The X server drops a dead client's icon too; the exit status 0
        (not -SIGTERM) is what shows the program's own unload ran."""
        return True

    def is_program(self, process):
        return os.readlink(f"/proc/{process.pid}/exe").endswith("/velmora")

    def wait_dialog(self, title, timeout=20):
        windows = wait_for(f'the message box "{title}"', lambda: find_windows(f"^{title}$"), timeout, 0.1)
        check(len(windows) == 1, f'{len(windows)} boxes titled "{title}"')
        # Drawn: the box's background fills its corner, then the buttons.
        return wait_for(f'the box "{title}" to be drawn', lambda: self._drawn(title, windows[0]), 5, 0.1)

    def _drawn(self, title, window):
        try:
            return Dialog(title, window, self.root)
        except Failure:  # mapped, not yet painted
            return None

    def dialog_gone(self, title):
        return not find_windows(f"^{title}$")

    def set_dpi(self, dpi):
        """The scaling for the programs started next, as a user sets it for
        Qt programs: QT_SCALE_FACTOR."""
        self.end_programs()
        self.env.pop("QT_SCALE_FACTOR", None)
        if dpi != 96:
            self.env["QT_SCALE_FACTOR"] = f"{dpi / 96:g}"

    def end_programs(self):
        for process in self.processes:
            if process.poll() is None:
                process.send_signal(signal.SIGKILL)
                process.wait()

    def stop(self):
        self.end_programs()
        for stand_in in (self.reader, self.panel):
            if stand_in:
                stand_in.stop()
        if self.display:
            X_ENV["DISPLAY"] = self.shared_display
            self.display.terminate()
            self.display.wait()
        if self.bus:
            # The accessibility bus and its registry end with the session bus.
            self.bus.terminate()
            self.bus.wait()
            self.bus_log.close()
        shutil.rmtree(self.root, ignore_errors=True)
