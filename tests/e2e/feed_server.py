#!/usr/bin/env python3
"""The feed site for the end-to-end tests, on 127.0.0.1 only.

GET /<name> serves ROOT/<name> as read at that moment, so a test changes the
feed by rewriting the file; its ETag is a digest of the content, and a request
that presents the current one gets 304. GET /stall/... accepts the request and
never answers (a stalled server). Every request is appended to LOG as
"PATH STATUS".
"""
import hashlib
import http.server
import os
import sys
import threading
import time

PORT, ROOT, LOG = int(sys.argv[1]), sys.argv[2], sys.argv[3]
log_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def record(self, status):
        with log_lock, open(LOG, "a", encoding="utf-8") as log:
            log.write(f"{self.path} {status}\n")

    def do_GET(self):
        if self.path.startswith("/stall/"):
            self.record("stalled")
            time.sleep(3600)
            return
        path = os.path.join(ROOT, self.path.lstrip("/").split("?")[0])
        try:
            with open(path, "rb") as f:
                body = f.read()
        except OSError:
            self.record(404)
            self.send_error(404)
            return
        etag = '"%s"' % hashlib.sha1(body).hexdigest()[:16]
        if self.headers.get("If-None-Match") == etag:
            self.record(304)
            self.send_response(304)
            self.send_header("ETag", etag)
            self.end_headers()
            return
        self.record(200)
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("ETag", etag)
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler)
server.daemon_threads = True
server.serve_forever()
