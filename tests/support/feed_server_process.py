"""Runs feed_server.py beside this file as a child for the length of a
`with` block: it binds 127.0.0.1 on a port the OS picks and stops when its
standard input closes, so a test that dies leaves nothing running."""
import os
import subprocess
import sys

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "feed_server.py")


class FeedServerProcess:
    def __init__(self, root, lifetime=300, tls=False):
        """With tls, it speaks https with the certificate beside this file."""
        self.root, self.lifetime, self.tls = root, lifetime, tls

    def __enter__(self):
        args = [sys.executable, SERVER, "--root", self.root, "--lifetime", str(self.lifetime)]
        if self.tls:
            here = os.path.dirname(SERVER)
            args += ["--cert", os.path.join(here, "localhost-cert.pem"), "--key", os.path.join(here, "localhost-key.pem")]
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.port = int(self.process.stdout.readline())
        return self

    def url(self, path):
        """The address of path, which starts with "/"."""
        return f"{'https' if self.tls else 'http'}://127.0.0.1:{self.port}{path}"

    def __exit__(self, *exc):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=10)
        self.process.stdout.close()
