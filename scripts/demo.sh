#!/usr/bin/env bash
# The main job on a fresh Debian machine: builds the Linux program, serves the
# bundled demo/feed.xml on 127.0.0.1:8741 (the build's default feed address),
# runs Velmora against it and saves a screenshot of its pop-up to
# build/demo/popup.png. Without a display it runs in its own Xvfb with an
# XEmbed tray and ends after the screenshot; on a desktop it keeps running
# until you quit it from its tray icon (right button, then Yes).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh linux
bash scripts/deps.sh windows # Xvfb, trayer, xdotool and ImageMagick for the screenshot
cmake --preset dev >/dev/null
cmake --build --preset dev --target velmora velmora-check

work=$root/build/demo
rm -rf "$work"
mkdir -p "$work/app" "$work/runtime"
chmod 700 "$work/runtime"
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

poll() {
    local timeout=$1 start=$SECONDS
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS - start < timeout)) || { echo "demo: timed out waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}

own_display=no
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    own_display=yes
    source tests/e2e/display.sh
    start_display "$work"
fi

if python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8741), 1)' 2>/dev/null; then
    echo "demo: port 8741 on 127.0.0.1 is taken; the demo serves its feed there" >&2
    exit 1
fi
python3 -m http.server 8741 --bind 127.0.0.1 --directory demo >"$work/http.log" 2>&1 &
pids+=($!)
poll 10 python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8741), 1)'

echo "== what velmora-check says of the feed"
build/dev/tools/velmora-check/velmora-check http://127.0.0.1:8741/feed.xml || true
echo

cp build/dev/velmora demo/urls.txt "$work/app/"
export XDG_RUNTIME_DIR=$work/runtime NO_PROXY=127.0.0.1 no_proxy=127.0.0.1
[ "$own_display" = yes ] && export QT_QPA_PLATFORM=xcb
"$work/app/velmora" >"$work/velmora.log" 2>&1 &
velmora=$!
pids+=($velmora)

# At full height the pop-up is 252 x 173 px, about a second after it appears.
full_popup() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Form1$' 2>/dev/null); do
        xwininfo -id "$id" | grep -q 'Height: 173' && return 0
    done
    return 1
}
poll 30 full_popup
read -r x y < <(xwininfo -id "$(xdotool search --onlyvisible --name '^Form1$' | head -1)" |
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "252x173+$x+$y" +repage "$work/popup.png"
echo "== the pop-up is in $work/popup.png (the whole screen: $work/screen.png)"

if [ "$own_display" = no ]; then
    echo "demo: Velmora keeps running; quit it from its tray icon (right button, Yes)."
    wait "$velmora" || true
fi
