#!/usr/bin/env bash
# What an unchanged feed check costs the site, in bytes each way, with and
# without ETag/Last-Modified, and what that comes to for 10 000 installed
# copies checking once a minute. A measurement, not a test: run it by hand,
# on its own port (it starts the test feed server on 127.0.0.1).
# Usage: tests/bench/measure_site_load.sh [BUILD_DIR]   (default build/dev)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/dev}
cmake --build "$build" --target conditional_bytes >/dev/null
"$build/tests/bench/conditional_bytes" tests/support/feed_server.py tests/data/feeds |
    awk -v users=10000 '
        { print }
        / in all$/ {
            rate = users / 60
            printf "    for %d copies: %.0f requests/s, %.1f KB/s, %.1f GB a day\n",
                users, rate, rate * $(NF - 2) / 1000, rate * $(NF - 2) * 86400 / 1e9
        }'
