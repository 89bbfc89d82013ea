"""What the end-to-end cases see and do on the X display: windows found by
name, their geometry, the tray's docked icons, clicks and screenshots; and
Wine sessions (one prefix under one locale) that run velmora.exe."""
import json
import os
import re
import shutil
import signal
import subprocess
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
X_ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout, interval=0.05):
    """Polls probe() until it returns something truthy; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def holds(probe, duration, interval=0.1):
    """True when probe() stays truthy for the whole duration."""
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        if not probe():
            return False
        time.sleep(interval)
    return True


def run(*command, check_rc=False, env=None):
    result = subprocess.run(command, capture_output=True, text=True, env=env or X_ENV)
    if check_rc and result.returncode != 0:
        raise Failure(f"{command[0]} failed: {result.stderr.strip()}")
    return result.stdout


# --- windows on the X display ------------------------------------------------------


def find_windows(name_regex, visible=True):
    args = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + ["--name", name_regex]
    return [int(w) for w in run(*args).split()]


def geometry(window):
    """(x, y, width, height) of a mapped window, or None."""
    info = run("xwininfo", "-id", str(window))
    if "IsViewable" not in info:
        return None
    values = {}
    for key, label in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"), ("w", "Width"),
                       ("h", "Height")):
        m = re.search(rf"{label}:\s+(-?\d+)", info)
        if not m:
            return None
        values[key] = int(m.group(1))
    return values["x"], values["y"], values["w"], values["h"]


def focused_window():
    """The X window that has the keyboard focus (0 when none)."""
    out = run("xdotool", "getwindowfocus", "-f").strip()
    return int(out) if out.isdigit() else 0


def popup_geometry():
    """Geometry of the visible pop-up, or None."""
    for window in find_windows("^Form1$"):
        g = geometry(window)
        if g and g[3] > 1:
            return g
    return None


def tray_icons():
    """Centres of the icons docked in trayer."""
    panels = find_windows("^panel$", visible=False)
    centres = []
    for panel in panels:
        for line in run("xwininfo", "-id", str(panel), "-tree").splitlines():
            if "explorer.exe" not in line:
                continue
            m = re.search(r"(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)", line)
            if m and int(m.group(1)) > 1:
                w, h, x, y = map(int, m.groups())
                centres.append((x + w // 2, y + h // 2))
    return centres


def click(x, y, button=1):
    run("xdotool", "mousemove", str(x), str(y), "click", str(button), check_rc=True)
    # Park the pointer away from everything the cases look at.
    run("xdotool", "mousemove", "5", "600")


def press(x, y, button=1):
    run("xdotool", "mousemove", str(x), str(y), "mousedown", str(button), check_rc=True)


def release_at(x, y, button=1):
    run("xdotool", "mousemove", str(x), str(y), "mouseup", str(button), check_rc=True)
    run("xdotool", "mousemove", "5", "600")


def screenshot(path, crop=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    run("import", "-window", "root", path, check_rc=True)
    if crop:
        x, y, w, h = crop
        run("convert", path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", path, check_rc=True)
    return path


def region_stats(image, x, y, w, h):
    """(darkest, brightest) grey level in 0..1 of a region of a screenshot."""
    out = run("convert", image, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray", "-format",
              "%[fx:minima] %[fx:maxima]", "info:", check_rc=True)
    lo, hi = out.split()
    return float(lo), float(hi)


def pixel(image, x, y):
    out = run("convert", image, "-format", f"%[fx:int(255*p{{{x},{y}}}.r)] %[fx:int(255*p{{{x},{y}}}.g)] "
              f"%[fx:int(255*p{{{x},{y}}}.b)]", "info:", check_rc=True)
    return tuple(int(v) for v in out.split())


def same_region(image_a, image_b, crop):
    x, y, w, h = crop
    result = subprocess.run(["compare", "-metric", "AE", f"{image_a}[{w}x{h}+{x}+{y}]",
                             f"{image_b}[{w}x{h}+{x}+{y}]", "null:"], capture_output=True, text=True, env=X_ENV)
    return result.stderr.strip().split()[0] == "0"


# --- Wine sessions -------------------------------------------------------------------


class Session:
    """One Wine prefix, copied from the template, under one locale."""

    def __init__(self, name, lang, config):
        self.config = config
        self.prefix = os.path.join(config.work, f"prefix-{name}")
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.copytree(config.template, self.prefix, symlinks=True)
        self.env = dict(os.environ)
        for key in [k for k in self.env if k.startswith("LC_")]:
            del self.env[key]
        self.env.update(
            WINEPREFIX=self.prefix,
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d",
            LANG=lang,
            LOCPATH=config.locpath,
            PATH=config.bin + os.pathsep + os.environ["PATH"],
        )
        self.processes = []

    def install(self, folder, urls_line):
        """velmora.exe in C:\\<folder>, with urls.txt unless urls_line is None."""
        path = os.path.join(self.prefix, "drive_c", folder)
        os.makedirs(path, exist_ok=True)
        shutil.copy(self.config.exe, os.path.join(path, "velmora.exe"))
        urls = os.path.join(path, "urls.txt")
        if urls_line is None:
            if os.path.exists(urls):
                os.remove(urls)
        else:
            with open(urls, "w", encoding="utf-8", newline="") as f:
                f.write(urls_line + "\r\n")
        return os.path.join(path, "velmora.exe")

    def start(self, folder):
        exe = os.path.join(self.prefix, "drive_c", folder, "velmora.exe")
        log = open(os.path.join(self.config.work, f"{os.path.basename(self.prefix)}-{folder}.log"), "ab")
        process = subprocess.Popen([WINE, exe], env=self.env, stdout=log, stderr=log, cwd=self.config.work)
        self.processes.append(process)
        return process

    def dialogs(self):
        """Open message boxes, as read through the Windows API."""
        out = subprocess.run([WINE, self.config.reader], env=self.env, capture_output=True).stdout
        return [json.loads(line) for line in out.decode("utf-8", "replace").splitlines() if line.startswith("{")]

    def wait_dialog(self, title, timeout=20):
        def probe():
            return next((d for d in self.dialogs() if d["title"] == title), None)

        return wait_for(f'the message box "{title}"', probe, timeout, interval=0.3)

    def dialog_gone(self, title):
        return not any(d["title"] == title for d in self.dialogs())

    def stop(self):
        for process in self.processes:
            if process.poll() is None:
                process.send_signal(signal.SIGKILL)
                process.wait()
        # Ends what Wine itself started for this prefix (its explorer and
        # services), and only for this prefix.
        subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True)
        subprocess.run([WINESERVER, "-w"], env=self.env, capture_output=True, timeout=30)
        # A prefix is some 700 MB; the next run copies a fresh one.
        shutil.rmtree(self.prefix, ignore_errors=True)


def message_text(dialog):
    """The message of a box: its static controls' non-empty texts."""
    return " ".join(c["text"] for c in dialog["controls"] if c["class"].lower() == "static" and c["text"])


def buttons(dialog):
    """The box's buttons from left to right."""
    return sorted((c for c in dialog["controls"] if c["class"].lower() == "button"), key=lambda c: c["rect"][0])


def click_button(button):
    left, top, right, bottom = button["rect"]
    click((left + right) // 2, (top + bottom) // 2)


def cpu_seconds(pid):
    """CPU time a process's threads have run so far, in nanosecond detail
    (the scheduler's own account; clock ticks would round to 10 ms)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:  # a thread that has just ended
            pass
    return total / 1e9
