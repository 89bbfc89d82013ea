#!/usr/bin/env python3
"""The Linux program's pop-up on the Wayland desktops people run, each
compositor headless with Xwayland (compositors.py): the program on X11
through Xwayland, as Qt picks by default. Before the program starts, a
normal window covering the screen holds the keyboard focus; the pop-up must
appear at its corner above that window, grow upward with its bottom edge
fixed, leave the focus where it was, and go when "×" is clicked.

Where the session has a StatusNotifier host (swaybar on sway; on KWin,
which has none of its own, a panel's stand-in on the session bus), the same
program's icon registers there and its right button brings the exit prompt,
centred and focused; closing the prompt answers No and the program runs on.

Each group is one compositor (sway, kwin, mutter). Prints a row of the
desktops table per case. Exits non-zero when any case fails."""
import json
import os
import subprocess
import sys
import threading
import time

import desktop
from cases import (BAND_COLOUR, CLOSE_LABEL, FIRST_TEXT, FIRST_TITLE, LINK_A, artifact, case, config, expected_popup,
                   label_point, launches, requests_for, results, wait_popup_gone, watch_slide_in, write_feed)
from compositors import COMPOSITORS
from desktop import check, holds, pixel, wait_for
from linux_session import LinuxSession, Panel

HOLDER = "velmora-focus-holder"
EXIT_PROMPT = "退出"
TRAY_PICTURE = (0, 128, 128)  # the icon's teal ground


def x_windows(name):
    return desktop.find_windows(f"^{name}$")


def top_level(window):
    """The child of the root window that holds window (its frame, when a
    window manager has reparented it)."""
    while True:
        info = desktop.run("xwininfo", "-id", str(window), "-children")
        parent = int(info.split("Parent window id: ")[1].split()[0], 16)
        root = int(info.split("Root window id: ")[1].split()[0], 16)
        if parent == root:
            return window
        window = parent


def stacked_above(upper, lower):
    """True when upper's top-level window is above lower's in the X stack
    (xwininfo lists the top-most first)."""
    info = desktop.run("xwininfo", "-root", "-children")
    order = [int(line.split()[0], 16) for line in info.splitlines() if line.strip().startswith("0x")]
    a, b = top_level(upper), top_level(lower)
    return a in order and b in order and order.index(a) < order.index(b)


class CompositorSession(LinuxSession):
    """The program started inside a compositor's session: its Wayland and
    X displays, and its session bus where a tray host is on it (or a
    panel's stand-in is started there)."""

    def __init__(self, compositor, lang):
        super().__init__(compositor.name, lang, config)
        self.env.update(compositor.client_env())
        if compositor.tray_host:
            self.env["DBUS_SESSION_BUS_ADDRESS"] = compositor.dbus
        if compositor.tray_host == "stand-in":
            self.bus_log = open(os.path.join(self.root, "panel.log"), "ab")
            self.panel = Panel(self.env, self.bus_log)


def start(compositor):
    compositor.start()
    desktop.X_ENV = compositor.x_env()


def focus_holder(compositor, session):
    """A normal X window over the whole screen, focused by the compositor."""
    # Dark, so that the pop-up's white edges differ from it.
    holder = subprocess.Popen(["xmessage", "-title", HOLDER, "-bg", "#303030", "-geometry", "1920x1080+0+0",
                               "holds the focus"],
                              env=compositor.x_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.processes.append(holder)
    window = wait_for("the focus holder", lambda: x_windows(HOLDER), 15)[0]
    wait_for("the compositor to focus the holder", lambda: compositor.focused_x_window() == window, 15)
    return window


def focus_unchanged(compositor, holder):
    check(compositor.focused_x_window() == holder, "the pop-up took the X keyboard focus from the holder")
    title = compositor.focused_title()
    check(title in (None, HOLDER), f"the compositor focused {title!r}, not the holder")


def show_notice(compositor, session):
    holder = focus_holder(compositor, session)
    write_feed(f"feeds/{compositor.name}.xml", FIRST_TITLE, FIRST_TEXT, LINK_A, "Tue, 08 Dec 2026 06:00:00 GMT")
    session.install("velmora", f"feeds/{compositor.name}.xml")
    compositor.remember_background()
    session.start("velmora")
    return holder


def check_slide(seen, row):
    """The place at full height, and the edges that must not move while
    the pop-up grows."""
    full = seen[-1]
    row["place"] = f"{full[0]},{full[1]}"
    check(full == expected_popup(173), f"full-height pop-up at {full}")
    row["place"] = "✔ " + row["place"]
    right, bottom = {g[0] + g[2] for g in seen}, {g[1] + g[3] for g in seen}
    # A partial height seen is enough: a pop-up that grows about its centre
    # or downward moves its bottom edge at every step.
    check(len({g[3] for g in seen}) >= 2 and right == {full[0] + full[2]} and bottom == {full[1] + full[3]},
          f"while sliding: right edges {right}, bottom edges {bottom}, heights {[g[3] for g in seen]}")
    row["slide"] = "✔"
    return full


def exit_from_tray(compositor, session, row):
    """The icon's right button on the session's host brings the exit
    prompt, centred and focused; closed, it answers No."""
    program = session.processes[-1]
    if compositor.tray_host == "swaybar":
        icon = wait_for("the icon in swaybar", lambda: compositor.tray_icon(TRAY_PICTURE), 20, 0.2)
        compositor.click(*icon, "right")
    else:
        wait_for("the icon to register", lambda: session.panel.said("registered"), 20)
        session.panel.ask("context", "context")
    rect, _ = wait_for("the exit prompt", lambda: compositor.window(EXIT_PROMPT), 10, 0.05)
    print(f"  exit prompt at {rect[0]},{rect[1]} {rect[2]}x{rect[3]}", flush=True)
    check(abs(rect[0] + rect[2] // 2 - 960) <= 40 and abs(rect[1] + rect[3] // 2 - 540) <= 60,
          f"the exit prompt is not centred: {rect}")
    wait_for("the compositor to focus the exit prompt", lambda: compositor.window(EXIT_PROMPT)[1], 3, 0.05)
    compositor.screenshot(artifact(f"{compositor.name}-{session.env['QT_QPA_PLATFORM']}-exit-prompt.png"))
    compositor.close_window(EXIT_PROMPT)
    wait_for("the exit prompt to go", lambda: compositor.window(EXIT_PROMPT) is None, 5, 0.05)
    check(holds(lambda: program.poll() is None, 0.5), f"answering No ended the program ({program.returncode})")
    row["tray"] = "✔ " + ("swaybar" if compositor.tray_host == "swaybar" else "SNI (stand-in host)")


@case("pop-up on Xwayland: at its corner, growing upward, above a focused window raised later, focus kept, "
      "closed by ×; the icon's exit prompt centred and focused where a tray host is")
def popup_on_xwayland(compositor, row):
    start(compositor)
    session = CompositorSession(compositor, "zh_CN.UTF-8")
    try:
        holder = show_notice(compositor, session)
        _, seen = watch_slide_in(20)
        full = check_slide(seen, row)
        focus_unchanged(compositor, holder)
        row["focus"] = "not taken ✔"
        popup = x_windows("Form1")[0]
        check(stacked_above(popup, holder), "the pop-up is below the focused window")
        desktop.run("xdotool", "windowraise", str(holder))
        check(holds(lambda: stacked_above(popup, holder), 0.5), "a window raised later covers the pop-up")
        shot = compositor.screenshot(artifact(f"{compositor.name}-xwayland.png"))
        if shot:  # what the compositor really shows there
            band = pixel(shot, full[0] + 120, full[1] + 10)
            check(max(abs(c - b) for c, b in zip(band, BAND_COLOUR)) < 24, f"the compositor shows {band} there")
        # Through the compositor's pointer where the test has one, as a user
        # clicks; XTEST otherwise.
        if not compositor.click(*label_point(full, *CLOSE_LABEL)):
            desktop.click(*label_point(full, *CLOSE_LABEL))
        wait_popup_gone(3)
        focus_unchanged(compositor, holder)
        if compositor.tray_host:
            exit_from_tray(compositor, session, row)
    finally:
        session.stop()


@case("pop-up on native Wayland: a layer surface at its corner, growing upward, over a focused window, focus kept, "
      "closed by × through the compositor's pointer where the test has one (sway); the icon's exit prompt centred "
      "and focused")
def popup_native(compositor, row):
    start(compositor)
    session = CompositorSession(compositor, "zh_CN.UTF-8")
    session.env["QT_QPA_PLATFORM"] = "wayland"
    try:
        holder = show_notice(compositor, session)
        seen = [wait_for("the pop-up to appear", lambda: compositor.popup_rect(HOLDER), 20, 0.01)]
        deadline = time.monotonic() + 5
        while seen[-1][3] < 173:
            check(time.monotonic() < deadline, f"the pop-up stopped growing at {seen[-1]}")
            seen.append(compositor.popup_rect(HOLDER) or seen[-1])
        full = check_slide(seen, row)
        focus_unchanged(compositor, holder)
        row["focus"] = "not taken ✔"
        compositor.screenshot(artifact(f"{compositor.name}-wayland.png"))
        if compositor.click(*label_point(full, *CLOSE_LABEL)):
            wait_for("the pop-up to go", lambda: compositor.popup_rect(HOLDER) is None, 3, 0.02)
            focus_unchanged(compositor, holder)
        if compositor.tray_host:
            exit_from_tray(compositor, session, row)
    finally:
        session.stop()


class NotificationServer:
    """notification_server.py on a session bus of the session's own."""

    def __init__(self, session):
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=session.env, text=True)
        session.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus.stdout.readline().strip()
        server = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notification_server.py")
        self.server = subprocess.Popen([server], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, env=session.env, text=True, encoding="utf-8")
        self.records = []
        threading.Thread(target=self._read, daemon=True).start()
        wait_for("the notification server", lambda: self.said("ready"), 10)

    def _read(self):
        for line in self.server.stdout:
            self.records.append(json.loads(line))

    def said(self, key):
        return [record for record in self.records if key in record]

    def invoke(self, id, action):
        self.server.stdin.write(f"invoke {id} {action}\n")
        self.server.stdin.flush()

    def stop(self):
        for process in (self.server, self.bus):
            process.kill()
            process.wait()


@case("native Wayland without the layer shell: a desktop notification with the texts and a 查看详情 action")
def notification_instead(compositor, row):
    start(compositor)
    session = CompositorSession(compositor, "zh_CN.UTF-8")
    session.env["QT_QPA_PLATFORM"] = "wayland"
    server = None
    try:
        # With no notification server either, no window of any kind.
        holder = show_notice(compositor, session)
        program = session.processes[-1]
        wait_for("the first feed check", lambda: requests_for(f"feeds/{compositor.name}.xml"), 20)
        check(holds(lambda: compositor.focused_x_window() == holder, 2), "a window took the focus")
        program.kill()
        program.wait()
        server = NotificationServer(session)
        session.start("velmora")
        notice = wait_for("the notification", lambda: server.said("notify"), 20)[0]
        text = FIRST_TEXT.replace("[b]", "").replace("#183;", "·")[:125]
        check(notice["summary"] == FIRST_TITLE[:14] and notice["body"] == text, f"the notification reads {notice}")
        check(notice["actions"] == ["details", "查看详情"], f"actions {notice['actions']}")
        row["place"] = "✔ notification"
        check(holds(lambda: len(server.said("notify")) == 1, 1), f"notified again: {server.said('notify')}")
        focus_unchanged(compositor, holder)
        row["focus"] = "not taken ✔"
        server.invoke(notice["notify"], "details")
        logged = wait_for("the browser stand-in", launches, 10)
        check(logged == [LINK_A], f"the browser got {logged}")
        # The pop-up behind it slides out and takes the notification along.
        wait_for("the notification to be closed", lambda: server.said("close"), 5)
        row["slide"] = "– (the server's own)"
    finally:
        if server:
            server.stop()
        session.stop()


GROUPS = {
    "sway": ("sway 1.7, XWayland", popup_on_xwayland),
    "kwin": ("KWin 5.27, XWayland", popup_on_xwayland),
    "mutter": ("Mutter 43, XWayland", popup_on_xwayland),
    "gnome-shell": ("GNOME Shell 43, XWayland", popup_on_xwayland),
    "sway-wayland": ("sway, native Wayland", popup_native),
    "kwin-wayland": ("KWin, native Wayland", popup_native),
    "mutter-wayland": ("Mutter (GNOME), native Wayland", notification_instead),
}


def main():
    os.makedirs(config.artifacts, exist_ok=True)
    wanted = sys.argv[1:] or list(GROUPS)
    rows = []
    for group in wanted:
        label, run = GROUPS[group]
        compositor = COMPOSITORS[group.removesuffix("-wayland")](config.work)
        row = {"session": label, "tray": "✘" if compositor.tray_host else "– (no tray host)", "place": "✘",
               "focus": "✘", "slide": "✘"}
        if group == "gnome-shell":  # its icon needs the extension: its own suite
            row["tray"] = "– (scripts/e2e-gnome.sh)"
        started = time.monotonic()
        try:
            run(compositor, row)
        finally:
            compositor.stop()
        rows.append(row)
        print(f"   {group}: {time.monotonic() - started:.1f} s", flush=True)
    print("\n| session | tray icon | pop-up place | focus | slide |\n|---|---|---|---|---|")
    for row in rows:
        print(f"| {row['session']} | {row['tray']} | {row['place']} | {row['focus']} | {row['slide']} |")
    failed = [name for name, ok, _ in results if not ok]
    print(f"\n{len(results) - len(failed)} of {len(results)} cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
