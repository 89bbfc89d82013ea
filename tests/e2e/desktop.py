"""What the end-to-end cases see and do on the X display: windows found by
name, their geometry, the tray's docked icons, clicks and screenshots. The
program runs in a session (wine_session.py or linux_session.py)."""
import os
import re
import shutil
import subprocess
import time

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


def _geometry_once(window):
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


def geometry(window):
    """(x, y, width, height) of a mapped window, or None. xwininfo asks for
    the place and the size in two requests, so a window that moves between
    them reads as a mix of two states: read until two agree."""
    last = _geometry_once(window)
    for _ in range(10):
        now = _geometry_once(window)
        if now == last:
            return now
        last = now
    return last


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


def tray_icons(owner):
    """Centres of the icons docked in trayer whose window line names owner
    (under Wine, explorer.exe docks the icons of every program)."""
    panels = find_windows("^panel$", visible=False)
    centres = []
    for panel in panels:
        for line in run("xwininfo", "-id", str(panel), "-tree").splitlines():
            if owner not in line:
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


def rgb_rows(image):
    """The pixels of an image as rows of (r, g, b)."""
    data = subprocess.run(["convert", image, "-depth", "8", "ppm:-"], capture_output=True, env=X_ENV,
                          check=True).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)  # one white-space byte before the pixels
    check(header, "convert gave no 8-bit binary PPM")
    w, h, body = int(header.group(1)), int(header.group(2)), data[header.end():]
    return [[tuple(body[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def resized(image, path, w, h, crop):
    """A copy of the crop (x, y, w, h) of image at w x h, each pixel the
    average of the area it covers."""
    cx, cy, cw, ch = crop
    run("convert", f"{image}[{cw}x{ch}+{cx}+{cy}]", "-filter", "Box", "-resize", f"{w}x{h}!", path, check_rc=True)
    return path


def same_region(image_a, image_b, crop):
    x, y, w, h = crop
    result = subprocess.run(["compare", "-metric", "AE", f"{image_a}[{w}x{h}+{x}+{y}]",
                             f"{image_b}[{w}x{h}+{x}+{y}]", "null:"], capture_output=True, text=True, env=X_ENV)
    return result.stderr.strip().split()[0] == "0"


def thread_and_socket_count(pid):
    """A process's threads, and the sockets among its open descriptors."""
    sockets = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            sockets += os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
        except FileNotFoundError:  # closed meanwhile
            pass
    return len(os.listdir(f"/proc/{pid}/task")), sockets


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


def install_program(path, programs, urls_line, newline):
    """Copies the program's files into the folder path, with a urls.txt of
    one line unless urls_line is None (then none at all)."""
    os.makedirs(path, exist_ok=True)
    for source in programs:
        shutil.copy(source, path)
    urls = os.path.join(path, "urls.txt")
    if urls_line is None:
        if os.path.exists(urls):
            os.remove(urls)
    else:
        with open(urls, "w", encoding="utf-8", newline="") as f:
            f.write(urls_line + newline)
