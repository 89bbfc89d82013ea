#!/usr/bin/env python3
"""What velmora.exe keeps alive under Wine between feed checks, measured from
/proc: run by hand, never part of the test suite.

  wine_fetch_soak.py slow EXE PORT CHECKS   the feed server answers one byte
      every 14 s; after each check the program's threads, its socket
      descriptors and those of its wineserver, and the connections the server
      still holds open
  wine_fetch_soak.py idle EXE PORT          a plain HTTP/1.1 feed; context
      switches of all the program's threads over the 50 s after a check

EXE is built with VELMORA_FEED_BASE_URL http://127.0.0.1:PORT/. Needs Xvfb,
wine64 and a template prefix made by tests/e2e/wine_prefix.sh (its path in
VELMORA_WINE_TEMPLATE, default /tmp/velmora-soak-template)."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

WINE = "/usr/lib/wine/wine64"
FEED = (b'<?xml version="1.0" encoding="utf-8"?><rss><channel><title>soak</title>'
        b"<item><title><![CDATA[t]]></title><link>http://127.0.0.1/</link>"
        b"<description><![CDATA[d]]></description><pubDate>p</pubDate></item></channel></rss>")


class Server:
    """Counts requests and the connections it holds open."""

    def __init__(self, port, slow):
        self.slow, self.requests, self.open = slow, 0, 0
        self.lock = threading.Lock()
        self.listener = socket.create_server(("127.0.0.1", port))
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            conn, _ = self.listener.accept()
            threading.Thread(target=self.serve, args=(conn,), daemon=True).start()

    def serve(self, conn):
        with self.lock:
            self.open += 1
        try:
            while True:
                request = b""
                while b"\r\n\r\n" not in request:
                    data = conn.recv(4096)
                    if not data:
                        return
                    request += data
                with self.lock:
                    self.requests += 1
                head = b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n"
                if not self.slow:
                    conn.sendall(head % len(FEED) + FEED)
                    continue  # keep-alive, as most servers do
                body = FEED * 100
                conn.sendall(head % len(body))
                for byte in body:
                    conn.sendall(bytes([byte]))
                    time.sleep(14)
        except OSError:
            pass
        finally:
            with self.lock:
                self.open -= 1
            conn.close()


def switches(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                total += sum(int(line.split()[1]) for line in f if "ctxt_switches" in line)
        except OSError:
            pass
    return total


def sockets(pid):
    count = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            count += os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
        except OSError:
            pass
    return count


def find_pid(name, env_prefix):
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmd = f.read()
            with open(f"/proc/{pid}/environ", "rb") as f:
                environ = f.read()
        except OSError:
            continue
        if name in cmd and env_prefix in environ:
            return int(pid)
    return None


def main():
    mode, exe, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    checks = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    template = os.environ.get("VELMORA_WINE_TEMPLATE", "/tmp/velmora-soak-template")
    here = os.path.dirname(os.path.abspath(__file__))
    subprocess.run(["bash", os.path.join(here, "..", "e2e", "wine_prefix.sh"), template], check=True)
    work = tempfile.mkdtemp(prefix="velmora-soak-")
    prefix = os.path.join(work, "prefix")
    shutil.copytree(template, prefix, symlinks=True)
    app = os.path.join(prefix, "drive_c", "velmora")
    os.makedirs(app)
    shutil.copy(exe, os.path.join(app, "velmora.exe"))
    with open(os.path.join(app, "urls.txt"), "w") as f:
        f.write("feed.xml\r\n")
    display = f":{700 + os.getpid() % 90}"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                            stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d", LANG="C.UTF-8")
    server = Server(port, mode == "slow")
    log = open(os.path.join(tempfile.gettempdir(), "velmora-soak.log"), "wb")
    program = subprocess.Popen([WINE, os.path.join(app, "velmora.exe")], env=env, stdout=log, stderr=log)
    marker = f"WINEPREFIX={prefix}".encode()
    try:
        while server.requests == 0:
            time.sleep(0.2)
        pid = program.pid
        wineserver = find_pid(b"wineserver", marker)
        if mode == "idle":
            for _ in range(checks):
                seen = server.requests
                while server.requests == seen:
                    time.sleep(0.2)
                time.sleep(5)
                before = switches(pid)
                time.sleep(50)
                print(f"context switches over 50 s after a check: {switches(pid) - before}, "
                      f"threads {len(os.listdir(f'/proc/{pid}/task'))}", flush=True)
            return
        print("check  threads  sockets(velmora.exe)  sockets(wineserver)  connections open at the server", flush=True)
        for check in range(1, checks + 1):
            while server.requests < check:
                time.sleep(0.2)
            time.sleep(45)  # past the 30 s limit of this check, before the next one
            print(f"{check:5}  {len(os.listdir(f'/proc/{pid}/task')):7}  {sockets(pid):20}  "
                  f"{sockets(wineserver) if wineserver else -1:19}  {server.open:5}", flush=True)
    finally:
        program.kill()
        program.wait()
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=env)
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
