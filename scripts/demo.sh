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
bash scripts/deps.sh desktop # Xvfb, trayer, xdotool and ImageMagick for the screenshot
cmake --preset dev >/dev/null
cmake --build --preset dev --target velmora velmora-check

work=$root/build/demo
rm -rf "$work"
mkdir -p "$work/app" "$work/runtime"
chmod 700 "$work/runtime"
source scripts/lib.sh
own_display_unless_desktop "$work"
serve_dir 8741 demo "$work/http.log"

echo "== what velmora-check says of the feed"
build/dev/tools/velmora-check/velmora-check http://127.0.0.1:8741/feed.xml || true
echo

# The program fetches through velmora-fetch, which it looks for beside itself.
cp build/dev/velmora build/dev/velmora-fetch demo/urls.txt "$work/app/"
export XDG_RUNTIME_DIR=$work/runtime NO_PROXY=127.0.0.1 no_proxy=127.0.0.1
[ "$own_display" = yes ] && export QT_QPA_PLATFORM=xcb
"$work/app/velmora" >"$work/velmora.log" 2>&1 &
velmora=$!
pids+=($velmora)

save_popup "$work"
echo "== the pop-up is in $work/popup.png (the whole screen: $work/screen.png)"

if [ "$own_display" = no ]; then
    echo "demo: Velmora keeps running; quit it from its tray icon (right button, Yes)."
    wait "$velmora" || true
fi
