#!/usr/bin/env python3
"""End-to-end cases for Velmora as a user sees them, one set for both
programs: velmora.exe under Wine (scripts/e2e-windows.sh) and the Linux
program on Qt (scripts/e2e-linux.sh). VELMORA_E2E_PLATFORM picks the kind of
session (wine_session.py or linux_session.py); the script provides the
display, the tray, the feed server and the browser stand-in (see Config).

Each case group runs the real program and asserts on windows, pixels,
message boxes, the browser stand-in's log and the feed server's request log.
A few groups test what only the Windows program has (Explorer restarts,
the WinINet fetch, its CPU under Wine), one what only the Linux program has
(a screen reader on AT-SPI). Exits non-zero when any case fails.
"""
import contextlib
import hashlib
import json
import os
import ssl
import struct
import subprocess
import sys
import time
import traceback
import urllib.request

from desktop import (X_ENV, Failure, check, click, cpu_seconds, find_windows, focused_window, holds, pixel,
                     popup_geometry, press, region_stats, release_at, resized, rgb_rows, run, same_region, screenshot,
                     thread_and_socket_count, tray_icons,
                     wait_for)
from linux_session import LinuxSession
from wine_session import WINE, WineSession, run_wine

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from feed_server_process import FeedServerProcess  # noqa: E402

SCREEN_W, SCREEN_H = 1920, 1080
POPUP_W, POPUP_FULL_H = 252, 173  # 3780 x 2600 twips at 15 twips per pixel
RIGHT_MARGIN, BOTTOM_MARGIN = 18, 30
CHECK_INTERVAL_S = 60

ALREADY_RUNNING = ("已经启动", "对不起，Velmora已经启动。")
STARTUP_ERROR = ("错误", "启动程序发生错误，请重新安装程序。")
EXIT_PROMPT = ("退出", "确定退出吗 ?")


class Config:
    def __init__(self):
        env = os.environ
        self.platform = env.get("VELMORA_E2E_PLATFORM", "windows")
        self.exe = env["VELMORA_E2E_EXE"]
        self.work = env["VELMORA_E2E_WORK"]
        self.artifacts = env["VELMORA_E2E_ARTIFACTS"]
        self.www = env["VELMORA_E2E_WWW"]
        self.requests = env["VELMORA_E2E_REQUESTS"]
        self.launches = env["VELMORA_E2E_LAUNCHES"]
        self.bin = env["VELMORA_E2E_BIN"]
        self.locpath = env["VELMORA_E2E_LOCPATH"]
        # The Windows program's helpers: a template prefix, the box reader,
        # Explorer's stand-in, velmora-check.exe, the shared feed site, the
        # pop-up's screen reader and the shell's keyboard callbacks.
        self.template = env.get("VELMORA_E2E_TEMPLATE")
        self.reader = env.get("VELMORA_E2E_READER")
        self.checker = env.get("VELMORA_E2E_CHECKER")
        self.restarter = env.get("VELMORA_E2E_RESTARTER")
        self.source = env.get("VELMORA_E2E_SOURCE")
        self.workers = env.get("VELMORA_E2E_WORKERS")
        self.popup_reader = env.get("VELMORA_E2E_POPUP_READER")
        self.tray_keys = env.get("VELMORA_E2E_TRAY_KEYS")
        self.base = "http://127.0.0.1:8741/"


config = Config()


# --- the feed site -----------------------------------------------------------------------


def write_feed(name, title, description, link, pub_date):
    item = (f"<item><title><![CDATA[{title}]]></title><link>{link}</link>"
            f"<description><![CDATA[{description}]]></description><pubDate>{pub_date}</pubDate></item>")
    text = ('<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0"><channel><title>Velmora e2e</title>'
            f"<link>{config.base}</link><description>channel</description>\n{item}\n</channel></rss>\n")
    path = os.path.join(config.www, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def answers_for(path):
    """The feed server's answers to requests for path, in order."""
    with open(config.requests, encoding="utf-8") as f:
        return [line.split()[1] for line in f if line.split()[0] == "/" + path]


def requests_for(path):
    return len(answers_for(path))


def launches():
    if not os.path.exists(config.launches):
        return []
    with open(config.launches, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f]


def read_text(path):
    """A helper program's output so far, whole lines or not."""
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def json_lines(path):
    return [json.loads(line) for line in read_text(path).splitlines() if line.startswith("{")]


def artifact(name):
    return os.path.join(config.artifacts, name)


# --- the pop-up --------------------------------------------------------------------------


def expected_popup(height):
    return (SCREEN_W - RIGHT_MARGIN - POPUP_W, SCREEN_H - BOTTOM_MARGIN - height, POPUP_W, height)


def watch_slide_in(timeout=10, full_height=POPUP_FULL_H):
    """Waits for the pop-up, follows it to full height; returns the seconds
    from first sight to full height and every geometry seen."""
    first = wait_for("the pop-up to appear", popup_geometry, timeout, interval=0.01)
    start = time.monotonic()
    seen = [first]
    while seen[-1][3] < full_height:
        check(time.monotonic() - start < 5, f"the pop-up stopped growing at {seen[-1]}")
        g = popup_geometry()
        if g:
            seen.append(g)
        time.sleep(0.01)
    return time.monotonic() - start, seen


def label_point(popup, left, top, width, height):
    """Screen point in the middle of a label given in pop-up pixels."""
    return popup[0] + left + width // 2, popup[1] + top + height // 2


CLOSE_LABEL = (232, 6, 17, 17)
DETAILS_LABEL = (192, 150, 59, 17)
TITLE_LABEL = (16, 24, 217, 17)
TEXT_LABEL = (16, 48, 217, 89)


def wait_popup_gone(timeout):
    start = time.monotonic()
    wait_for("the pop-up to go", lambda: popup_geometry() is None, timeout, interval=0.02)
    return time.monotonic() - start


def icons(session):
    return tray_icons(session.icon_owner)


def assert_icon_docked(session, timeout=20):
    return wait_for("the icon to dock in the tray", lambda: icons(session), timeout)[0]


# --- case groups ---------------------------------------------------------------------------

results = []


def case(name):
    def wrap(function):
        def run(*args):
            started = time.monotonic()
            try:
                function(*args)
                results.append((name, True, ""))
                print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
                return True
            except Exception as error:  # a failed case must not stop the others
                detail = str(error) if isinstance(error, Failure) else traceback.format_exc()
                results.append((name, False, detail))
                print(f"FAIL {name}: {detail}", flush=True)
                return False

        return run

    return wrap


LINK_A = config.base + "items/first?id=1"
LINK_B = config.base + "items/second?id=2"


FIRST_TITLE = "新版本发布：Velmora 测试条目"
FIRST_TEXT = ("这是一条测试消息。[b]Velmora[/b] 会在屏幕右下角弹出窗口，显示标题、摘要和查看详情链接。"
              "The quick brown fox jumps over the lazy dog #183; 再来一些文字。")
# The first pop-up as drawn under the Chinese locale, for comparison.
reference = {}


@case("1 normal start: icon docks, pop-up slides in at its place with the item's texts")
def normal_start(session, state):
    write_feed("feeds/main.xml", FIRST_TITLE, FIRST_TEXT, LINK_A, "Mon, 07 Dec 2026 06:00:00 GMT")
    session.install("velmora", "feeds/main.xml")
    state["main"] = session.start("velmora")
    assert_icon_docked(session)
    seconds, seen = watch_slide_in()
    for g in seen:
        check(g[0] + g[2] == SCREEN_W - RIGHT_MARGIN, f"right edge at {g[0] + g[2]}, not {SCREEN_W - RIGHT_MARGIN}")
        check(g[1] + g[3] == SCREEN_H - BOTTOM_MARGIN, f"bottom edge at {g[1] + g[3]} while sliding ({g})")
    check(seen[-1] == expected_popup(POPUP_FULL_H), f"full-height pop-up at {seen[-1]}")
    check(seconds < 1.6, f"the slide-in took {seconds:.2f} s")
    check(len(seen) >= 3, f"no growth was seen, only {seen}")
    focused = focused_window()
    check(focused not in find_windows("^Form1$"), "the pop-up took the keyboard focus")
    popup = seen[-1]
    shot = screenshot(artifact("case1-popup.png"), crop=popup)
    state["first_shot"] = reference["popup"] = shot
    screenshot(artifact("case1-screen.png"))
    # The background picture: blue band at the top, white body.
    band, body = pixel(shot, 120, 10), pixel(shot, 120, 140)
    check(max(abs(c - b) for c, b in zip(band, BAND_COLOUR)) < 24, f"top band colour {band}")
    check(min(body) > 235, f"body colour {body}")
    # The labels' texts are drawn: dark title and message, teal details,
    # white close mark on the band.
    check(region_stats(shot, *TITLE_LABEL)[0] < 0.3, "no title text drawn")
    check(region_stats(shot, *TEXT_LABEL)[0] < 0.3, "no message text drawn")
    check(region_stats(shot, *DETAILS_LABEL)[0] < 0.6, "no view-details text drawn")
    # (Qt's antialiased thin cross peaks near 0.96 grey, the band is 0.38.)
    check(region_stats(shot, *CLOSE_LABEL)[1] > 0.9, "no close mark drawn")
    state["popup"] = popup


@case("3 view details hands the http link to the browser and closes the pop-up")
def view_details(session, state):
    check("popup" in state, "needs the pop-up of case 1")
    click(*label_point(state["popup"], *DETAILS_LABEL))
    logged = wait_for("the browser stand-in to be started", launches, 15)
    check(logged == [LINK_A], f"the browser got {logged}, not [{LINK_A}]")
    check(wait_popup_gone(3) < 2.0, "the pop-up did not close")


@case("4 the same feed at the next check shows nothing; a changed first item shows the new item")
def next_checks(session, state):
    check(session.processes and state["main"].poll() is None, "needs the running program of case 1")
    fetched = requests_for("feeds/main.xml")
    wait_for("the next feed check", lambda: requests_for("feeds/main.xml") > fetched, CHECK_INTERVAL_S + 15, 0.2)
    check(holds(lambda: popup_geometry() is None, 3), "the unchanged item was shown again")
    # The unchanged feed was asked for conditionally and came from memory.
    check(answers_for("feeds/main.xml")[-1] == "304", f"answers {answers_for('feeds/main.xml')}")
    write_feed("feeds/main.xml", "第二条：换了新内容", "新的第一条目。Second item, shown because its pubDate changed.",
               LINK_B, "Mon, 07 Dec 2026 07:00:00 GMT")
    fetched = requests_for("feeds/main.xml")
    wait_for("the check after that", lambda: requests_for("feeds/main.xml") > fetched, CHECK_INTERVAL_S + 15, 0.2)
    check(answers_for("feeds/main.xml")[-1] == "200", f"answers {answers_for('feeds/main.xml')}")
    _, seen = watch_slide_in()
    popup = seen[-1]
    check(popup == expected_popup(POPUP_FULL_H), f"the new pop-up at {popup}")
    shot = screenshot(artifact("case4-new-item.png"), crop=popup)
    check(not same_region(shot, state["first_shot"], TITLE_LABEL), "the title did not change")
    state["popup"] = popup


@case("2 the close mark starts the slide-out; the pop-up is gone about a second later")
def close_mark(session, state):
    popup = popup_geometry()
    check(popup is not None, "needs a pop-up on screen")
    launched = len(launches())
    before = screenshot(artifact("case2-before-press.png"), crop=popup)
    # Press on the mark, leave the pop-up with the button held, release far
    # away: the release still belongs to the mark (mouse capture).
    press(*label_point(popup, *CLOSE_LABEL))
    pressed = wait_for("the pressed look", lambda: not same_region(
        screenshot(artifact("case2-pressed.png"), crop=popup), before, CLOSE_LABEL), 2, 0.1)
    check(pressed, "the mark did not move when pressed")
    check(holds(lambda: popup_geometry() == popup, 0.5), "the press alone changed the pop-up")
    start = time.monotonic()
    release_at(popup[0] - 300, popup[1] - 200)
    wait_for("the pop-up to shrink", lambda: (popup_geometry() or (0, 0, 0, 0))[3] < POPUP_FULL_H, 2, 0.01)
    wait_popup_gone(3)
    seconds = time.monotonic() - start
    check(0.4 < seconds < 1.8, f"gone {seconds:.2f} s after the release")
    check(len(launches()) == launched, f"the close mark launched something: {launches()}")


@case("Explorer restart: the icon is added again")
def taskbar_restart(session, state):
    check(state["main"].poll() is None, "needs the running program")
    icon = assert_icon_docked(session)
    removed = run_wine([config.restarter, "remove"], session.env, 30)
    check(removed.returncode == 0, "the program's icon was not found")
    wait_for("the icon to leave with the old taskbar", lambda: not icons(session), 10)
    run_wine([config.restarter, "announce"], session.env, 30)
    wait_for("the icon to dock again", lambda: icons(session) == [icon], 10)


def second_start(session, state, shot_name):
    check(state["main"].poll() is None, "needs the running first instance")
    icon = assert_icon_docked(session)
    second = session.start("velmora")
    box = session.wait_dialog(ALREADY_RUNNING[0])
    check(find_windows(f"^{ALREADY_RUNNING[0]}$"), "the box's title is not its X window name")
    screenshot(artifact(shot_name))
    text = box.text()
    check(text == ALREADY_RUNNING[1], f"the box reads {text!r}")
    check(len(box.buttons) == 1, f"buttons {box.buttons}")
    box.press(0)
    wait_for("the second instance to end", lambda: second.poll() is not None, 10)
    check(holds(lambda: state["main"].poll() is None, 1), "the first instance ended too")
    check(icons(session) == [icon], f"the first instance's icon changed: {icons(session)}")


def exit_prompt(session, state, shot_name):
    main = state["main"]
    icon = assert_icon_docked(session)
    click(*icon, button=3)
    box = session.wait_dialog(EXIT_PROMPT[0])
    check(find_windows(f"^{EXIT_PROMPT[0]}$"), "the prompt's title is not its X window name")
    screenshot(artifact(shot_name))
    text = box.text()
    check(text == EXIT_PROMPT[1], f"the prompt reads {text!r}")
    check(len(box.buttons) == 2, f"buttons {box.buttons}")
    box.press(session.NO)
    wait_for("the prompt to close", lambda: session.dialog_gone(EXIT_PROMPT[0]), 10, 0.3)
    check(holds(lambda: main.poll() is None, 1), "No ended the program")
    check(icons(session) == [icon], "No took the icon away")
    click(*icon, button=3)
    session.wait_dialog(EXIT_PROMPT[0]).press(session.YES)
    wait_for("the program to end", lambda: main.poll() is not None, 10)
    wait_for("the icon to leave the tray", lambda: not icons(session), 10)


@case("6 a second start says it is already running and ends; the first keeps running")
def already_running(session, state):
    second_start(session, state, "case6-already-running.png")


@case("5 right-click on the icon asks to quit: No keeps it, Yes ends it and the icon leaves")
def quit_prompt(session, state):
    exit_prompt(session, state, "case5-exit-prompt.png")


def quit_from_tray(session, process):
    """Ends a program the way a user does: the icon's exit prompt, Yes."""
    click(*assert_icon_docked(session), button=3)
    session.wait_dialog(EXIT_PROMPT[0]).press(session.YES)
    wait_for("the program to end", lambda: process.poll() is not None, 10)
    wait_for("the icon to leave", lambda: not icons(session), 10)


def refused_link(session, folder, link, shot_name):
    write_feed(f"feeds/{folder}.xml", "不该打开的链接", f"这一条的链接是 {link}", link, "Mon, 07 Dec 2026 08:00:00 GMT")
    session.install(folder, f"feeds/{folder}.xml")
    before = set(find_windows(".", visible=True))
    launched = len(launches())
    process = session.start(folder)
    try:
        _, seen = watch_slide_in(20)
        screenshot(artifact(shot_name), crop=seen[-1])
        click(*label_point(seen[-1], *DETAILS_LABEL))
        wait_popup_gone(3)
        check(holds(lambda: len(launches()) == launched, 3), f"something was launched: {launches()}")
        new_windows = set(find_windows(".", visible=True)) - before
        check(not new_windows, f"new windows appeared: {new_windows}")
    finally:
        quit_from_tray(session, process)


@case("3 a file: link launches nothing")
def file_link(session, state):
    refused_link(session, "file-link", session.file_link, "case3-file-link.png")


@case("3 a program path launches nothing")
def program_link(session, state):
    refused_link(session, "program-link", session.program_link, "case3-program-link.png")


@case("7 without urls.txt: the start-up error, then the end, and no icon")
def no_configuration(session, state):
    session.install("no-urls", None)
    process = session.start("no-urls")
    box = session.wait_dialog(STARTUP_ERROR[0])
    check(find_windows(f"^{STARTUP_ERROR[0]}$"), "the box's title is not its X window name")
    screenshot(artifact("case7-startup-error.png"))
    text = box.text()
    check(text == STARTUP_ERROR[1], f"the box reads {text!r}")
    check(not icons(session), "an icon was added")
    check(len(box.buttons) == 1, f"buttons {box.buttons}")
    box.press(0)
    wait_for("the program to end", lambda: process.poll() is not None, 10)
    check(holds(lambda: not icons(session), 1), "an icon is left in the tray")


LINK_ZH = config.base + "条目/第一条?标题=新版本"


@case("8 under en_US.UTF-8: pop-up texts, link, already-running box and exit prompt arrive intact")
def western_locale(session, state):
    write_feed("feeds/main.xml", FIRST_TITLE, FIRST_TEXT, LINK_ZH, "Tue, 08 Dec 2026 06:00:00 GMT")
    session.install("velmora", "feeds/main.xml")
    state["main"] = session.start("velmora")
    assert_icon_docked(session)
    _, seen = watch_slide_in()
    shot = screenshot(artifact("case8-popup.png"), crop=seen[-1])
    check(region_stats(shot, *TITLE_LABEL)[0] < 0.3, "no title text drawn")
    if "popup" in reference:
        # Through a Western code page the Chinese would come out as "?".
        check(same_region(shot, reference["popup"], TITLE_LABEL), "the title differs from the Chinese system's")
        check(same_region(shot, reference["popup"], TEXT_LABEL), "the text differs from the Chinese system's")
    launched = len(launches())
    click(*label_point(seen[-1], *DETAILS_LABEL))
    wait_for("the browser stand-in", lambda: len(launches()) > launched, 15)
    handed = session.as_handed_to_browser(LINK_ZH)
    check(launches()[-1] == handed, f"the browser got {launches()[-1]!r}, not {handed!r}")
    wait_popup_gone(3)
    second_start(session, state, "case8-already-running.png")
    exit_prompt(session, state, "case8-exit-prompt.png")


@case("cost: a fetch waiting on a stalled server uses no more CPU than idling")
def cpu_while_waiting(session, state):
    os.makedirs(os.path.join(config.www, "feeds"), exist_ok=True)
    with open(os.path.join(config.www, "feeds/empty.xml"), "w") as f:
        f.write("<rss><channel><title>nothing new</title></channel></rss>\n")
    figures = {}
    for folder, path in (("idle", "feeds/empty.xml"), ("stalled", "stall/feed.xml")):
        session.install(folder, path)
        process = session.start(folder)
        try:
            assert_icon_docked(session)
            wait_for(f"the {folder} program's request", lambda: requests_for(path) > 0, 20, 0.2)
            time.sleep(1)  # let start-up's own work finish before measuring
            check(session.is_program(process), "measuring the wrong process")
            before = cpu_seconds(process.pid)
            figures[folder + " start-up"] = before
            # Measuring 10 s of CPU time needs 10 s of wall time.
            time.sleep(10)
            figures[folder] = cpu_seconds(process.pid) - before
            if folder == "stalled":
                check(requests_for(path) == 1 and process.poll() is None, "the fetch did not stay waiting")
        finally:
            quit_from_tray(session, process)
    print(f"CPU over 10 s: idle {figures['idle'] * 1000:.1f} ms, waiting on a stalled server "
          f"{figures['stalled'] * 1000:.1f} ms (start-up before them: {figures['idle start-up'] * 1000:.1f} ms and "
          f"{figures['stalled start-up'] * 1000:.1f} ms)", flush=True)
    with open(artifact("cpu.txt"), "w") as f:
        f.write(f"idle_ms={figures['idle'] * 1000:.1f}\nstalled_ms={figures['stalled'] * 1000:.1f}\n")
    # A busy wait would cost a whole core (10 s); a few milliseconds is noise.
    check(figures["stalled"] <= figures["idle"] + 0.05, f"waiting costs CPU: {figures}")


@case("9 a close request from outside (taskkill, velmora --quit) ends the program with 0; it takes its icon away")
def close_request(session, state):
    write_feed("feeds/close.xml", "关闭", "closing from outside", LINK_A, "Wed, 09 Dec 2026 06:00:00 GMT")
    session.install("close", "feeds/close.xml")
    process = session.start("close", trace_tray=True)
    assert_icon_docked(session)
    wait_for("the first check", lambda: requests_for("feeds/close.xml") > 0, 20, 0.2)
    check(session.request_close(process), "the close request was not delivered")
    wait_for("the program to end", lambda: process.poll() is not None, 15, 0.1)
    check(process.returncode == 0, f"the program ended with {process.returncode}")
    wait_for("the icon to leave the tray", lambda: not icons(session), 10)
    check(session.deleted_own_icon("close"), "the program did not remove its icon itself")


def check_url(session, url):
    """velmora-check's verdict on a URL fetched by the Windows fetch, and the
    seconds it took."""
    started = time.monotonic()
    result = run_wine([config.checker, "--json", url], session.env, 90)
    return json.loads(result.stdout.decode("utf-8")), time.monotonic() - started


def trust_test_certificate(session):
    """Makes the test server's self-signed certificate a trusted root in the
    session's prefix, as the registry keeps the Root store: the key is the
    certificate's SHA-1, its Blob the certificate as a serialized property."""
    pem = os.path.join(config.source, "tests/support/localhost-cert.pem")
    with open(pem) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    # Property 32 (the certificate itself), a reserved 1, its length, its bytes.
    blob = struct.pack("<III", 32, 1, len(der)) + der
    key = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\"
    path = os.path.join(config.work, "test-root.reg")
    with open(path, "w") as f:
        f.write(f"Windows Registry Editor Version 5.00\r\n\r\n[{key}{hashlib.sha1(der).hexdigest().upper()}]\r\n"
                f"\"Blob\"=hex:{','.join('%02x' % b for b in blob)}\r\n")
    run_wine(["reg", "import", path], session.env, 60)


@case("fetch: WinINet follows the fetch rules (redirects, encodings, charsets, status, size, time-out)")
def fetch_rules(session, state):
    feeds = os.path.join(config.source, "tests/data/feeds")
    with FeedServerProcess(feeds) as server:
        def verdict(path):
            return check_url(session, server.url("/" + path))[0]

        def fails(path, reason):
            result = verdict(path)
            check(not result["shown"] and reason in result["reason"], f"{path}: {result}")

        title = verdict("feeds/cdata_news.xml").get("title")
        check(title and "发布说明" in title, f"plain fetch: {title}")
        check(verdict("gzip/cdata_news.xml").get("title") == title, "gzip body not inflated")
        check(verdict("chunked/cdata_news.xml").get("title") == title, "chunked body not read")
        check(verdict("redirect/10/feeds/cdata_news.xml").get("title") == title, "10 redirects not followed")
        zh = verdict("charset/gb2312/zh_gb2312.xml").get("title", "")
        check(zh.startswith("关于调整春节放假安排"), f"a gb2312 feed decoded as {zh!r}")
        fails("redirect/11/feeds/cdata_news.xml", "too many redirects")
        fails("loop", "too many redirects")
        fails("redirect-to?url=file:///C:/windows/win.ini", "only http and https")
        fails("status/404", "404")
        fails("status/500", "500")
        fails("big/17000000", "16 MiB")
        # A redirect may not take an https fetch down to http.
        trust_test_certificate(session)
        with FeedServerProcess(feeds, tls=True) as secure:
            secured = check_url(session, secure.url("/feeds/cdata_news.xml"))[0]
            check(secured.get("title") == title, f"https fetch: {secured}")
            result = check_url(session, secure.url("/redirect-to?url=" + server.url("/feeds/cdata_news.xml")))[0]
            check(not result["shown"] and "https to http" in result["reason"], f"https to http: {result}")
        result, seconds = check_url(session, server.url("/stall"))
        check(not result["shown"] and "timed out" in result["reason"], f"stalled server: {result}")
        check(28 <= seconds <= 40, f"the stalled fetch gave up after {seconds:.1f} s, not 30")


# Areas of the 100 % pop-up that only the background picture covers, no
# label: the band with its lower edge, the logo, the rule, the magnifier.
BACKGROUND_AREAS = {"band": (22, 0, 206, 24), "logo": (0, 0, 22, 24), "rule": (8, 145, 236, 3),
                    "magnifier": (168, 148, 24, 25)}
BAND_COLOUR = (36, 112, 184)
# Mean difference in grey level (0..255) allowed in each area between the
# 100 % pop-up and a scaled one shrunk back to its size. Measured: at most
# 6, from the 100 % picture's JPEG compression (colour is left out: its
# halved chroma fringes the logo by some 14 levels) and the resampling at
# the edges. The fault, the 100 % picture left in the corner of a larger
# window, gives 17 and more in every area, at every scaling.
BACKGROUND_TOLERANCE = 10


def grey_levels(image):
    return [[0.299 * r + 0.587 * g + 0.114 * b for r, g, b in row] for row in rgb_rows(image)]


def area_difference(image_a, image_b, area):
    """Mean absolute difference in grey level (0..255) of two images in an area."""
    x, y, w, h = area
    a, b = grey_levels(image_a), grey_levels(image_b)
    return sum(abs(a[row][col] - b[row][col]) for row in range(y, y + h) for col in range(x, x + w)) / (w * h)


def close_mark_shows(image, scale):
    """The "×" is drawn on the band: its box holds band pixels and, apart
    from them, light ones (a mark drawn on white would have no band around
    it). Light: a grey level of 170 or more, where the band's is 98; an
    antialiased thin cross has few pure white pixels on a dark band."""
    x, y, w, h = (round(v * scale) for v in CLOSE_LABEL)
    pixels = [p for row in rgb_rows(image)[y:y + h] for p in row[x:x + w]]
    band = sum(1 for p in pixels if max(abs(c - b) for c, b in zip(p, BAND_COLOUR)) <= 30)
    mark = sum(1 for p in pixels if 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2] >= 170)
    return band >= len(pixels) * 0.3 and mark >= len(pixels) * 0.03, (band, mark, len(pixels))


@case("scaling: at each DPI the pop-up is the design size times DPI/96, placed alike, and looks like the 100 % one")
def scaling(session, state):
    write_feed("feeds/scaled.xml", FIRST_TITLE, FIRST_TEXT, LINK_A, "Wed, 09 Dec 2026 06:00:00 GMT")
    session.install("scaled", "feeds/scaled.xml")
    reference_shot = None
    for dpi in session.DPIS:
        scale = dpi / 96
        session.set_dpi(dpi)
        session.start("scaled")
        # Full height is 2600 twips: 173 px at 96 DPI, within a pixel of
        # that times the scale at any other.
        _, seen = watch_slide_in(30, round(POPUP_FULL_H * scale) - 1)
        popup = wait_for("the pop-up to stop growing", lambda: holds(lambda: popup_geometry() == seen[-1], 0.3) and
                         seen[-1], 5)
        x, y, w, h = popup
        got = (w, h, x + w, y + h)
        expected = (POPUP_W * scale, 2600 / 15 * scale, SCREEN_W - RIGHT_MARGIN * scale,
                    SCREEN_H - BOTTOM_MARGIN * scale)
        print(f"  {dpi} DPI: pop-up {w} x {h} at {x},{y}", flush=True)
        check(all(abs(g - e) <= 1 for g, e in zip(got, expected)),
              f"at {dpi} DPI: size and right/bottom edges {got}, not {expected} (within 1 px)")
        shot = screenshot(artifact(f"scaling-{dpi}dpi.png"), crop=popup)
        shows, counts = close_mark_shows(shot, scale)
        check(shows, f"at {dpi} DPI the close mark does not show on the band (band, mark, all: {counts})")
        if dpi == 96:
            reference_shot = shot
        else:
            # The design's client area, 3780 x 2595 twips; a slid-in pop-up
            # may stand a pixel taller.
            client = (0, 0, w, round(2595 * dpi / 1440))
            back = resized(shot, artifact(f"scaling-{dpi}dpi-at-96.png"), POPUP_W, POPUP_FULL_H, client)
            figures = {name: area_difference(back, reference_shot, area) for name, area in BACKGROUND_AREAS.items()}
            print("  " + ", ".join(f"{name} {value:.1f}" for name, value in figures.items()), flush=True)
            check(all(v <= BACKGROUND_TOLERANCE for v in figures.values()),
                  f"at {dpi} DPI the background differs from 96 DPI's: {figures}")


def run_workers(session, server, path):
    """fetch_workers.exe drives the program's WinINet fetch with a 2 s limit,
    ten checks in a row; each check's line with the threads and sockets (the
    process's and the wineserver's) seen while nothing runs."""
    output = os.path.join(config.work, "fetch-workers.txt")
    samples = []
    with open(output, "wb") as out:
        process = subprocess.Popen([WINE, config.workers, server.url(path), "10", "2000"],
                                   env=session.env, stdout=out, stderr=subprocess.DEVNULL)
        try:
            def sample():
                lines = [line.strip() for line in read_text(output).splitlines() if line.startswith("check ")]
                for line in lines[len(samples):]:
                    threads, sockets = thread_and_socket_count(process.pid)
                    wineserver = session.wineserver_pid()
                    samples.append((line, threads, sockets + (thread_and_socket_count(wineserver)[1]
                                                              if wineserver else 0)))
                return len(samples) == 10 or process.poll() is not None

            wait_for("ten checks", sample, 120, 0.05)
        finally:
            if process.poll() is None:
                process.kill()
            process.wait()
    threads, sockets = [s[1] for s in samples], [s[2] for s in samples]
    print(f"{path}: threads after each check: {threads}; sockets (process and wineserver): {sockets}", flush=True)
    check(len(samples) == 10, f"only {len(samples)} checks: {samples}")
    check(all("timed out" in line for line, _, _ in samples), f"outcomes {samples}")
    # Nothing of a transfer may run on once its request is gone: a program
    # returning from main then would race it through static destruction.
    check(all(line.endswith("outlived 0") for line, _, _ in samples), f"a transfer outlived its request: {samples}")
    # A transfer that is just starting the next check may be counted.
    check(max(threads) - min(threads) <= 1, f"threads grew: {threads}")
    check(max(sockets) - min(sockets) <= 1, f"sockets grew: {sockets}")


@case("fetch: transfers past their limit end at it, whichever phase they are in; every check is made, threads and "
      "sockets stay flat")
def fetch_workers(session, state):
    """Against a server that sends the body a byte a second, and one that
    sends its headers a byte a second (each byte would restart a receive
    time-out)."""
    with FeedServerProcess(os.path.join(config.source, "tests/data/feeds")) as server:
        run_workers(session, server, "/trickle/cdata_news.xml")
        run_workers(session, server, "/drip-headers")
        with urllib.request.build_opener(urllib.request.ProxyHandler({})).open(server.url("/stats"),
                                                                              timeout=10) as answer:
            dripped = json.load(answer)["dripped"]
    print(f"the header-dripping server saw {dripped} checks", flush=True)
    check(dripped == 10, f"the header-dripping server saw {dripped} of 10 checks")


# --- what a screen reader and a keyboard user get -------------------------------------------

LINK_A11Y = config.base + "items/read-aloud?id=4"
A11Y_TITLE = "无障碍：读屏软件读出这条通知的标题"  # 17 characters, shown as the first 14
A11Y_TEXT = "正文也被读出，而焦点留在原处。The focus stays where it was."
A11Y_SHOWN_TITLE = A11Y_TITLE[:14]


@case("screen reader (AT-SPI): the notice is announced without the focus, its labels read, the link followed")
def screen_reader_atspi(session, state):
    reader = session.with_screen_reader()
    write_feed("feeds/a11y.xml", A11Y_TITLE, A11Y_TEXT, LINK_A11Y, "Thu, 10 Dec 2026 06:00:00 GMT")
    session.install("a11y", "feeds/a11y.xml")
    process = session.start("a11y")
    try:
        # With a session bus Qt would use a StatusNotifier host if there were one.
        assert_icon_docked(session)
        watch_slide_in()
        title = A11Y_SHOWN_TITLE
        shown = wait_for("the announcement", lambda: reader.heard(role="notification", detail1=1), 10)
        print(f"  heard: {shown[0]}", flush=True)
        check(shown[0]["name"] == title, f"announced as {shown[0]['name']!r}, not {title!r}")
        check(shown[0]["description"] == A11Y_TEXT, f"described as {shown[0]['description']!r}")
        check(not {"focused", "active"} & set(shown[0]["states"]), f"states {shown[0]['states']}")
        check(focused_window() not in find_windows("^Form1$"), "the pop-up took the keyboard focus")

        children = reader.ask("describe", "children")
        for child in children:
            print(f"  child: {child}", flush=True)
        # In reading order, as the Windows program lists them.
        found = [(c["role"], c["name"], c["actions"]) for c in children]
        expected = [("push button", "关闭", ["Press"]), ("label", title, []), ("label", A11Y_TEXT, []),
                    ("link", "查看详情", ["Press"])]
        check(found == expected, f"the pop-up's children read {found}")

        launched = len(launches())
        check(reader.ask("invoke 查看详情", "ok"), "the link's action was refused")
        wait_for("the browser stand-in", lambda: len(launches()) > launched, 15)
        check(launches()[launched:] == [LINK_A11Y], f"the browser got {launches()[launched:]}")
        wait_popup_gone(3)
        announced = reader.heard(role="notification", detail1=1)
        check(len(announced) == 1, f"announced {len(announced)} times")
    finally:
        quit_from_tray(session, process)


# MSAA's numbers: the client object, roles, states.
OBJID_CLIENT = -4
ROLE_ALERT, ROLE_LINK, ROLE_STATIC_TEXT, ROLE_PUSH_BUTTON = 0x8, 0x1E, 0x29, 0x2B
STATE_INVISIBLE, STATE_OFFSCREEN, STATE_FOCUSABLE, STATE_LINKED = 0x8000, 0x10000, 0x100000, 0x400000
CO_E_OBJNOTCONNECTED, E_FAIL = "0x800401fd", "0x80004005"


@case("screen reader (MSAA): told of the notice, it reads every label by role and name and follows the link")
def screen_reader_msaa(session, state):
    write_feed("feeds/a11y.xml", A11Y_TITLE, A11Y_TEXT, LINK_A11Y, "Thu, 10 Dec 2026 06:00:00 GMT")
    session.install("a11y", "feeds/a11y.xml")
    output = os.path.join(config.work, "popup-reader.txt")
    with open(output, "wb") as out:
        reader = subprocess.Popen([WINE, config.popup_reader, str(POPUP_FULL_H)], env=session.env,
                                  stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL)
    try:
        wait_for("the reader to listen", lambda: "listening" in read_text(output), 30, 0.1)
        launched = len(launches())
        state["main"] = session.start("a11y")
        wait_for("the reader's walk", lambda: any("navigated" in line for line in json_lines(output)), 30, 0.1)
        check(focused_window() not in find_windows("^Form1$"), "the pop-up took the keyboard focus")
        reader.stdin.write(b"go\n")
        reader.stdin.close()
        wait_for("the reader to finish", lambda: reader.poll() is not None, 30, 0.1)
        lines = json_lines(output)
        print("  " + "\n  ".join(json.dumps(line, ensure_ascii=False) for line in lines), flush=True)
        event = next((line for line in lines if line.get("event") == "alert"), None)
        check(event, "no EVENT_SYSTEM_ALERT for the pop-up")
        check((event["object"], event["child"], event.get("role")) == (OBJID_CLIENT, 0, ROLE_ALERT),
              f"the alert names {event}, not the client object with the alert role")
        check((event["name"], event["description"]) == (A11Y_SHOWN_TITLE, A11Y_TEXT), f"the alert read {event}")
        alert = next(line["self"] for line in lines if "self" in line)
        check((alert["role"], alert["name"], alert["description"]) == (ROLE_ALERT, A11Y_SHOWN_TITLE, A11Y_TEXT),
              f"the pop-up object {alert}")
        check(alert["uncovered"] and not alert["state"] & (STATE_INVISIBLE | STATE_FOCUSABLE), f"its state {alert}")
        popup = alert["rect"]
        check((popup[0], popup[2], popup[1] + popup[3]) == (SCREEN_W - RIGHT_MARGIN - POPUP_W, POPUP_W,
                                                         SCREEN_H - BOTTOM_MARGIN), f"the pop-up stands at {popup}")
        children = {(c["role"], c["name"]): c for c in lines if "action" in c}
        # In reading order, as the Linux program lists them.
        places = {(ROLE_PUSH_BUTTON, "关闭"): (CLOSE_LABEL, "按下"), (ROLE_STATIC_TEXT, A11Y_SHOWN_TITLE): (TITLE_LABEL, ""),
                  (ROLE_STATIC_TEXT, A11Y_TEXT): (TEXT_LABEL, ""), (ROLE_LINK, "查看详情"): (DETAILS_LABEL, "跳转")}
        check(list(children) == list(places), f"children {list(children)}")
        for key, (label, action) in places.items():
            child = children[key]
            x, y, w, h = child["rect"]
            check((x - popup[0], y - popup[1], w, h) == label, f"{key} stands at {child['rect']}, popup {popup}")
            check(child["hit"] == child["child"], f"a hit test on {key} finds {child['hit']}")
            check(child["action"] == action, f"{key} has the default action {child['action']!r}")
            check(not child["state"] & (STATE_FOCUSABLE | STATE_OFFSCREEN), f"{key} has state {child['state']:#x}")
        check(children[(ROLE_LINK, "查看详情")]["state"] & STATE_LINKED, "the link is not linked")
        walked = next(line["navigated"] for line in lines if "navigated" in line)
        check(walked == list(range(1, len(children) + 1)), f"navigation walked {walked}")
        check(next(line["invoked"] for line in lines if "invoked" in line) == "0x00000000", "the link's action failed")
        logged = wait_for("the browser stand-in", lambda: launches()[launched:], 15)
        check(logged == [LINK_A11Y], f"the browser got {logged}")
        wait_popup_gone(5)
        after = next(line for line in lines if "gone" in line)
        check(after["gone"] and all(after[k] in (CO_E_OBJNOTCONNECTED, E_FAIL)
                                    for k in ("name_after", "count_after", "action_after")),
              f"the object after its window went: {after}")
    finally:
        if reader.poll() is None:
            reader.kill()
            reader.wait()


@case("keyboard: Enter or the context-menu key on the icon asks to quit, once; No keeps the program")
def keyboard_exit_prompt(session, state):
    check(state.get("main") and state["main"].poll() is None, "needs the running program")
    main = state["main"]
    icon = assert_icon_docked(session)
    for keys in ("enter", "menu"):
        sent = run_wine([config.tray_keys, keys], session.env, 30)
        check(sent.returncode == 0, "the program's icon window was not found")
        box = session.wait_dialog(EXIT_PROMPT[0])
        check(box.text() == EXIT_PROMPT[1], f"the prompt reads {box.text()!r}")
        box.press(session.NO)
        # Enter sends its notification twice; the second must not ask again.
        check(holds(lambda: session.dialog_gone(EXIT_PROMPT[0]), 1.5), f"{keys}: a second prompt followed")
        check(main.poll() is None and icons(session) == [icon], f"{keys}: No did not keep the program")
    quit_from_tray(session, main)


# --- a notice waits for its reader ----------------------------------------------------------

HOLD_TITLE = "等读者回来再弹出的通知"
HOLD_TEXT = "屏幕保护程序运行或全屏窗口在前时，通知等待，读者回来后再滑出。"


class FullScreenWindow:
    """A window marked full screen and active, as a window manager marks a
    slide show (the display has no window manager to do it)."""

    def __init__(self):
        self.process = subprocess.Popen(["xmessage", "-geometry", f"{SCREEN_W}x{SCREEN_H}+0+0", "-title",
                                         "Slides", "slides"], env=X_ENV, stderr=subprocess.DEVNULL)
        self.window = wait_for("the slide show", lambda: find_windows("^Slides$"), 10)[0]
        run("xprop", "-id", str(self.window), "-f", "_NET_WM_STATE", "32a", "-set", "_NET_WM_STATE",
            "_NET_WM_STATE_FULLSCREEN", check_rc=True)
        run("xprop", "-root", "-f", "_NET_ACTIVE_WINDOW", "32x", "-set", "_NET_ACTIVE_WINDOW", hex(self.window),
            check_rc=True)

    def leave_full_screen(self):
        run("xprop", "-id", str(self.window), "-remove", "_NET_WM_STATE", check_rc=True)

    def close(self):
        run("xprop", "-root", "-remove", "_NET_ACTIVE_WINDOW")
        self.process.kill()
        self.process.wait()


def check_popup_arrives(name, timeout):
    first = wait_for("the held pop-up", popup_geometry, timeout, 0.01)
    _, seen = watch_slide_in()
    check(seen[-1] == expected_popup(POPUP_FULL_H), f"the held pop-up at {seen[-1]}, first seen at {first}")
    shot = screenshot(artifact(name), crop=seen[-1])
    check(region_stats(shot, *TITLE_LABEL)[0] < 0.3, "no title text drawn")
    return seen[-1]


@case("hold: no pop-up while the screen saver runs; ActiveChanged(false) brings it within 2 s; idle asks nothing")
def hold_for_screen_saver(session, state):
    saver = session.saver
    write_feed("feeds/hold.xml", HOLD_TITLE, HOLD_TEXT, LINK_A, "Fri, 11 Dec 2026 06:00:00 GMT")
    session.install("hold", "feeds/hold.xml")
    state["main"] = session.start("hold")
    assert_icon_docked(session)
    wait_for("the first check", lambda: requests_for("feeds/hold.xml"), 20)
    wait_for("the program to ask the screen saver", saver.asked, 20)
    check(holds(lambda: popup_geometry() is None, 5), "the pop-up came while the screen saver ran")
    check(saver.asked() >= 2, f"asked {saver.asked()} times while the notice waited")
    saver.set_active(False)
    popup = check_popup_arrives("hold-after-screen-saver.png", 2)
    asked = saver.asked()
    check(holds(lambda: saver.asked() == asked, 5), "the program kept asking with nothing held")
    click(*label_point(popup, *CLOSE_LABEL))
    wait_popup_gone(3)


@case("hold: no pop-up over a full-screen active window; it slides in once the window leaves full screen")
def hold_for_full_screen(session, state):
    if state.get("main") and state["main"].poll() is None:
        quit_from_tray(session, state["main"])
    session.saver.set_active(False)
    slides = FullScreenWindow()
    process = None
    try:
        fetched = requests_for("feeds/hold.xml")
        process = session.start("hold")
        wait_for("the first check", lambda: requests_for("feeds/hold.xml") > fetched, 20)
        check(holds(lambda: popup_geometry() is None, 5), "the pop-up came over the full-screen window")
        slides.leave_full_screen()
        popup = check_popup_arrives("hold-after-full-screen.png", 10)
        click(*label_point(popup, *CLOSE_LABEL))
        wait_popup_gone(3)
    finally:
        slides.close()
        if process:
            quit_from_tray(session, process)


def hold_notices(session, state):
    session.with_screen_saver(active=True)
    hold_for_screen_saver(session, state)
    hold_for_full_screen(session, state)


SESSIONS = {"windows": WineSession, "linux": LinuxSession}
# Groups only the Windows program has.
WINDOWS_ONLY = {"fetch", "cost"}
# Groups only the Linux program has.
LINUX_ONLY = {"late-panel", "hold"}


def screen_reader(session, state):
    """Each program through its own accessibility layer; the Windows one
    also takes the keyboard's way to the exit prompt (the XEmbed tray that
    the Linux one docks in has no keyboard navigation)."""
    if config.platform == "windows":
        screen_reader_msaa(session, state)
        keyboard_exit_prompt(session, state)
    else:
        screen_reader_atspi(session, state)


PANEL_DELAY_S = 5


@case("10 a panel that starts after the program gets the icon; its right button asks to quit at once")
def late_panel(session, state):
    session.without_tray()
    write_feed("feeds/late.xml", "面板", "the panel comes later", LINK_A, "Fri, 11 Dec 2026 06:00:00 GMT")
    session.install("late", "feeds/late.xml")
    process = session.start("late")
    try:
        wait_for("the first check, at once", lambda: requests_for("feeds/late.xml") > 0, 20, 0.2)
        check(holds(lambda: process.poll() is None, PANEL_DELAY_S), "the program ended without a tray")
        panel = session.start_panel()
        item = wait_for("the icon to register with the panel", lambda: panel.said("registered"), 10)[0]
        print(f"  registered: {item}", flush=True)
        # A menu would turn the prompt into two steps on KDE and swaybar.
        check(panel.ask("menu", "menu") == "/NO_DBUSMENU", "the icon exports a menu")
        panel.ask("context", "context")
        box = session.wait_dialog(EXIT_PROMPT[0])
        check(focused_window() == box.window, "the exit prompt did not take the focus")
        box.press(session.YES)
        wait_for("the program to end", lambda: process.poll() is not None, 10)
        check(process.returncode == 0, f"the program ended with {process.returncode}")
        wait_for("the icon to leave the panel", lambda: panel.said("gone"), 10)
    finally:
        session.end_programs()


def fetch_rules_and_workers(session, state):
    fetch_rules(session, state)
    fetch_workers(session, state)


def main():
    os.makedirs(config.artifacts, exist_ok=True)
    Session = SESSIONS[config.platform]
    only = set(sys.argv[1:])
    windows = config.platform == "windows"

    def wanted(group):
        if group in WINDOWS_ONLY and not windows:
            return False
        if group in LINUX_ONLY and windows:
            return False
        return not only or group in only

    @contextlib.contextmanager
    def session(name, lang):
        """A session of its own, stopped whatever its cases did."""
        opened = Session(name, lang, config)
        try:
            yield opened, {}
        finally:
            opened.stop()

    if wanted("first-run") or wanted("links") or wanted("no-config"):
        with session("zh", "zh_CN.UTF-8") as (zh, state):
            if wanted("first-run") and normal_start(zh, state):
                view_details(zh, state)
                next_checks(zh, state)
                close_mark(zh, state)
                if windows:
                    taskbar_restart(zh, state)
                already_running(zh, state)
                quit_prompt(zh, state)
            if wanted("links"):
                file_link(zh, state)
                program_link(zh, state)
            if wanted("no-config"):
                no_configuration(zh, state)
    # Each of these groups in a session under a locale of its own.
    for group, name, lang, run in (("scaling", "scaling", "zh_CN.UTF-8", scaling),
                                   ("western", "en", "en_US.UTF-8", western_locale),
                                   ("close", "close", "zh_CN.UTF-8", close_request),
                                   ("fetch", "fetch", "C.UTF-8", fetch_rules_and_workers),
                                   ("cost", "cost", "zh_CN.UTF-8", cpu_while_waiting),
                                   ("screen-reader", "a11y", "zh_CN.UTF-8", screen_reader),
                                   ("late-panel", "late", "zh_CN.UTF-8", late_panel),
                                   ("hold", "hold", "zh_CN.UTF-8", hold_notices)):
        if wanted(group):
            with session(name, lang) as (opened, state):
                run(opened, state)

    failed = [name for name, ok, _ in results if not ok]
    print(f"\n{len(results) - len(failed)} of {len(results)} cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
