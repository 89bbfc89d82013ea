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
prefix=$work/prefix
source scripts/lib.sh
on_exit 'WINEPREFIX=$prefix "$VELMORA_WINESERVER" -k 2>/dev/null'

own_display_unless_desktop "$work"
serve_dir 8741 demo "$work/http.log"

# The pop-up's Song face drawn as on Windows: an outline CJK face.
bash tests/e2e/wine_prefix.sh "$prefix" "Noto Serif CJK SC" NotoSerifCJK-Regular.ttc
app=$prefix/drive_c/Velmora
mkdir -p "$app"
cp build/windows/velmora.exe demo/urls.txt "$app/"

export WINEPREFIX=$prefix
"$VELMORA_WINE" "$app/velmora.exe" &
velmora=$!
pids+=($velmora)

save_popup "$work"
echo "demo: the pop-up of demo/feed.xml is in $work/popup.png (the whole screen: $work/screen.png)"

if [ "$own_display" = no ]; then
    echo "demo: velmora.exe keeps running; quit it from its tray icon (right button, Yes)."
    wait "$velmora" || true
fi
