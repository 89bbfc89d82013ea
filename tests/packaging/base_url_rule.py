#!/usr/bin/env python3
"""The build's rule for the feed site's base address (cmake/base_url.cmake),
which decides what may reach a C++ string literal in both programs, and a
configure of the project itself that must refuse an address closing the
literal: a build without scripts/package.sh is as safe as one with it.

Usage: base_url_rule.py CMAKE SOURCE_DIR"""
import subprocess
import sys
import tempfile

ACCEPTED = [
    "http://127.0.0.1:8741/",
    "https://news.example.com/feeds/",
    "https://[::1]:8443/a%20b/?site=x&lang=zh/",
]
REFUSED = [
    'https://x/"; int evil(); "/',  # would close the literal
    "https://x/\\u0022/",
    "https://x/\n#include <evil>\n/",
    "https://x/a b/",
    "https://x/%4/",
    "https://x/page#top/",
    "http:///",
    "https://x",
    "file:///etc/",
    "javascript://x/",
]


def accepted(cmake, source, url):
    result = subprocess.run([cmake, f"-DVELMORA_FEED_BASE_URL={url}", "-P", f"{source}/cmake/base_url.cmake"],
                            capture_output=True, timeout=30)
    return result.returncode == 0


def main():
    cmake, source = sys.argv[1:3]
    wrong = [f"refused {u!r}" for u in ACCEPTED if not accepted(cmake, source, u)]
    wrong += [f"accepted {u!r}" for u in REFUSED if accepted(cmake, source, u)]
    with tempfile.TemporaryDirectory() as build:
        configured = subprocess.run([cmake, "-S", source, "-B", build, "-DVELMORA_BUILD_TESTS=OFF",
                                     "-DVELMORA_BUILD_QT=OFF", f"-DVELMORA_FEED_BASE_URL={REFUSED[0]}"],
                                    capture_output=True, timeout=120)
    if configured.returncode == 0:
        wrong.append(f"the project configured with {REFUSED[0]!r}")
    print("\n".join(wrong) or f"{len(ACCEPTED)} accepted, {len(REFUSED)} refused as they should be")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
