#!/usr/bin/env bash
# The demo: serves the bundled sample feed (demo/feed.xml) on 127.0.0.1 and
# runs velmora-check against it, the way the program would fetch and read it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh unit
cmake --preset dev >/dev/null
cmake --build --preset dev --target velmora-check
check=build/dev/tools/velmora-check/velmora-check

work=$(mktemp -d)
source scripts/lib.sh
on_exit 'rm -rf "$work"'
# A port of the system's choosing: the demo needs no fixed address.
serve_dir 0 demo "$work/http.log"

url="http://127.0.0.1:$served_port/feed.xml"
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
echo "== velmora-check $url"
status=0
"$check" "$url" || status=$?
echo
echo "== velmora-check --json $url"
"$check" --json "$url" || true
echo
echo "== the same item again (--last-pubdate set to its pubDate)"
"$check" --last-pubdate "Mon, 07 Dec 2026 08:00:00 +0800" "$url" || true
echo
echo "== velmora-check --feed-url demo/urls.txt"
"$check" --feed-url demo/urls.txt || true
exit "$status"
