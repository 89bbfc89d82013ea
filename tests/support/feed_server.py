#!/usr/bin/env python3
"""A small HTTP server for the fetch and velmora-check tests.

Binds 127.0.0.1 on a port the OS picks and prints that port on the first line
of standard output; with --cert and --key it speaks https there. It stops by itself when standard input reaches its end
(the test that started it closed the pipe or died) or after --lifetime
seconds, whichever comes first. Every wait inside it is bounded.

Paths:
  /feeds/NAME                  a file of --root as application/rss+xml
  /charset/CS/NAME             the same, with "; charset=CS" in Content-Type
  /gzip/NAME, /deflate/NAME    the file, compressed with that Content-Encoding
  /status/CODE                 an error page with status CODE that holds a
                               complete, showable item
  /redirect/N/PATH             N redirects (302), then /PATH
  /redirect-to?url=URL         one redirect to URL
  /big/BYTES                   BYTES bytes of feed-like text, no Content-Length
  /big-declared/BYTES          the same with its Content-Length
  /slow/SECONDS/NAME           the file after SECONDS seconds (at most 20)
  /stall                       reads the request and never answers (until the
                               server stops, at most 45 s)
  /trickle/NAME                the file one byte a second (at most 45 s)
  /reset/NAME                  half the file, then a connection reset
  /gzip-broken/NAME            gzip-labelled bytes that do not inflate
  /liar/NAME                   a Content-Length 1000 bytes longer than the body
  /gzip-cut/NAME               the file gzipped, its full Content-Length declared,
                               the connection closed 12 bytes short (the whole
                               document but the end of its compressed stream)
  /gzip-cut-close/NAME         the same without a Content-Length
  /drip-headers                the status line, then one header byte a second
                               (until the server stops)
  /chunked/NAME                the file in chunked transfer encoding
  /empty                       200 with an empty body
  /cut-headers                 the status line "HTTP/1.1 200 OK", then the
                               connection closes
  /loop                        a redirect to itself
  /mislabelled/NAME            the file with a Content-Type charset of gb2312
                               (its XML declaration may say otherwise)
  /validated/NAME              the file with an ETag and a Last-Modified; a
                               request that presents them gets 304
  /bump                        changes every validated file (a new version)
  /stats                       JSON: answers by status, dripped-header requests,
                               bytes in and out
"""

import argparse
import gzip
import http.server
import json
import os
import socket
import socketserver
import ssl
import struct
import sys
import threading
import urllib.parse
import zlib

STOP = threading.Event()
STATS_LOCK = threading.Lock()
STATS = {"ok": 0, "notModified": 0, "dripped": 0, "bytesIn": 0, "bytesOut": 0}
VERSION = [1]

ERROR_PAGE = """<html><head><title>Error</title></head><body>
<p>Something went wrong. The page below still looks like a feed item.</p>
<item><title><![CDATA[Error page title]]></title><link>http://127.0.0.1/error</link>
<description><![CDATA[Error page text]]></description><pubDate>error page date</pubDate></item>
</body></html>
"""


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FeedServer/1"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        if self.server.verbose:
            sys.stderr.write("feed_server: " + (format % args) + "\n")

    def count(self, key, amount=1):
        with STATS_LOCK:
            STATS[key] += amount

    def send_body(self, status, body, content_type="application/rss+xml", extra=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def read_feed(self, name):
        root = os.path.realpath(self.server.root)
        path = os.path.realpath(os.path.join(root, urllib.parse.unquote(name)))
        if not path.startswith(root + os.sep) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def do_GET(self):  # noqa: N802 - the base class's name
        # Bytes on the wire: the request as received, the answer as sent.
        self.count("bytesIn", len(self.raw_requestline) + len(bytes(self.headers)))
        self.wfile = CountingWriter(self.wfile, self)
        url = urllib.parse.urlsplit(self.path)
        parts = url.path.lstrip("/").split("/")
        kind = parts[0]
        try:
            if kind == "feeds" and len(parts) == 2:
                self.serve_file(parts[1])
            elif kind == "charset" and len(parts) == 3:
                self.serve_file(parts[2], "application/rss+xml; charset=" + parts[1])
            elif kind in ("gzip", "deflate") and len(parts) == 2:
                self.serve_compressed(kind, parts[1])
            elif kind == "status" and len(parts) == 2:
                self.send_body(int(parts[1]), ERROR_PAGE.encode(), "text/html; charset=utf-8")
            elif kind == "redirect" and len(parts) >= 3:
                left = int(parts[1])
                rest = "/".join(parts[2:])
                target = "/redirect/%d/%s" % (left - 1, rest) if left > 1 else "/" + rest
                self.send_body(302, b"moved", "text/plain", {"Location": target})
            elif kind == "redirect-to":
                target = urllib.parse.parse_qs(url.query).get("url", ["/"])[0]
                self.send_body(302, b"moved", "text/plain", {"Location": target})
            elif kind in ("big", "big-declared") and len(parts) == 2:
                self.serve_big(int(parts[1]), declared=(kind == "big-declared"))
            elif kind == "slow" and len(parts) == 3:
                if not STOP.wait(min(float(parts[1]), 20.0)):
                    self.serve_file(parts[2])
            elif kind == "stall":
                STOP.wait(45.0)
            elif kind == "trickle" and len(parts) == 2:
                self.serve_trickle(parts[1])
            elif kind == "reset" and len(parts) == 2:
                self.serve_reset(parts[1])
            elif kind == "gzip-broken" and len(parts) == 2:
                broken = b"\x1f\x8b\x08\x00" + b"\x00not really deflate data" * 20
                self.send_body(200, broken, "application/rss+xml", {"Content-Encoding": "gzip"})
            elif kind == "liar" and len(parts) == 2:
                self.serve_liar(parts[1])
            elif kind in ("gzip-cut", "gzip-cut-close") and len(parts) == 2:
                self.serve_gzip_cut(parts[1], declared=(kind == "gzip-cut"))
            elif kind == "drip-headers":
                self.serve_drip_headers()
            elif kind == "chunked" and len(parts) == 2:
                self.serve_chunked(parts[1])
            elif kind == "empty":
                self.send_body(200, b"")
            elif kind == "cut-headers":
                self.wfile.write(b"HTTP/1.1 200 OK\r\n")
                self.wfile.flush()
                self.close_connection = True
            elif kind == "loop":
                self.send_body(302, b"moved", "text/plain", {"Location": "/loop"})
            elif kind == "validated" and len(parts) == 2:
                self.serve_validated(parts[1])
            elif kind == "bump":
                VERSION[0] += 1
                self.send_body(200, b"bumped", "text/plain")
            elif kind == "stats":
                with STATS_LOCK:
                    body = json.dumps(STATS).encode()
                self.send_body(200, body, "application/json")
            elif kind == "mislabelled" and len(parts) == 2:
                self.serve_file(parts[1], "application/rss+xml; charset=gb2312")
            else:
                self.send_body(404, b"not found", "text/plain")
        except (BrokenPipeError, ConnectionResetError):
            pass

    def serve_file(self, name, content_type="application/rss+xml"):
        body = self.read_feed(name)
        if body is None:
            self.send_body(404, b"no such feed", "text/plain")
        else:
            self.send_body(200, body, content_type)

    def serve_validated(self, name):
        body = self.read_feed(name)
        if body is None:
            self.send_body(404, b"no such feed", "text/plain")
            return
        body += b"<!-- version %d -->" % VERSION[0]
        etag = '"%d-%08x"' % (VERSION[0], zlib.crc32(body))
        modified = "Mon, 07 Dec 2026 %02d:00:00 GMT" % (VERSION[0] % 24)
        if self.headers.get("If-None-Match") == etag or (
                "If-None-Match" not in self.headers and self.headers.get("If-Modified-Since") == modified):
            self.count("notModified")
            self.send_response(304)
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", modified)
            self.end_headers()
            return
        self.count("ok")
        self.send_body(200, body, "application/rss+xml", {"ETag": etag, "Last-Modified": modified})

    def serve_trickle(self, name):
        body = self.read_feed(name) or b""
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.flush()
        for i in range(min(len(body), 45)):
            self.wfile.write(body[i : i + 1])
            self.wfile.flush()
            if STOP.wait(1.0):
                break
        self.close_connection = True

    def serve_reset(self, name):
        body = self.read_feed(name) or b""
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[: len(body) // 2])
        self.wfile.flush()
        # Linger 0: closing sends a reset instead of an orderly end.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()
        self.close_connection = True

    def serve_liar(self, name):
        body = self.read_feed(name) or b""
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Content-Length", str(len(body) + 1000))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = True

    def serve_gzip_cut(self, name, declared):
        packed = gzip.compress(self.read_feed(name) or b"")
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Content-Encoding", "gzip")
        if declared:
            self.send_header("Content-Length", str(len(packed)))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(packed[:-12])
        self.wfile.flush()
        self.close_connection = True

    def serve_drip_headers(self):
        self.count("dripped")
        self.wfile.write(b"HTTP/1.1 200 OK\r\n")
        self.wfile.flush()
        header = b"X-Drip: " + b"a" * 4096
        i = 0
        while not STOP.wait(1.0):
            self.wfile.write(header[i % len(header) : i % len(header) + 1])
            self.wfile.flush()
            i += 1
        self.close_connection = True

    def serve_chunked(self, name):
        body = self.read_feed(name) or b""
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for i in range(0, len(body), 100):
            piece = body[i : i + 100]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def serve_compressed(self, kind, name):
        body = self.read_feed(name)
        if body is None:
            self.send_body(404, b"no such feed", "text/plain")
            return
        packed = gzip.compress(body) if kind == "gzip" else zlib.compress(body)
        self.send_body(200, packed, "application/rss+xml", {"Content-Encoding": kind})

    def serve_big(self, size, declared):
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        if declared:
            self.send_header("Content-Length", str(size))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        chunk = b"<item><title><![CDATA[big]]></title></item>\n" * 1500
        sent = 0
        while sent < size and not STOP.is_set():
            piece = chunk[: size - sent]
            self.wfile.write(piece)
            sent += len(piece)


class CountingWriter:
    """Passes writes through and counts their bytes."""

    def __init__(self, inner, handler):
        self.inner = inner
        self.handler = handler

    def write(self, data):
        self.handler.count("bytesOut", len(data))
        return self.inner.write(data)

    def flush(self):
        return self.inner.flush()

    def __getattr__(self, name):
        return getattr(self.inner, name)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # Clients that hang up (an abandoned transfer, a reset test) are expected.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            super().handle_error(request, client_address)


def watch_stdin():
    # The starter holds our standard input; its end means nobody needs us.
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except (OSError, ValueError):
        pass
    STOP.set()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True, help="folder of the feed files")
    parser.add_argument("--lifetime", type=float, default=120.0, help="seconds before stopping")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--cert", help="PEM certificate: serve https")
    parser.add_argument("--key", help="PEM private key of --cert")
    args = parser.parse_args()

    server = Server(("127.0.0.1", 0), Handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.root = args.root
    server.verbose = args.verbose
    server.timeout = 0.5
    threading.Thread(target=watch_stdin, daemon=True).start()
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    print(server.server_address[1], flush=True)
    STOP.wait(args.lifetime)
    STOP.set()
    server.shutdown()
    server.server_close()


if __name__ == "__main__":
    main()
