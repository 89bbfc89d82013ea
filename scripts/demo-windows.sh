#!/usr/bin/env bash
# The real Windows program at work: cross-builds velmora.exe, serves the
# bundled demo/feed.xml on 127.0.0.1:8741 (the build's feed address), runs the
# program under Wine and saves a screenshot of its pop-up to
# build/demo-windows/popup.png. Without a display it runs in its own Xvfb with
# a tray and ends the program after the screenshot; on a desktop it leaves the
# program running until you quit it from its tray icon.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows

work=$root/build/demo-windows
mkdir -p "$work"
pids=()
prefix=$work/prefix
cleanup() {
    local i
    # Wine first, then newest first: the tray before the display it uses.
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
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

python3 -m http.server 8741 --bind 127.0.0.1 --directory demo >"$work/http.log" 2>&1 &
pids+=($!)
poll 10 python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8741), 1)'

bash tests/e2e/wine_prefix.sh "$prefix"
app=$prefix/drive_c/Velmora
mkdir -p "$app"
cp build/windows/velmora.exe demo/urls.txt "$app/"

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=d;mshtml=d;winemenubuilder.exe=d'
/usr/lib/wine/wine64 "$app/velmora.exe" &
velmora=$!
pids+=($velmora)

# The pop-up is at full height 173 px (252 x 173) a second after it appears.
full_popup() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Form1$' 2>/dev/null); do
        xwininfo -id "$id" | grep -q 'Height: 173' && return 0
    done
    return 1
}
poll 30 full_popup
shot=$work/popup.png
read -r x y < <(xwininfo -id "$(xdotool search --onlyvisible --name '^Form1$' | head -1)" |
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "252x173+$x+$y" +repage "$shot"
echo "demo: the pop-up of demo/feed.xml is in $shot (the whole screen: $work/screen.png)"

if [ "$own_display" = no ]; then
    echo "demo: velmora.exe keeps running; quit it from its tray icon (right button, Yes)."
    wait "$velmora" || true
fi
