#!/usr/bin/env python3
"""velmora-check against a misbehaving server: every fault ends within the
fetch's time-outs with a clear reason or the correct item, and nothing crashes.

Usage: run_netfaults.py --check "CMD [ARGS]" --feeds DIR

CMD is how to start velmora-check (for Windows: "wine64 velmora-check.exe").
Every case runs at once, each bounded by a time-out; the server listens on
127.0.0.1 only and stops when this script ends.
"""

import argparse
import concurrent.futures
import json
import os
import shlex
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from feed_server_process import FeedServerProcess  # noqa: E402
CASE_LIMIT_S = 60  # the fetch gives up after 30 s; a case over 60 s is a hang

FEED = "cdata_news.xml"
FEED_TITLE = "Release 2.4[/b] · 发布说明"
ZH_TITLE = "关于调整春节放假安排的通知"


def free_closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# (name, path or absolute URL, expected exit status, expected title or None)
CASES = [
    ("closed port", "http://127.0.0.1:%d/feeds/" % free_closed_port() + FEED, 2, None),
    ("accepts and never answers", "/stall", 2, None),
    ("one byte a second", "/trickle/" + FEED, 2, None),
    ("reset in the body", "/reset/" + FEED, 2, None),
    ("404 with an item in its page", "/status/404", 2, None),
    ("500 with an item in its page", "/status/500", 2, None),
    ("body far over the cap", "/big/40000000", 2, None),
    ("redirect loop", "/loop", 2, None),
    ("redirect to ftp", "/redirect-to?url=ftp://127.0.0.1/feed.xml", 2, None),
    ("redirect to file", "/redirect-to?url=file:///etc/passwd", 2, None),
    ("gzip body", "/gzip/" + FEED, 0, FEED_TITLE),
    ("broken gzip", "/gzip-broken/" + FEED, 2, None),
    ("content-length that lies", "/liar/" + FEED, 2, None),
    ("gzip cut short of its content-length", "/gzip-cut/" + FEED, 2, None),
    ("gzip cut short by the connection's close", "/gzip-cut-close/" + FEED, 2, None),
    ("chunked transfer", "/chunked/" + FEED, 0, FEED_TITLE),
    ("header charset over the XML declaration", "/mislabelled/zh_gb2312_declared_utf8.xml", 0, ZH_TITLE),
    ("empty 200", "/empty", 1, None),
]


def run_case(check, base, case):
    name, where, want_status, want_title = case
    url = where if where.startswith("http") else base + where
    started = time.monotonic()
    try:
        done = subprocess.run(check + ["--json", url], capture_output=True, timeout=CASE_LIMIT_S,
                              env=dict(os.environ, no_proxy="127.0.0.1", NO_PROXY="127.0.0.1"))
    except subprocess.TimeoutExpired:
        return name, False, "hung for %d s" % CASE_LIMIT_S, CASE_LIMIT_S
    elapsed = time.monotonic() - started
    problems = []
    if done.returncode != want_status:
        problems.append("exit %d, wanted %d" % (done.returncode, want_status))
    try:
        result = json.loads(done.stdout.decode("utf-8"))
    except ValueError:
        result = None
        problems.append("no JSON object on standard output: %r" % done.stdout[:200])
    if result is not None:
        if want_title is None and result.get("shown"):
            problems.append("showed %r" % result.get("title"))
        if want_title is not None and result.get("title") != want_title:
            problems.append("title %r, wanted %r" % (result.get("title"), want_title))
        if not result.get("shown") and not result.get("reason"):
            problems.append("no reason given")
    detail = "; ".join(problems) if problems else (result.get("reason") or result.get("title"))
    return name, not problems, detail, elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", required=True, help="command that runs velmora-check")
    parser.add_argument("--feeds", required=True, help="folder of the feed files")
    args = parser.parse_args()

    with FeedServerProcess(args.feeds) as server:
        base = server.url("")
        check = shlex.split(args.check)
        with concurrent.futures.ThreadPoolExecutor(max_workers=len(CASES)) as pool:
            results = list(pool.map(lambda c: run_case(check, base, c), CASES))
    passed = failed = 0
    for name, ok, detail, elapsed in results:
        print("%-4s %-42s %5.1f s  %s" % ("ok" if ok else "FAIL", name, elapsed, detail))
        passed += ok
        failed += not ok
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
