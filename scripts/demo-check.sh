#!/usr/bin/env bash
# The demo: serves the bundled sample feed (demo/feed.xml) on 127.0.0.1 and
# runs velmora-check against it, the way the program would fetch and read it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh unit
cmake --preset dev >/dev/null
cmake --build --preset dev --target velmora-check
check=build/dev/tools/velmora-check/velmora-check

log=$(mktemp)
python3 -u -m http.server --bind 127.0.0.1 --directory demo 0 >"$log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -f "$log"' EXIT

# The OS picks the port; the server names it in its first line (wait up to 10 s).
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.* port \([0-9][0-9]*\).*/\1/p' "$log" | head -n 1)
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$port" ]; then
    echo "demo: the feed server did not start" >&2
    cat "$log" >&2
    exit 1
fi

url="http://127.0.0.1:$port/feed.xml"
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
