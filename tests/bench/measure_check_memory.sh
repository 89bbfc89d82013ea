#!/usr/bin/env bash
# Resident memory of the Linux program around its checks of a 16 MB feed,
# next to the same program on the small demo feed, in one run.
# Usage: tests/bench/measure_check_memory.sh BUILD_DIR
#   BUILD_DIR is a build (Release for figures worth quoting) with a
#   VELMORA_FEED_BASE_URL of http://127.0.0.1:PORT/ on a free PORT.
# The first check runs at start and shows a pop-up; the second, 60 s later,
# finds the same item and shows nothing. After each, once the pop-up has gone,
# the large feed's program must be back within 8 MB of the small one's (exit
# status 1 otherwise).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
port=$(sed -n 's|.*VELMORA_FEED_BASE_URL u"http://127.0.0.1:\([0-9]*\)/".*|\1|p' "$build/generated/velmora_config.h")
[ -n "$port" ] || { echo "the build's base URL is not http://127.0.0.1:PORT/" >&2; exit 2; }
cmake --build "$build" --target velmora >/dev/null

work=$(mktemp -d)
source "$repo/scripts/lib.sh"
on_exit 'rm -rf "$work"'

# The demo feed's first item, then older items up to 16,000,000 bytes.
mkdir "$work/www"
cp "$repo/demo/feed.xml" "$work/www/small.xml"
python3 - "$repo/demo/feed.xml" "$work/www/large.xml" <<'PY'
import sys
demo = open(sys.argv[1], encoding="utf-8").read()
head, rest = demo.split("<item>", 1)
parts = [head, "<item>" + rest.split("</item>", 1)[0] + "</item>\n"]
older = ("<item>\n<title><![CDATA[历史条目 %d]]></title>\n<link>http://127.0.0.1/news/%d.html</link>\n"
         "<description><![CDATA[较早的新闻。An older item that pads the feed.]]></description>\n"
         "<pubDate>Mon, 01 Jan 2024 00:00:00 +0800</pubDate>\n</item>\n")
size, i = sum(len(p.encode()) for p in parts), 0
while size < 16_000_000:
    parts.append(older % (i, i))
    size += len(parts[-1].encode())
    i += 1
parts.append("</channel>\n</rss>\n")
open(sys.argv[2], "wb").write("".join(parts).encode())
PY

start_display "$work"
serve_dir "$port" "$work/www" "$work/http.log"

export NO_PROXY=127.0.0.1 no_proxy=127.0.0.1
programs=()
for feed in large small; do
    mkdir -p "$work/$feed/app" "$work/$feed/runtime"
    chmod 700 "$work/$feed/runtime"
    cp "$build/velmora" "$build/velmora-fetch" "$work/$feed/app/"
    echo "$feed.xml" >"$work/$feed/app/urls.txt"
    # A runtime folder each: two instances, not a second one refused.
    XDG_RUNTIME_DIR=$work/$feed/runtime "$work/$feed/app/velmora" >"$work/$feed.log" 2>&1 &
    pids+=($!)
    programs+=($!)
done
started=$(date +%s)

field() { awk -v f="$2:" '$1 == f {print $2}' /proc/"$1"/status; }
report() {
    printf '%-38s large: VmRSS %6d kB, VmHWM %6d kB | small: VmRSS %6d kB\n' "$1" \
        "$(field "${programs[0]}" VmRSS)" "$(field "${programs[0]}" VmHWM)" "$(field "${programs[1]}" VmRSS)"
}
popups_are() { [ "$(xwininfo -root -tree 2>/dev/null | grep -c '"Form1"')" -eq "$1" ]; }
poll 60 popups_are 2 || { echo "no pop-ups appeared" >&2; exit 1; }
sleep 2
report "first check, pop-ups shown"
poll 60 popups_are 0 || { echo "the pop-ups stayed" >&2; exit 1; }
sleep 2
report "first check, pop-ups gone"
gap() { echo $(($(field "${programs[0]}" VmRSS) - $(field "${programs[1]}" VmRSS))); }
worst=$(gap)
sleep $((started + 67 - $(date +%s)))
report "second check (nothing new) over"
worst=$((worst > $(gap) ? worst : $(gap)))
# A few megabytes apart is noise; a check's buffers kept are tens.
if ((worst > 8192)); then
    echo "FAIL: after a check of the large feed the program stays $worst kB above the small one's"
    exit 1
fi
echo "ok: after each check the large feed's program is within $worst kB of the small one's"
